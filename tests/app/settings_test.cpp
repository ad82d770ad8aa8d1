#include <gtest/gtest.h>

#include <sys/stat.h>

#include "settings/settings.h"
#include "support/ordinary_user.h"
#include "support/temp_dir.h"

using namespace reelwork;

class SettingsFile : public reelwork::test::TempDirTest {
protected:
  QString ini() const { return path("Reelwork.ini"); }
};

TEST_F(SettingsFile, NoFileGivesDefaultsAndAFreshFileInTableOrder) {
  Settings s;
  QStringList lines{"stale"};
  s[Setting::Language] = "0";
  LoadSettings(ini(), s, lines);
  EXPECT_EQ(s, Settings());
  EXPECT_TRUE(lines.isEmpty());
  EXPECT_EQ(s[Setting::Sharpen], "0.25");
  EXPECT_EQ(s[Setting::Language], "1");

  ASSERT_TRUE(SaveSettings(ini(), s, lines));
  const QByteArray written = readBytes("Reelwork.ini");
  EXPECT_TRUE(written.startsWith("_LANGUAGE=1\r\n_VOBSCAN=1\r\n_FILTERS=mpeg2source();Telecide();"));
  EXPECT_TRUE(written.endsWith("_RESIZEWIDTH=640\r\n_VDUBMOD=\r\n"));
  EXPECT_EQ(written.count("\r\n"), 15);
  EXPECT_TRUE(written.contains("\r\n_SHARPEN=0.25\r\n"));
}

TEST_F(SettingsFile, KeepsForeignLinesAndAppendsMissingKeysInOrder) {
  writeBytes("Reelwork.ini", "; my comment\r\n_LANGUAGE=0\r\n");
  Settings s;
  QStringList lines;
  LoadSettings(ini(), s, lines);
  EXPECT_EQ(s[Setting::Language], "0");
  ASSERT_TRUE(SaveSettings(ini(), s, lines));
  const QStringList saved = QString::fromLatin1(readBytes("Reelwork.ini")).split("\r\n");
  ASSERT_EQ(saved.size(), 17); // comment, 15 keys, empty piece after the last break
  EXPECT_EQ(saved[0], "; my comment");
  EXPECT_EQ(saved[1], "_LANGUAGE=0");
  EXPECT_EQ(saved[2], "_VOBSCAN=1");
  EXPECT_EQ(saved[15], "_VDUBMOD=");
}

TEST_F(SettingsFile, KeysMatchExactlyWhenReadButByContentWhenSaved) {
  writeBytes("Reelwork.ini", "_LANGUAGEX=0\n_language=0\n_VDUBMOD=C:\\Tools\\VDM\\\n_SHARPEN=a=b\n_FIELDORDER\n"
                             "_FIELDORDER=0\n_FIELDORDER=1\n");
  Settings s;
  QStringList lines;
  LoadSettings(ini(), s, lines);
  EXPECT_EQ(s[Setting::Language], "1"); // neither line is the exact key
  EXPECT_EQ(s[Setting::VDubMod], "C:\\Tools\\VDM\\");
  EXPECT_EQ(s[Setting::Sharpen], "a=b"); // only the first "=" separates
  EXPECT_EQ(s[Setting::FieldOrder], "1"); // the last line wins
  ASSERT_EQ(lines.size(), 7);

  ASSERT_TRUE(SaveSettings(ini(), s, lines));
  // The longer key contains "_LANGUAGE" and is overwritten; lower case is not.
  EXPECT_EQ(lines[0], "_LANGUAGE=1");
  EXPECT_EQ(lines[1], "_language=0");
  // Every line that contains a key takes its line, the bare key included.
  EXPECT_EQ(lines[4], "_FIELDORDER=1");
  EXPECT_EQ(lines[5], "_FIELDORDER=1");
}

TEST_F(SettingsFile, CutsLongValuesAndReadsWindows1251) {
  writeBytes("Reelwork.ini", "_FILTERS=" + QByteArray(300, 'a') + "\r\n_VDUBMOD=/opt/\xCF\xF0\xEE\xE3\r\n");
  Settings s;
  QStringList lines;
  LoadSettings(ini(), s, lines);
  EXPECT_EQ(s[Setting::Filters], QString(256, 'a'));
  EXPECT_EQ(s[Setting::VDubMod], QString::fromUtf8("/opt/Прог"));
}

TEST_F(SettingsFile, UnwritableFileKeepsValuesAndOldFile) {
  QDir(dir.path()).mkpath("Reelwork.ini.d");
  Settings s;
  QStringList lines;
  // A folder in the file's place cannot be replaced by a file.
  EXPECT_FALSE(SaveSettings(path("Reelwork.ini.d"), s, lines));
  EXPECT_EQ(s, Settings());
}

// A settings file the user cannot read holds values and comments that a
// rewrite from the defaults would lose: it is reported and left alone.
TEST_F(SettingsFile, UnreadableFileIsReportedAndNeverOverwritten) {
  const QByteArray kept = "# my settings\r\n_LANGUAGE=0\r\n_SHARPEN=0.5\r\n";
  writeBytes("Reelwork.ini", kept);
  ::chmod(ini().toLocal8Bit().constData(), 0200); // the owner may write, not read
  test::GiveToOrdinaryUser(dir.path().toStdString());
  const int result = test::RunInChild([&] {
    if (::access(dir.path().toLocal8Bit().constData(), X_OK) != 0)
      return test::kUnreachable;
    Settings s;
    QStringList lines;
    if (LoadSettings(ini(), s, lines) != SettingsRead::Unreadable || !(s == Settings()) || !lines.isEmpty())
      return 1;
    s[Setting::Sharpen] = "0.3";
    SaveFailure failure;
    if (SaveSettings(ini(), s, lines, &failure) || failure.kind != SaveFailure::Unreadable)
      return 2;
    return 0;
  });
  if (result == test::kUnreachable)
    GTEST_SKIP() << "the test folder cannot be reached by an ordinary user";
  EXPECT_EQ(result, 0);
  ::chmod(ini().toLocal8Bit().constData(), 0600);
  EXPECT_EQ(readBytes("Reelwork.ini"), kept);

  // Missing and readable files are told apart from it.
  Settings s;
  QStringList lines;
  EXPECT_EQ(LoadSettings(ini(), s, lines), SettingsRead::Read);
  EXPECT_EQ(s[Setting::Sharpen], "0.5");
  EXPECT_EQ(LoadSettings(path("none.ini"), s, lines), SettingsRead::Missing);
}
