// reelwork-cli bitrate: the calculator's answers without a window.

#include <gtest/gtest.h>

#include "cli/calc_command.h"

namespace reelwork {
namespace {

struct CommandRun {
  int code;
  std::string out;
};

CommandRun Bitrate(std::vector<std::string> args) {
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  CommandRun run;
  run.code = RunBitrateCommand(args);
  run.out = ::testing::internal::GetCapturedStdout();
  ::testing::internal::GetCapturedStderr();
  return run;
}

TEST(BitrateCommand, TheCalculatorsAnswers) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--size", "700", "--time", "5400"}, "bitrate=632 quality=0,08"},
      {{"--size", "1400", "--time", "6000"}, "bitrate=1495 quality=0,19"},
      {{"--size", "1400", "--frames", "150000"}, "bitrate=1495 quality=0,19"}, // 25 fps by default
      {{"--size", "1400", "--time", "6000", "--titles", "300"}, "bitrate=1548 quality=0,20"},
      {{"--size", "1400", "--time", "6000", "--titles", "300", "--title-rate", "999"}, "bitrate=1521 quality=0,20"},
      {{"--size", "1400", "--time", "6000", "--width", "576", "--height", "432"}, "bitrate=1495 quality=0,24"},
      {{"--size", "1400", "--time", "6000", "--audio", "448,448,448"}, "bitrate=599 quality=0,08"},
      {{"--size", "1400", "--time", "6000", "--audio", "0"}, "bitrate=1943 quality=0,25"},
      // 1000 MB snaps to 1120 (5 MB off); on the 2-CD position it is 10 MB.
      {{"--size", "1000", "--time", "6000"}, "bitrate=943 quality=0,12"},
      {{"--size", "1000", "--preset", "1400", "--time", "6000"}, "bitrate=936 quality=0,12"},
      // 135000 frames at 23.976 are 5631 s.
      {{"--size", "1400", "--frames", "135000", "--rate", "23.976"}, "bitrate=1623 quality=0,22"},
      {{"--size", "1400", "--time", "5631", "--rate", "23.976"}, "bitrate=1623 quality=0,22"},
  };
  for (const auto &[args, expected] : cases) {
    const CommandRun run = Bitrate(args);
    EXPECT_EQ(run.code, 0) << ::testing::PrintToString(args);
    EXPECT_EQ(run.out, expected + "\n") << ::testing::PrintToString(args);
  }
}

TEST(BitrateCommand, RefusesWhatCannotBeComputed) {
  for (const auto &args : std::vector<std::vector<std::string>>{
           {"--size", "1,5", "--time", "6000"},             // a comma is no decimal point here
           {"--size", "1400", "--time", "6000", "--titles", "6000"}, // titles as long as the film
           {"--size", "1400", "--time", "0"},               // no running time
           {"--size", "1400", "--frames", "1000", "--rate", "0"}, // no rate
           {"--size", "1e39", "--time", "6000"},            // beyond any number
       }) {
    const CommandRun run = Bitrate(args);
    EXPECT_EQ(run.code, 1) << args[1];
    EXPECT_EQ(run.out, "refused\n") << args[1];
  }
}

TEST(BitrateCommand, UsageErrors) {
  for (const auto &args : std::vector<std::vector<std::string>>{
           {"--time", "6000"},                                     // no size
           {"--size", "700"},                                      // no time
           {"--size", "700", "--time", "6000", "--frames", "10"},  // both
           {"--size", "700", "--time"},                            // a missing value
           {"--size", "700", "--time", "99999"},                   // beyond the slider
           {"--size", "700", "--time", "6000", "--audio", "448,384,320,256"},
           {"--size", "700", "--time", "6000", "--title-rate", "500"},
       }) {
    const CommandRun run = Bitrate(args);
    EXPECT_EQ(run.code, 2) << ::testing::PrintToString(args);
    EXPECT_EQ(run.out, "");
  }
}

} // namespace
} // namespace reelwork
