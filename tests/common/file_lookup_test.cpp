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
