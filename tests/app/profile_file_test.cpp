#include "shell/UProfileFile.h"
#include "shell/USettingsFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <stdexcept>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kHandWritten[] =
    "; written by hand\r\n"
    "[Other]\r\n"
    "Keep=this one\r\n"
    "\r\n"
    "[OPTIONS]\r\n"
    "# the family\r\n"
    "ANPR_Type = 3\r\n"
    "colour=blue\r\n"
    "\r\n"
    "[update_KIVO]\r\n"
    "UserName=admin\r\n";

TEST(ProfileFile, NamesCompareWithoutLetterCaseAndFirstMatchWins) {
  const auto ini = TProfileFile::Parse(
      "orphan=before any section\n[Options]\n;anpr_type=9\n  Anpr_Type = 2 \nanpr_type=5\n"
      "[options]\nnetwork_if=second section\n");
  EXPECT_EQ(ini.ReadInteger("options", "ANPR_TYPE", 0), 2);
  EXPECT_EQ(ini.ReadString("OPTIONS", "network_if", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadString("", "orphan", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadString("missing", "key", "dflt"), "dflt");
}

TEST(ProfileFile, MissingFileReadsEmptyAndUnreadableFileThrows) {
  QTemporaryDir dir;
  const auto missing = TProfileFile::Load(dir.filePath("none.ini").toStdString());
  EXPECT_EQ(missing.Text(), "");
  EXPECT_EQ(missing.ReadInteger("options", "anpr_type", 7), 7);
  EXPECT_THROW(TProfileFile::Load(dir.path().toStdString()), std::runtime_error);
  EXPECT_THROW(missing.Save(dir.filePath("no/such/folder/x.ini").toStdString()), std::runtime_error);
}

TEST(ProfileFile, SaveReplacesTheFileWholeThroughItsLinkAndKeepsItsPermissions) {
  QTemporaryDir dir;
  const std::string real = dir.filePath("real.ini").toStdString();
  const std::string link = dir.filePath("link.ini").toStdString();
  TProfileFile::Parse("[s]\nk=old value that is longer than the new one\n").Save(real);
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
  ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);

  TProfileFile::Parse("[s]\nk=new\n").Save(link);

  struct stat st {};
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(TProfileFile::Load(real).Text(), "[s]\nk=new\n");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System | QDir::Hidden),
            (QStringList{"link.ini", "real.ini"}));  // no half-written file left beside
}

TEST(ProfileFile, SaveThatFailsHalfWayKeepsTheOldFile) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("settings.ini").toStdString();
  const std::string old = "[s]\nk=old\n";
  TProfileFile::Parse(old).Save(path);
  auto bigger = TProfileFile::Parse(old);
  bigger.WriteString("s", "k", std::string(8192, 'x'));

  // A file size limit makes the write fail part of the way, as a full disk would.
  rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 4096;
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  EXPECT_THROW(bigger.Save(path), std::runtime_error);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);

  EXPECT_EQ(TProfileFile::Load(path).Text(), old);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System | QDir::Hidden),
            (QStringList{"settings.ini"}));
}

TEST(ProfileFile, IntegersParseOnlyWholeDecimalNumbers) {
  const struct {
    const char* text;
    int expected;
  } cases[] = {{"2", 2},     {"-5", -5}, {"+7", 7},         {" 3 ", 3},
               {"abc", 99},  {"12abc", 99}, {"99999999999", 99}, {"", 99}, {"0x10", 99}};
  for (const auto& c : cases) {
    const auto ini = TProfileFile::Parse(std::string("[s]\nk=") + c.text + "\n");
    EXPECT_EQ(ini.ReadInteger("s", "k", 99), c.expected) << "value '" << c.text << "'";
  }
}

TEST(ProfileFile, WritesKeysInPlaceAndKeepsEveryOtherLine) {
  auto ini = TProfileFile::Parse(kHandWritten);
  ini.WriteInteger("options", "anpr_type", 1);  // existing key, other letter case
  ini.WriteString("options", "network_if", "10.0.0.2");  // new key in an existing section
  ini.WriteString("update_v2", "filename", "/tmp/a.gpg");  // new section
  EXPECT_EQ(ini.Text(),
            "; written by hand\r\n"
            "[Other]\r\n"
            "Keep=this one\r\n"
            "\r\n"
            "[OPTIONS]\r\n"
            "# the family\r\n"
            "ANPR_Type=1\r\n"
            "colour=blue\r\n"
            "network_if=10.0.0.2\r\n"
            "\r\n"
            "[update_KIVO]\r\n"
            "UserName=admin\r\n"
            "[update_v2]\r\n"
            "filename=/tmp/a.gpg\r\n");
}

TEST(ProfileFile, EveryValueReadsBackAsWritten) {
  // Outer blanks and enclosing quotes would be lost by a profile reader, and a line break
  // would forge a key of its own.
  const struct {
    const char* written;
    const char* read;
  } cases[] = {{"plain", "plain"},         {"", ""},
               {" lead", " lead"},         {"trail ", "trail "},
               {"\"quoted\"", "\"quoted\""}, {"'single'", "'single'"},
               {"a=b;c#d", "a=b;c#d"},     {"pass\nanpr_type=3", "pass anpr_type=3"},
               {"[options]", "[options]"}};
  for (const auto& c : cases) {
    auto ini = TProfileFile::Parse("[s]\nk=old\n[options]\nanpr_type=1\n");
    ini.WriteString("s", "k", c.written);
    const auto reread = TProfileFile::Parse(ini.Text());
    EXPECT_EQ(reread.ReadString("s", "k", "?"), c.read) << "value '" << c.written << "'";
    EXPECT_EQ(reread.ReadInteger("options", "anpr_type", 0), 1) << "value '" << c.written << "'";
  }
}

TEST(ProfileFile, KeepsByteOrderMarkAndLineEndsOfTheFile) {
  auto ini = TProfileFile::Parse("\xEF\xBB\xBF[options]\nanpr_type=2\n");
  EXPECT_EQ(ini.ReadInteger("options", "anpr_type", 0), 2);
  ini.WriteInteger("options", "anpr_type", 3);
  EXPECT_EQ(ini.Text(), "\xEF\xBB\xBF[options]\nanpr_type=3\n");
}

TEST(ProfileFile, StrayCarriageReturnsDoNotChangeWhatASaveReadsBack) {
  // A header ending in two carriage returns in a file of bare line feeds: the section
  // written to must be the one read after the save, which writes one line end.
  auto ini = TProfileFile::Parse("[Options\r\r\nkeep=1 \r\n");
  ini.WriteString("options", "network_if", "10.0.0.2");
  EXPECT_EQ(ini.ReadString("options", "keep", ""), "1");
  const auto reread = TProfileFile::Parse(ini.Text());
  EXPECT_EQ(reread.ReadString("options", "network_if", "?"), "10.0.0.2");
  EXPECT_EQ(reread.ReadString("options", "keep", ""), "1");
}

class StoredSettingsTest : public ::testing::Test {
 protected:
  QString Path() const { return Dir.filePath("vistello.ini"); }
  void Write(const char* text) const {
    QFile file(Path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
  }
  QTemporaryDir Dir;
};

TEST_F(StoredSettingsTest, NewFileHoldsTheSevenKeysInOrderAndReadsBackTheSame) {
  TStoredSettings written;
  written.ANPRType = 7;
  written.NetworkIF = "192.168.1.10";
  written.PuttyPath = "/opt/putty/";
  written.UpdateFileV2 = "/data/os image.gpg";
  written.UpdateFileKIVO = "/data/kivo.sh";
  written.UserName = "root";
  written.Password = " secret ";
  written.Save(Path());

  QFile file(Path());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll().toStdString(),
            "[options]\nanpr_type=7\nnetwork_if=192.168.1.10\nputtypath=/opt/putty/\n"
            "[update_v2]\nfilename=/data/os image.gpg\n"
            "[update_kivo]\nfilename=/data/kivo.sh\nusername=root\npassword=\" secret \"\n");

  TStoredSettings read;
  read.Load(Path());
  EXPECT_EQ(read.ANPRType, written.ANPRType);
  EXPECT_EQ(read.NetworkIF, written.NetworkIF);
  EXPECT_EQ(read.PuttyPath, written.PuttyPath);
  EXPECT_EQ(read.UpdateFileV2, written.UpdateFileV2);
  EXPECT_EQ(read.UpdateFileKIVO, written.UpdateFileKIVO);
  EXPECT_EQ(read.UserName, written.UserName);
  EXPECT_EQ(read.Password, written.Password);
}

TEST_F(StoredSettingsTest, AbsentKeysGiveTheDefaults) {
  Write("[options]\nanpr_type=not a number\n[update_kivo]\n");
  TStoredSettings s;
  s.ANPRType = 3;
  s.NetworkIF = "current if";
  s.PuttyPath = "/current/";
  s.UpdateFileV2 = "current v2";
  s.UpdateFileKIVO = "current kivo";
  s.UserName = "old user";
  s.Password = "old password";
  s.Load(Path());
  EXPECT_EQ(s.ANPRType, 0);
  EXPECT_EQ(s.NetworkIF, "current if");
  EXPECT_EQ(s.PuttyPath, "/current/");
  EXPECT_EQ(s.UpdateFileV2, "current v2");
  EXPECT_EQ(s.UpdateFileKIVO, "current kivo");
  EXPECT_EQ(s.UserName, "");
  EXPECT_EQ(s.Password, "");
}

TEST_F(StoredSettingsTest, HandWrittenFileKeepsItsOtherSectionsCommentsAndKeys) {
  Write(kHandWritten);
  TStoredSettings s;
  s.Load(Path());
  EXPECT_EQ(s.ANPRType, 3);
  EXPECT_EQ(s.UserName, "admin");
  s.Save(Path());

  const auto saved = TProfileFile::Load(Path().toStdString());
  const std::string text = saved.Text();
  for (const char* kept : {"; written by hand", "[Other]", "Keep=this one", "[OPTIONS]", "# the family",
                           "ANPR_Type=3", "colour=blue", "[update_KIVO]", "UserName=admin"})
    EXPECT_NE(text.find(kept), std::string::npos) << kept;
  EXPECT_EQ(text.find("[options]"), std::string::npos);  // no second section of the same name
  EXPECT_EQ(text.find("[update_kivo]"), std::string::npos);
}

TEST(SettingsFilePath, LiesBesideTheExecutableOrInTheConfigurationFolder) {
  QTemporaryDir dir;
  EXPECT_EQ(SettingsFilePath(dir.filePath("vistello")), dir.filePath("vistello.ini"));
  // A folder that cannot be written (here: one that is gone): the user's configuration
  // folder instead.
  const QString gone = dir.filePath("gone/vistello");
  const QString fallback = SettingsFilePath(gone);
  EXPECT_TRUE(fallback.endsWith("/vistello.ini")) << fallback.toStdString();
  EXPECT_FALSE(fallback.startsWith(dir.path())) << fallback.toStdString();
}

}  // namespace
