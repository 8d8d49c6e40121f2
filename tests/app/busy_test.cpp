#include "AppTestSupport.h"
#include "shell/UBusy.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

TEST(FormBusy, ShowsPromptAndHourglassThenRestoresCursorAndStopsTimer) {
  TestApplication();
  TFormBusy busy;
  busy.ShowBusy("Searching for cameras . . .");
  busy.AppendProgress("copying\n");
  EXPECT_TRUE(busy.isVisible());
  EXPECT_EQ(busy.LabelPrompt->text(), "Searching for cameras . . .");
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  EXPECT_TRUE(busy.Timer1->isActive());
  EXPECT_EQ(busy.Timer1->interval(), 25);

  // Shown again: new prompt, no old lines, and the cursor is set only once.
  busy.ShowBusy("Update busy. This will take few minutes");
  EXPECT_EQ(busy.LabelPrompt->text(), "Update busy. This will take few minutes");
  EXPECT_TRUE(busy.MemoProgress->toPlainText().isEmpty());

  busy.HideBusy();
  EXPECT_FALSE(busy.isVisible());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(busy.Timer1->isActive());
}

TEST(FormBusy, BarSweepsFrom25InStepsOfTwo) {
  TestApplication();
  TFormBusy busy;
  busy.ShowBusy("wait");
  busy.Timer1->stop();  // ticks are driven by hand
  EXPECT_EQ(busy.ProgressBar1->value(), 25);
  for (int i = 0; i < 38; ++i) busy.OnTimer1();
  EXPECT_EQ(busy.ProgressBar1->value(), 100);
  busy.OnTimer1();
  EXPECT_EQ(busy.ProgressBar1->value(), 0);
  for (int i = 0; i < 49; ++i) busy.OnTimer1();
  EXPECT_EQ(busy.ProgressBar1->value(), 98);
  busy.OnTimer1();
  EXPECT_EQ(busy.ProgressBar1->value(), 100);
  busy.HideBusy();
}

TEST(FormBusy, ProgressTextIsAppendedAsItComes) {
  TestApplication();
  TFormBusy busy;
  busy.ShowBusy("wait");
  busy.AppendProgress("uploading kivo.sh ");
  busy.AppendProgress("100%\nrunning\n");
  EXPECT_EQ(busy.MemoProgress->toPlainText(), "uploading kivo.sh 100%\nrunning\n");
  busy.HideBusy();
}

}  // namespace
