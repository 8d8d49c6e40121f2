#include "kordex/UWendaro.h"

TFormWendaro::TFormWendaro(QObject* parent) : QObject(parent) {
  setObjectName(QStringLiteral("FormWendaro"));
}
