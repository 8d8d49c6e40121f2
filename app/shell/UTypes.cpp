#include "shell/UTypes.h"

void TNetWorkInfo::Reset() { *this = TNetWorkInfo{}; }

const QStringList& ANPRTypeTexts() {
  static const QStringList texts{"ALL", "KORDEX", "KORDEX V2", "KIVO"};
  return texts;
}

int ANPRTypeFromText(const QString& text) { return ANPRTypeTexts().indexOf(text); }
