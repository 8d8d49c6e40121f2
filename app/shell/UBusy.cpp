#include "shell/UBusy.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

TFormBusy::TFormBusy(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("FormBusy"));
  setWindowTitle(QStringLiteral("Please wait . . ."));
  setFixedSize(480, 202);
  setModal(false);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(40, 16, 40, 16);
  LabelPrompt = new QLabel(this);
  LabelPrompt->setObjectName(QStringLiteral("LabelPrompt"));
  MemoProgress = new QPlainTextEdit(this);
  MemoProgress->setObjectName(QStringLiteral("MemoProgress"));
  MemoProgress->setReadOnly(true);
  MemoProgress->setFrameShape(QFrame::NoFrame);
  MemoProgress->setLineWrapMode(QPlainTextEdit::NoWrap);
  MemoProgress->setFocusPolicy(Qt::NoFocus);
  MemoProgress->setFixedSize(401, 50);
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setFixedSize(400, 25);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setTextVisible(false);
  layout->addWidget(LabelPrompt);
  layout->addWidget(MemoProgress);
  layout->addWidget(ProgressBar1);

  Timer1 = new QTimer(this);
  Timer1->setInterval(25);
  connect(Timer1, &QTimer::timeout, this, &TFormBusy::OnTimer1);
}

void TFormBusy::ShowBusy(const QString& prompt) {
  LabelPrompt->setText(prompt);
  MemoProgress->clear();
  if (QScreen* screen = QGuiApplication::primaryScreen(); screen != nullptr && !isVisible())
    move(screen->availableGeometry().center() - rect().center());
  show();
}

void TFormBusy::HideBusy() { close(); }

void TFormBusy::AppendProgress(const QString& text) {
  QTextCursor end = MemoProgress->textCursor();
  end.movePosition(QTextCursor::End);
  end.insertText(text);
  MemoProgress->setTextCursor(end);
  MemoProgress->ensureCursorVisible();
}

void TFormBusy::OnTimer1() {
  const int position = ProgressBar1->value();
  if (position < ProgressBar1->maximum())
    ProgressBar1->setValue(std::min(position + 2, ProgressBar1->maximum()));
  else
    ProgressBar1->setValue(0);
}

void TFormBusy::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!FCursorSet) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    FCursorSet = true;
  }
  Timer1->start();
  ProgressBar1->setValue(25);
}

void TFormBusy::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  if (FCursorSet) {
    QApplication::restoreOverrideCursor();
    FCursorSet = false;
  }
  Timer1->stop();
}
