#include <gtest/gtest.h>

#include "common/atomic_file.h"
#include "common/file_lookup.h"
#include "support/temp_dir.h"

using namespace reelwork;

class FileLookup : public reelwork::test::TempDirTest {};

TEST_F(FileLookup, FindsNamesWithoutRegardToCase) {
  QDir(dir.path()).mkpath("VIDEO_TS");
  writeBytes("VIDEO_TS/vts_01_1.vob", "x");
  const std::string root = dir.path().toStdString();

  auto found = FindFileNoCase(root + "/VIDEO_TS", "VTS_01_1.VOB");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->filename(), "vts_01_1.vob");
  EXPECT_FALSE(FindFileNoCase(root + "/VIDEO_TS", "VTS_01_2.VOB"));

  // Every component of a path may differ in case.
  auto resolved = ResolvePathNoCase(root + "/video_ts/Vts_01_1.Vob");
  ASSERT_TRUE(resolved);
  EXPECT_EQ(resolved->string(), root + "/VIDEO_TS/vts_01_1.vob");
  EXPECT_FALSE(ResolvePathNoCase(root + "/audio_ts/x.vob"));
}

TEST_F(FileLookup, CyrillicAndLatinLettersCompareWithoutRegardToCase) {
  EXPECT_TRUE(EqualsNoCase("ФИЛЬМ.AVS", "фильм.avs"));
  EXPECT_TRUE(EqualsNoCase("ЁЛКИ Ї Ґ.d2v", "ёлки ї ґ.D2V"));
  EXPECT_TRUE(EqualsNoCase("AMÉLIE", "amélie"));
  EXPECT_FALSE(EqualsNoCase("фильм", "фильмы"));
  EXPECT_FALSE(EqualsNoCase("е", "ё"));
  // Names in a byte encoding other than UTF-8 still compare byte for byte.
  EXPECT_TRUE(EqualsNoCase("\xD4\xE8.avs", "\xD4\xE8.AVS"));
  EXPECT_FALSE(EqualsNoCase("\xD4.avs", "\xF4.avs"));
  EXPECT_TRUE(MatchesWildcardNoCase("Инфо ДИСКА.txt", "*диска.TXT"));
  EXPECT_TRUE(MatchesWildcardNoCase("Я.ac3", "?.AC3")); // one letter, two bytes

  writeBytes(QString::fromUtf8("фильм.avs"), "x");
  const auto found = FindFileNoCase(dir.path().toStdString(), "ФИЛЬМ.AVS");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->filename().string(), "фильм.avs");
}

TEST_F(FileLookup, NamedFilesAreFoundByTheirTrailingComponentsBelowTheFolder) {
  QDir(dir.path()).mkpath(QString::fromUtf8("Фильм/VIDEO_TS"));
  writeBytes(QString::fromUtf8("Фильм/VIDEO_TS/vts_01_1.vob"), "v");
  writeBytes(QString::fromUtf8("Фильм/vts_01_2.VOB"), "w");
  writeBytes(QString::fromUtf8("Фильм/x.d2v"), "d");
  const std::string project = dir.path().toStdString() + "/Фильм";
  const std::string vob = project + "/VIDEO_TS/vts_01_1.vob";
  // A Windows path, absolute or relative, by VIDEO_TS/name below the project.
  EXPECT_EQ(FindNamedFile(project, "D:\\MOVIE\\VIDEO_TS\\VTS_01_1.VOB")->string(), vob);
  EXPECT_EQ(FindNamedFile(project, "VIDEO_TS\\VTS_01_1.VOB")->string(), vob);
  EXPECT_EQ(FindNamedFile(project, "\\\\server\\rips\\video_ts\\vts_01_1.vob")->string(), vob);
  // Then by the bare name.
  EXPECT_EQ(FindNamedFile(project, "D:\\MOVIE\\VIDEO_TS\\VTS_01_2.VOB")->string(), project + "/vts_01_2.VOB");
  EXPECT_EQ(FindNamedFile(project, "D:\\MOVIE\\X.D2V")->string(), project + "/x.d2v");
  // Paths of this system: as written, relative below the folder.
  EXPECT_EQ(FindNamedFile(project, "video_ts/VTS_01_1.vob")->string(), vob);
  EXPECT_EQ(FindNamedFile("/nowhere", vob)->string(), vob);
  EXPECT_EQ(FindNamedFile(project + "/VIDEO_TS", "..\\X.D2V")->string(), project + "/VIDEO_TS/../x.d2v");
  // Folders and what is not there are never found.
  EXPECT_FALSE(FindNamedFile(project, "D:\\MOVIE\\VIDEO_TS"));
  EXPECT_FALSE(FindNamedFile(project, "D:\\MOVIE\\VIDEO_TS\\VTS_09_1.VOB"));
  EXPECT_FALSE(FindNamedFile(project, ""));
  EXPECT_FALSE(FindNamedFile(project, "D:\\"));
}

TEST_F(FileLookup, ExactNameWinsOverOtherCases) {
  writeBytes("Movie.avs", "a");
  writeBytes("movie.avs", "b");
  auto found = FindFileNoCase(dir.path().toStdString(), "movie.avs");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->filename(), "movie.avs");
}

TEST_F(FileLookup, ListsFilesMatchingAWildcard) {
  writeBytes("a.AC3", "");
  writeBytes("b.ac3", "");
  writeBytes("c.txt", "");
  QDir(dir.path()).mkpath("d.ac3");
  const auto names = ListFilesNoCase(dir.path().toStdString(), "*.ac3");
  EXPECT_EQ(names, (std::vector<std::string>{"a.AC3", "b.ac3"}));
  EXPECT_TRUE(MatchesWildcardNoCase("VTS_01_0 - Info.TXT", "*info*.txt"));
  EXPECT_FALSE(MatchesWildcardNoCase("VTS_01_0.txt", "*info*.txt"));
  EXPECT_TRUE(MatchesWildcardNoCase("ab", "a?"));
  EXPECT_EQ(BaseNameAnySeparator("D:\\RIP\\VTS_01_1.VOB"), "VTS_01_1.VOB");
  EXPECT_EQ(BaseNameAnySeparator("/rip/VTS_01_1.VOB"), "VTS_01_1.VOB");
}

TEST_F(FileLookup, AtomicWriteReplacesWholeOrNothing) {
  writeBytes("script.avs", "old\r\n");
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(path("script.avs").toStdString(), "new\r\n", &error)) << error;
  EXPECT_EQ(readBytes("script.avs"), "new\r\n");

  // A folder that cannot take the new file leaves the old one untouched and
  // no temporary file behind.
  QDir(dir.path()).mkpath("ro");
  writeBytes("ro/s.avs", "keep");
  QFile::setPermissions(path("ro"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
  const bool refused = !WriteFileAtomically(path("ro/s.avs").toStdString(), "lost", &error);
  QFile::setPermissions(path("ro"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  if (refused) { // root may write anyway
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(readBytes("ro/s.avs"), "keep");
  }
  EXPECT_EQ(QDir(path("ro")).entryList(QDir::Files), QStringList{"s.avs"});
}
