// The project file list: the forms the rippers write, the look-up of Windows
// paths beside the project, and garbage that must be refused, never crash.

#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "engine/d2v.h"
#include "engine/video.h"
#include "support/media_fixture.h"

namespace fs = std::filesystem;
using namespace reelwork::engine;

namespace {

std::string ErrorOf(std::string_view text) {
  try {
    ParseD2vFileList(text);
  } catch (const EngineError &e) {
    return e.what();
  }
  return {};
}

void Write(const fs::path &path, const std::string &text) { std::ofstream(path, std::ios::binary) << text; }

TEST(D2vFileList, ReadsPathsWithAndWithoutCharacterCounts) {
  const auto files = ParseD2vFileList("DVD2AVIProjectFile\r\n3\r\n29 D:\\RIP\\VIDEO_TS\\VTS_01_1.VOB\r\n"
                                      "/media/dvd/VTS_01_2.VOB\r\n7 a b.vob\r\n\r\nStream_Type=1\r\n");
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0], "D:\\RIP\\VIDEO_TS\\VTS_01_1.VOB");
  EXPECT_EQ(files[1], "/media/dvd/VTS_01_2.VOB");
  EXPECT_EQ(files[2], "a b.vob"); // the count matches the rest of the line
  // LF line ends and the other indexer's header.
  const auto lf = ParseD2vFileList("DGIndexProjectFile16\n1\n12 C:\\x\\01.VOB\n");
  ASSERT_EQ(lf.size(), 1u);
  EXPECT_EQ(lf[0], "C:\\x\\01.VOB");
  // A name that merely starts with digits keeps them.
  EXPECT_EQ(ParseD2vFileList("DVD2AVIProjectFile\n1\n1 2.vob\n")[0], "1 2.vob");
}

TEST(D2vFileList, RefusesWhatIsNoProjectWithAReason) {
  EXPECT_NE(ErrorOf("").find("not a DVD2AVI project file"), std::string::npos);
  EXPECT_NE(ErrorOf("Hello\n1\nx.vob\n").find("not a DVD2AVI project file"), std::string::npos);
  EXPECT_NE(ErrorOf("DVD2AVIProjectFile\n").find("no file count"), std::string::npos);
  EXPECT_NE(ErrorOf("DVD2AVIProjectFile\nabc\nx.vob\n").find("not a number"), std::string::npos);
  EXPECT_NE(ErrorOf("DVD2AVIProjectFile\n0\n").find("lists no video files"), std::string::npos);
  EXPECT_NE(ErrorOf("DVD2AVIProjectFile\n3\nx.vob\n").find("fewer files"), std::string::npos);
  EXPECT_NE(ErrorOf("DVD2AVIProjectFile\n2\nx.vob\n\n").find("empty line"), std::string::npos);
  EXPECT_TRUE(ErrorOf("DVD2AVIProjectFile\n1\nx.vob").empty());
  EXPECT_EQ(std::string(ErrorOf("x")).rfind("mpeg2source: ", 0), 0u);
}

TEST(D2vProject, FindsWindowsPathsByNameBesideTheProjectWithoutRegardToCase) {
  reelwork::testing::TempFolder folder;
  Write(folder.path() / "vts_01_1.vob", "x");
  Write(folder.path() / "VTS_01_2.VOB", "y");
  const std::string other = (folder.path() / "elsewhere.vob").string();
  Write(other, "z");
  Write(folder.path() / "movie.d2v", "DVD2AVIProjectFile\r\n3\r\n29 D:\\RIP\\VIDEO_TS\\VTS_01_1.VOB\r\n" +
                                         std::to_string(other.size()) + " " + other +
                                         "\r\nvideo_ts/vts_01_2.vob\r\n");
  const auto files = ReadD2vProject(folder.path() / "movie.d2v");
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0], folder.path() / "vts_01_1.vob");
  EXPECT_EQ(files[1], fs::path(other)); // exists as written
  EXPECT_EQ(files[2], folder.path() / "VTS_01_2.VOB");
}

TEST(D2vProject, NamesTheMissingFileOrProject) {
  reelwork::testing::TempFolder folder;
  try {
    ReadD2vProject(folder.path() / "none.d2v");
    FAIL() << "a missing project was read";
  } catch (const EngineError &e) {
    EXPECT_NE(std::string(e.what()).find("cannot find the project file"), std::string::npos);
  }
  Write(folder.path() / "movie.d2v", "DVD2AVIProjectFile\n1\n20 E:\\DVD\\VTS_09_1.VOB\n");
  try {
    ReadD2vProject(folder.path() / "movie.d2v");
    FAIL() << "a missing VOB was accepted";
  } catch (const EngineError &e) {
    EXPECT_NE(std::string(e.what()).find("cannot find the video file E:\\DVD\\VTS_09_1.VOB"), std::string::npos);
  }
}

TEST(D2vDataLines, ReadsEveryGroupWithItsPictures) {
  const std::string text =
      "\xEF\xBB\xBF" "DGIndexProjectFile16\r\n2\r\nD:\\M\\VTS_01_1.VOB\r\nD:\\M\\VTS_01_2.VOB\r\n\r\n"
      "Stream_Type=1\r\nMPEG_Type=2\r\nLocation=0,0,1,3e8\r\n\r\n"
      "f00 5 0 2048 0 1 1 d2 b2 b2 e2 b2 b2\r\n"
      "900 5 0 6442452992 2 1 2 92 32 32\r\n"
      "b00 1 1 4096 0 2 1 53 21 ff\r\n"
      "\r\nFINISHED  100.00% VIDEO\r\n";
  const auto gops = ParseD2vDataLines(text);
  ASSERT_EQ(gops.size(), 3u);
  EXPECT_EQ(gops[0].info, 0xF00u);
  EXPECT_EQ(gops[0].matrix, 5);
  EXPECT_EQ(gops[0].position, 2048u);
  EXPECT_EQ(gops[0].flags, (std::vector<std::uint8_t>{0xD2, 0xB2, 0xB2, 0xE2, 0xB2, 0xB2}));
  EXPECT_EQ(gops[1].position, 6442452992u); // past 4 GiB: one file of a joined title
  EXPECT_EQ(gops[1].skip, 2);
  EXPECT_EQ(gops[1].cell, 2);
  EXPECT_EQ(gops[2].file, 1);
  EXPECT_EQ(gops[2].vob, 2);
  // The end-of-stream mark is no picture.
  EXPECT_EQ(gops[2].flags, (std::vector<std::uint8_t>{0x53, 0x21}));
  EXPECT_EQ(ParseD2vFileList(text).size(), 2u);

  // A project with its file list only has no groups; a damaged line is refused.
  EXPECT_TRUE(ParseD2vDataLines("DVD2AVIProjectFile\r\n1\r\nx.vob\r\n\r\nField_Operation=0\r\n").empty());
  EXPECT_THROW(ParseD2vDataLines("DGIndexProjectFile16\n1\nx.vob\n\nStream_Type=1\n\n900 5 0 20x48 0 1 1 d2\n"),
               EngineError);
  EXPECT_THROW(ParseD2vDataLines("DGIndexProjectFile16\n1\nx.vob\n\nStream_Type=1\n\n900 5 0 2048 0 1 1 d2 ff\n"
                                 "900 5 0 4096 0 1 1 d2\n"),
               EngineError);
}

// Mutations of valid projects: every outcome is a list or an EngineError.
TEST(D2vFuzz, MutatedProjectsAreReadOrRefusedCleanly) {
  const std::vector<std::string> seeds = {
      "DVD2AVIProjectFile\r\n2\r\n29 D:\\RIP\\VIDEO_TS\\VTS_01_1.VOB\r\n29 D:\\RIP\\VIDEO_TS\\VTS_01_2.VOB\r\n\r\n",
      "DGIndexProjectFile16\n1\n/x/VTS_01_1.VOB\n\nStream_Type=1\n",
      "DVD2AVIProjectFile\n4095\n",
      "DGIndexProjectFile16\n1\nx.vob\n\nStream_Type=1\n\n900 5 0 2048 0 1 1 d2 b2\nb00 5 0 4096 0 1 1 d2 ff\n"};
  std::mt19937 random(12345);
  auto pick = [&](size_t n) { return n == 0 ? 0 : static_cast<size_t>(random() % n); };
  const char interesting[] = {'\0', '\r', '\n', ' ', '9', '0', '\\', '/', '\xff', '-'};
  int accepted = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string text = seeds[pick(seeds.size())];
    const int edits = 1 + static_cast<int>(pick(6));
    for (int e = 0; e < edits; ++e) {
      const size_t at = pick(text.size() + 1);
      switch (pick(5)) {
      case 0: if (at < text.size()) text[at] = static_cast<char>(random()); break;
      case 1: text.insert(at, 1, interesting[pick(sizeof(interesting))]); break;
      case 2: if (at < text.size()) text.erase(at, 1 + pick(8)); break;
      case 3: text.insert(at, text.substr(pick(text.size()), pick(40))); break;
      case 4: text.resize(pick(text.size() + 1)); break;
      }
    }
    try {
      for (const auto &gop : ParseD2vDataLines(text))
        ASSERT_FALSE(gop.flags.empty());
    } catch (const EngineError &e) {
      ASSERT_EQ(std::string(e.what()).rfind("mpeg2source: ", 0), 0u);
    }
    try {
      const auto files = ParseD2vFileList(text);
      ASSERT_FALSE(files.empty());
      for (const auto &f : files)
        ASSERT_FALSE(f.empty());
      ++accepted;
    } catch (const EngineError &e) {
      ASSERT_EQ(std::string(e.what()).rfind("mpeg2source: ", 0), 0u);
    }
  }
  EXPECT_GT(accepted, 100); // the mutator still reaches the file list
}

} // namespace
