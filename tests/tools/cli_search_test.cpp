// The searches from the command line over sample rips of 100 frames: a dark
// scene (frames 0..34), a bright one (35..79) and end titles (80..99), a
// fence combing over the upper part of both scenes and a bright disc below
// it. In the panning rip stripes comb across the whole scene.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>

#include "cli/search_commands.h"
#include "cli/titles_command.h"
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
    testing::MakeTestRip(folder_->path() / "plain", o);
    o.pan = true;
    testing::MakeTestRip(folder_->path() / "pan", o);
  }
  static void TearDownTestSuite() { delete folder_; }

  static std::string Script(const std::string &rip) {
    const auto path = folder_->path() / rip / "movie.avs";
    std::ofstream(path, std::ios::binary) << "mpeg2source(\"VTS_01_1.d2v\")\r\n";
    return path.string();
  }

  static testing::TempFolder *folder_;
  testing::IsolatedIndexCache cache_;
};

testing::TempFolder *CliSearchTest::folder_ = nullptr;

TEST_F(CliSearchTest, InterlaceFindsCombingInTheFilmAndNoneInTheTitles) {
  const CommandRun run = Call(RunInterlaceCommand, {Script("pan"), "--seed", "3"});
  ASSERT_EQ(run.code, 0) << run.err;
  ASSERT_EQ(run.numbers.size(), 2u) << run.out;
  EXPECT_TRUE(run.numbers[0] >= 10 && run.numbers[0] < 80) << run.out; // not the titles
  EXPECT_GE(run.numbers[1], 20);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(Call(RunInterlaceCommand, {Script("pan"), "--seed", "3"}).out, run.out);

  // The plain rip combs enough whatever the draw, even for the least
  // sensitive search (the highest threshold, 25, on the fewest frames).
  for (const std::string seed : {"1", "2", "3", "4", "5"}) {
    const CommandRun plain = Call(RunInterlaceCommand, {Script("plain"), "--seed", seed, "--sens", "0"});
    ASSERT_EQ(plain.numbers.size(), 2u) << plain.out << plain.err;
    EXPECT_TRUE(plain.numbers[0] >= 10 && plain.numbers[0] < 80) << plain.out;
    EXPECT_GE(plain.numbers[1], 25) << "seed " << seed;
    EXPECT_EQ(plain.err, "");
  }

  // The titles alone: text over black combs nowhere.
  const auto titles = folder_->path() / "plain" / "titles.avs";
  std::ofstream(titles, std::ios::binary) << "mpeg2source(\"VTS_01_1.d2v\")\r\nTrim(80,99)\r\n";
  const CommandRun none = Call(RunInterlaceCommand, {titles.string(), "--sens", "10"});
  ASSERT_EQ(none.code, 0) << none.err;
  ASSERT_EQ(none.numbers.size(), 2u) << none.out;
  EXPECT_LT(none.numbers[1], 15);
  EXPECT_EQ(none.err, "Interlaced frames not found!\n");
}

TEST_F(CliSearchTest, LightLandsOnTheBrightScene) {
  for (const std::string seed : {"1", "2", "3"}) {
    const CommandRun run = Call(RunLightCommand, {Script("plain"), "--seed", seed});
    ASSERT_EQ(run.numbers.size(), 2u) << run.out << run.err;
    EXPECT_TRUE(run.numbers[0] >= 35 && run.numbers[0] <= 79) << run.out;
    EXPECT_GT(run.numbers[1], 125);
  }
}

TEST_F(CliSearchTest, RoundDrawsTheCircleAroundTheDisc) {
  // The disc in frame 10: the lowest band of rows with pure whites (the
  // frame number's white blocks lie above the scene).
  const std::string script = Script("plain");
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

  const CommandRun run = Call(RunRoundCommand, {script, "10", std::to_string(cx), std::to_string(cy)});
  ASSERT_EQ(run.code, 0) << run.err;
  ASSERT_EQ(run.numbers.size(), 3u) << run.out;
  EXPECT_NEAR(run.numbers[0], cx, 2);
  EXPECT_NEAR(run.numbers[1], cy, 2);
  EXPECT_NEAR(run.numbers[2], radius + 3, 2); // the first pixel outside, plus 2

  // A click on the calm ground beside the disc finds no round outline.
  const CommandRun calm = Call(RunRoundCommand, {script, "10", "60", "230"});
  EXPECT_EQ(calm.code, 0) << calm.err;
  EXPECT_EQ(calm.out, "none\n");
  const CommandRun unclicked = Call(RunRoundCommand, {script, "10", "0", "100"});
  EXPECT_EQ(unclicked.code, 1);
  EXPECT_EQ(unclicked.err, "You must point to the center of circular area on the screen before!\n");
}

// The calculator's title search: the titles start at frame 80, where the
// preview numbers the first title picture 80, and run the last 20 frames.
TEST_F(CliSearchTest, TitlesFindsTheStartOfTheEndTitles) {
  for (const std::string seed : {"1", "2", "3", "4", "5"}) {
    const CommandRun run = Call(RunTitlesCommand, {Script("plain"), "--seed", seed});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "titles=20 start=80\n") << "seed " << seed;
    EXPECT_EQ(run.err, "");
  }
  // Without its titles the film ends light: none are found.
  const auto film = folder_->path() / "plain" / "film.avs";
  std::ofstream(film, std::ios::binary) << "mpeg2source(\"VTS_01_1.d2v\")\r\nTrim(0,69)\r\n";
  const CommandRun none = Call(RunTitlesCommand, {film.string()});
  EXPECT_EQ(none.code, 0);
  EXPECT_EQ(none.out, "titles=0\n");
  EXPECT_EQ(none.err, "Sorry, cannot find titles!\n");
}

TEST_F(CliSearchTest, TitlesRefusesWrongArgumentsAndUnreadableScripts) {
  const std::string script = Script("plain");
  for (const auto &args : std::vector<std::vector<std::string>>{
           {}, {script, "--seed"}, {script, "--seed", "x"}, {script, "--sens", "5"}, {script, "7"}}) {
    const CommandRun run = Call(RunTitlesCommand, args);
    EXPECT_EQ(run.code, 2) << run.err;
    EXPECT_EQ(run.out, "");
  }
  const CommandRun missing = Call(RunTitlesCommand, {(folder_->path() / "none.avs").string()});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err.find("none.avs"), std::string::npos) << missing.err;
}

TEST_F(CliSearchTest, WrongArgumentsAndUnreadableScripts) {
  const std::string script = Script("plain");
  for (const auto &args : std::vector<std::vector<std::string>>{
           {}, {script, "--seed", "-1"}, {script, "--seed"}, {script, "--bogus"}})
    EXPECT_EQ(Call(RunLightCommand, args).code, 2);
  EXPECT_EQ(Call(RunRoundCommand, {script, "10", "5"}).code, 2);
  EXPECT_EQ(Call(RunRoundCommand, {script, "0", "5", "5"}).code, 2);

  const CommandRun missing = Call(RunLightCommand, {(folder_->path() / "none.avs").string()});
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find("none.avs"), std::string::npos) << missing.err;
}

} // namespace
} // namespace reelwork
