// The one seam between the program's logic and its window: everything the logic shows the
// user or asks of the user goes through here, so every command also runs headless under test.
#pragma once

#include <QString>

class TUserInterface {
 public:
  virtual ~TUserInterface() = default;

  virtual void ShowError(const QString& text) = 0;        // error box, OK
  virtual void ShowInformation(const QString& text) = 0;  // information box, OK
  virtual bool Confirm(const QString& text) = 0;          // question box; true only for Yes

  virtual void ShowBusy(const QString& prompt) = 0;
  virtual void HideBusy() = 0;
  virtual void AppendProgress(const QString& text) = 0;  // progress lines of the busy window

  // File-open dialog; gives the chosen path, or an empty text when the user cancelled.
  virtual QString ChooseFile(const QString& title, const QString& filter,
                             const QString& initialFolder) = 0;
  virtual void OpenWebPage(const QString& url) = 0;
  // Lets pending window events run from inside a long command.
  virtual void ProcessPendingEvents() = 0;
};
