// The seam between logic and window, served by Qt's message boxes, file dialog and the
// program's busy window.
#pragma once

#include "shell/UUserInterface.h"

class QWidget;
class TFormBusy;

class TQtUserInterface final : public TUserInterface {
 public:
  // The windows exist only after start-up has created them, so they are set then.
  void SetParentWindow(QWidget* parent) { FParent = parent; }
  void SetBusyForm(TFormBusy* busy) { FBusy = busy; }

  void ShowError(const QString& text) override;
  void ShowInformation(const QString& text) override;
  bool Confirm(const QString& text) override;
  void ShowBusy(const QString& prompt) override;
  void HideBusy() override;
  void AppendProgress(const QString& text) override;
  QString ChooseFile(const QString& title, const QString& filter, const QString& initialFolder) override;
  void OpenWebPage(const QString& url) override;
  void ProcessPendingEvents() override;

  // Qt's filter text from the pairs "description|pattern|description|pattern".
  static QString QtFilter(const QString& pairs);

 private:
  QWidget* FParent = nullptr;
  TFormBusy* FBusy = nullptr;
};
