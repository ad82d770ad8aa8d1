// The searches from the command line over a sample rip: a dark scene (frames
// 0..34), a bright one (35..79) and titles, a bright disc wandering through
// the first two. Combed frames are woven in the script from the top fields of
// the dark scene and the bottom fields of the bright one.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>

#include "cli/search_commands.h"
#include "engine/video.h"
#include "support/media_fixture.h"

namespace reelwork {
namespace {

struct CommandRun {
  int code = -1;
  std::string out, err;
  std::vector<int> numbers; // the values after each '=' or ','
};

CommandRun Call(int (*command)(const std::vector<std::string> &), const std::vector<std::string> &args) {
  CommandRun run;
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  run.code = command(args);
  std::fflush(stdout);
  std::fflush(stderr);
  run.out = ::testing::internal::GetCapturedStdout();
  run.err = ::testing::internal::GetCapturedStderr();
  const std::regex number("[=,]([0-9]+)");
  for (auto it = std::sregex_iterator(run.out.begin(), run.out.end(), number); it != std::sregex_iterator(); ++it)
    run.numbers.push_back(std::stoi((*it)[1]));
  return run;
}

class CliSearchTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    folder_ = new testing::TempFolder;
    engine::SampleOptions o;
    o.seconds = 4;
    testing::MakeTestRip(folder_->path(), o);
  }
  static void TearDownTestSuite() { delete folder_; }

  static std::string Script(const std::string &name, const std::string &body) {
    const auto path = folder_->path() / name;
    std::ofstream(path, std::ios::binary) << "v = mpeg2source(\"VTS_01_1.d2v\")\r\n" << body;
    return path.string();
  }
  // Progressive frames (each from its top field) with 30 combed ones at
  // 51..80, the numbers the preview passes to the engine.
  static std::string Mixed() {
    std::ostringstream s;
    s << "p = v.Bob().SelectEven()\r\nf = v.SeparateFields()\r\nc = f.SelectEven().Trim(0, -1) + "
         "f.SelectOdd().Trim(40, -1)\r\n";
    for (int k = 1; k < 30; ++k)
      s << "c = c + f.SelectEven().Trim(" << k << ", -1) + f.SelectOdd().Trim(" << 40 + k << ", -1)\r\n";
    s << "c = c.AssumeFPS(50).AssumeFieldBased().AssumeTFF().Weave()\r\np.Trim(0, 50) + c + p.Trim(51, 0)\r\n";
    return Script("mixed.avs", s.str());
  }

  static testing::TempFolder *folder_;
  testing::IsolatedIndexCache cache_;
};

testing::TempFolder *CliSearchTest::folder_ = nullptr;

TEST_F(CliSearchTest, InterlaceFindsCombedFramesAndNoneInProgressiveOnes) {
  const CommandRun run = Call(cli::RunInterlaceCommand, {Mixed(), "--seed", "3"});
  ASSERT_EQ(run.code, 0) << run.err;
  ASSERT_EQ(run.numbers.size(), 2u) << run.out;
  EXPECT_TRUE(run.numbers[0] >= 51 && run.numbers[0] <= 80) << run.out;
  EXPECT_GE(run.numbers[1], 20);
  EXPECT_EQ(Call(cli::RunInterlaceCommand, {Mixed(), "--seed", "3"}).out, run.out);

  const CommandRun none = Call(cli::RunInterlaceCommand, {Script("p.avs", "v.Bob().SelectEven()\r\n"), "--sens", "0"});
  ASSERT_EQ(none.code, 0) << none.err;
  ASSERT_EQ(none.numbers.size(), 2u) << none.out;
  EXPECT_LT(none.numbers[1], 25);
  EXPECT_EQ(none.err, "Interlaced frames not found!\n");
}

TEST_F(CliSearchTest, LightLandsOnTheBrightScene) {
  for (const std::string seed : {"1", "2", "3"}) {
    const CommandRun run = Call(cli::RunLightCommand, {Script("a.avs", "v\r\n"), "--seed", seed});
    ASSERT_EQ(run.numbers.size(), 2u) << run.out << run.err;
    EXPECT_TRUE(run.numbers[0] >= 35 && run.numbers[0] <= 79) << run.out;
    EXPECT_GT(run.numbers[1], 125);
  }
}

TEST_F(CliSearchTest, RoundDrawsTheCircleAroundTheDisc) {
  // The disc in frame 10: the lowest band of rows with pure whites (the
  // frame number's white blocks lie above the scene).
  const std::string script = Script("a.avs", "v\r\n");
  RgbImage frame;
  engine::ScriptVideo::open(script)->frame(10, frame);
  // First and last pure white column of row y; (-1, -1) when there is none.
  auto whites = [&](int y) {
    std::pair<int, int> span{-1, -1};
    for (int x = 0; x < frame.width; ++x)
      if (std::min({frame.at(x, y)[0], frame.at(x, y)[1], frame.at(x, y)[2]}) > 245)
        span = {span.first < 0 ? x : span.first, x};
    return span;
  };
  int bottom = frame.height - 1;
  while (bottom > 0 && whites(bottom).second < 0)
    --bottom;
  int top = bottom, left = whites(bottom).first, right = whites(bottom).second;
  while (top > 0 && whites(top - 1).second >= 0) {
    --top;
    left = std::min(left, whites(top).first);
    right = std::max(right, whites(top).second);
  }
  ASSERT_GT(right - left, 20);
  const int cx = (left + right) / 2, cy = (top + bottom) / 2, radius = (right - left) / 2;

  const CommandRun run = Call(cli::RunRoundCommand, {script, "10", std::to_string(cx), std::to_string(cy)});
  ASSERT_EQ(run.code, 0) << run.err;
  ASSERT_EQ(run.numbers.size(), 3u) << run.out;
  EXPECT_NEAR(run.numbers[0], cx, 2);
  EXPECT_NEAR(run.numbers[1], cy, 2);
  EXPECT_NEAR(run.numbers[2], radius + 3, 2); // the first pixel outside, plus 2

  EXPECT_EQ(Call(cli::RunRoundCommand, {script, "10", "30", "150"}).out, "none\n");
  const CommandRun unclicked = Call(cli::RunRoundCommand, {script, "10", "0", "100"});
  EXPECT_EQ(unclicked.code, 1);
  EXPECT_EQ(unclicked.err, "You must point to the center of circular area on the screen before!\n");
}

TEST_F(CliSearchTest, WrongArgumentsAndUnusableScripts) {
  const std::string script = Script("a.avs", "v\r\n");
  for (const auto &args : std::vector<std::vector<std::string>>{
           {}, {script, "--seed", "-1"}, {script, "--seed"}, {script, "--bogus"}})
    EXPECT_EQ(Call(cli::RunLightCommand, args).code, 2);
  EXPECT_EQ(Call(cli::RunRoundCommand, {script, "10", "5"}).code, 2);
  EXPECT_EQ(Call(cli::RunRoundCommand, {script, "0", "5", "5"}).code, 2);

  const CommandRun missing = Call(cli::RunLightCommand, {(folder_->path() / "none.avs").string()});
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find("none.avs"), std::string::npos) << missing.err;
  const CommandRun single = Call(cli::RunInterlaceCommand, {Script("one.avs", "v.Trim(5, -1)\r\n")});
  EXPECT_EQ(single.code, 1);
  EXPECT_NE(single.err.find("too small"), std::string::npos) << single.err;
}

} // namespace
} // namespace reelwork
