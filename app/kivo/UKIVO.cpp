#include "kivo/UKIVO.h"

TFormKIVO::TFormKIVO(QObject* parent) : QObject(parent) {
  setObjectName(QStringLiteral("FormKIVO"));
}
