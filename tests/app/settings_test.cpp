#include <gtest/gtest.h>

#include "settings/settings.h"
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
