#include "AppTestSupport.h"
#include "UVersion.h"
#include "shell/UAbout.h"

#include <QLabel>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

TEST(FormAbout, ShowsTheVersionConstants) {
  TestApplication();
  TRecordingUserInterface ui;
  TFormAbout about(ui);
  EXPECT_EQ(about.windowTitle(), "About . . .");
  EXPECT_EQ(about.lblProductName->text(), "Vistello");
  EXPECT_EQ(about.lblProductVersion->text(), "Version: 2.6");
  EXPECT_EQ(about.lblLegalCopyright->text(), QLatin1String(VersionInfo::LegalCopyright));
  EXPECT_STREQ(VersionInfo::FileVersion, "2.6.0.0");
}

TEST(FormAbout, AnyKeyOrClickClosesButTheWebAddressOpensThePage) {
  TestApplication();
  TRecordingUserInterface ui;
  const struct {
    const char* what;
    std::function<void(TFormAbout&)> act;
    bool closes;
  } cases[] = {
      {"key A", [](TFormAbout& a) { QTest::keyClick(&a, Qt::Key_A); }, true},
      {"key Space", [](TFormAbout& a) { QTest::keyClick(&a, Qt::Key_Space); }, true},
      {"click picture", [](TFormAbout& a) { QTest::mouseClick(a.Picture, Qt::LeftButton); }, true},
      {"click version", [](TFormAbout& a) { QTest::mouseClick(a.lblProductVersion, Qt::LeftButton); }, true},
      {"click web address", [](TFormAbout& a) { QTest::mouseClick(a.lblWebsite, Qt::LeftButton); }, false},
  };
  for (const auto& c : cases) {
    TFormAbout about(ui);
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    ui.WebPages.clear();
    c.act(about);
    EXPECT_EQ(!about.isVisible(), c.closes) << c.what;
    if (!c.closes) {
      EXPECT_EQ(ui.WebPages, QStringList{"http://www.tovra.example"}) << c.what;
    }
  }
}

}  // namespace
