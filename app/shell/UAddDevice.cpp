#include "shell/UAddDevice.h"

TFormAddDevice::TFormAddDevice(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FormAddDevice"));
  setWindowTitle(QStringLiteral("Add device"));
  setFixedSize(320, 260);
}
