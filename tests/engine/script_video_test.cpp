// Opening a script as video: its source line, the figures, and RGB frames.

#include <gtest/gtest.h>

#include <fstream>

#include "engine/mpeg2_source.h"
#include "engine/script_build.h"
#include "engine/video.h"
#include "support/media_fixture.h"

namespace fs = std::filesystem;
using namespace reelwork;
using namespace reelwork::engine;

namespace {

class ScriptVideoTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    folder_ = new reelwork::testing::TempFolder;
    SampleOptions o;
    o.seconds = 1;
    rip_ = reelwork::testing::MakeTestRip(folder_->path(), o);
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }
  fs::path Script(const std::string &name, const std::string &text) {
    const fs::path p = folder_->path() / name;
    std::ofstream(p, std::ios::binary) << text;
    return p;
  }
  std::string OpenError(const fs::path &script) {
    try {
      ScriptVideo::open(script.string());
    } catch (const EngineError &e) {
      return e.what();
    }
    return "(opened)";
  }

  static reelwork::testing::TempFolder *folder_;
  static SampleRip rip_;
  reelwork::testing::IsolatedIndexCache cache_;
};

reelwork::testing::TempFolder *ScriptVideoTest::folder_ = nullptr;
SampleRip ScriptVideoTest::rip_;

TEST_F(ScriptVideoTest, FindsTheSourceLineInAnyCapitalsPastComments) {
  const fs::path script =
      Script("a.avs", "# mpeg2source(\"other.d2v\")\r\n\r\nMPEG2Source(\"VTS_01_1.D2V\", idct=0, cpu=4, iPP=true)\r\n");
  // The D2V's name in other capitals is found too.
  auto video = ScriptVideo::open(script.string());
  const VideoProperties &p = video->properties();
  EXPECT_EQ(p.width, 352);
  EXPECT_EQ(p.height, 288);
  EXPECT_EQ(p.frameCount, rip_.frames);
  EXPECT_EQ(p.rateNum, 25);
  EXPECT_EQ(p.rateDen, 1);
  EXPECT_EQ(p.parity, FieldParity::Top);
}

// (The messages checked are the source's own; the script reader in front of
// it may word its own refusals differently.)
TEST_F(ScriptVideoTest, RefusesScriptsItCannotRun) {
  EXPECT_NE(OpenError(Script("b.avs", "# mpeg2source(\"VTS_01_1.d2v\")\r\n")), "(opened)");
  EXPECT_NE(OpenError(Script("c.avs", "mpeg2source(\"missing.d2v\")\r\n")).find("cannot find the project file"),
            std::string::npos);
  const std::string absent = OpenError(folder_->path() / "absent.avs");
  EXPECT_NE(absent, "(opened)");
  EXPECT_FALSE(absent.empty());
}

TEST_F(ScriptVideoTest, FramesAreRgbAndClampedToTheClip) {
  auto video = ScriptVideo::open(Script("d.avs", "mpeg2source(\"VTS_01_1.d2v\")\n").string());
  const int last = video->properties().frameCount - 1;
  RgbImage first, beyond, lastFrame, below;
  video->frame(last + 10, beyond);
  video->frame(last, lastFrame);
  video->frame(-3, below);
  video->frame(0, first);
  EXPECT_EQ(beyond, lastFrame);
  EXPECT_EQ(below, first);
  ASSERT_EQ(first.width, 352);
  ASSERT_EQ(first.height, 288);
  // The black bar at the top is black in RGB (TV black expanded to 0).
  const std::uint8_t *corner = first.at(5, 5);
  EXPECT_LE(corner[0] + corner[1] + corner[2], 6);
}

TEST_F(ScriptVideoTest, BuildScriptClipGivesTheCachedSource) {
  ClipPtr clip = BuildScriptClip(Script("e.avs", "mpeg2source(\"VTS_01_1.d2v\")\n").string(), {});
  ASSERT_TRUE(IndexOfSource(*clip));
  clip->frame(3);
  const SourceStats before = StatsOfSource(*clip);
  clip->frame(3); // from the cache: nothing decoded
  EXPECT_EQ(StatsOfSource(*clip).picturesDecoded, before.picturesDecoded);
}

} // namespace
