// The busy window that long commands show while they run.
#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QTimer;

class TFormBusy final : public QDialog {
  Q_OBJECT
 public:
  explicit TFormBusy(QWidget* parent = nullptr);

  // Shows the window with the prompt and no progress lines; the main window stays usable.
  void ShowBusy(const QString& prompt);
  void HideBusy();
  // Adds text of a running command's progress at the end of the progress lines.
  void AppendProgress(const QString& text);
  // One step of the activity sweep.
  void OnTimer1();

  QLabel* LabelPrompt = nullptr;
  QPlainTextEdit* MemoProgress = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QTimer* Timer1 = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;  // FormShow
  void hideEvent(QHideEvent* event) override;  // FormClose, however the window is closed

 private:
  bool FCursorSet = false;
};
