// Detection on frames decoded from a letterboxed MPEG-2 rip, and the
// command-line `crop` over the same rip.

#include <gtest/gtest.h>

#include "cli/crop_command.h"
#include "crop/crop_detection.h"
#include "engine/video.h"
#include "support/media_fixture.h"

using namespace reelwork;

namespace {

class LetterboxedRip : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    cache_ = new reelwork::testing::IsolatedIndexCache;
    folder_ = new reelwork::testing::TempFolder;
    engine::SampleOptions options;
    options.width = 720;
    options.height = 576; // bars of 64 rows above and below the picture
    options.seconds = 2;
    options.audioInVob = false;
    const auto rip = reelwork::testing::MakeTestRip(folder_->path(), options);
    frames_ = rip.frames;
    script_ = reelwork::testing::WriteSourceScript(rip.d2v).string();
  }
  static void TearDownTestSuite() {
    delete folder_;
    delete cache_;
  }

  // Runs the command and gives its exit code, with stdout in `out`.
  static int Run(const std::vector<std::string> &args, std::string &out) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int code = RunCropCommand(args);
    out = ::testing::internal::GetCapturedStdout();
    lastError_ = ::testing::internal::GetCapturedStderr();
    return code;
  }

  static inline reelwork::testing::IsolatedIndexCache *cache_ = nullptr;
  static inline reelwork::testing::TempFolder *folder_ = nullptr;
  static inline std::string script_;
  static inline std::string lastError_;
  static inline int frames_ = 0;
};

} // namespace

TEST_F(LetterboxedRip, BrightFramesShowTheBarsAndNoSideBorders) {
  auto video = engine::ScriptVideo::open(script_);
  ASSERT_EQ(frames_, 50);
  // The bright scene runs from 35 % to 80 % of the sample.
  for (int n : {18, 25, 38}) {
    RgbImage frame;
    video->frame(n, frame);
    EXPECT_EQ(FindCroping(frame, 720, 576), (CropAmounts{2, 2, 66, 66})) << "frame " << n;
  }
}

TEST_F(LetterboxedRip, CommandPrintsTheAmountsAndTheCropLine) {
  std::string out;
  ASSERT_EQ(Run({script_, "25"}, out), 0) << lastError_;
  EXPECT_EQ(out, "X1=2 X2=2 Y1=66 Y2=66\nCrop(2,66,-2,-66)\n");
  ASSERT_EQ(Run({script_, "25", "--balance", "+4", "--no-align"}, out), 0);
  EXPECT_EQ(out, "X1=2 X2=2 Y1=70 Y2=70\nCrop(2,70,-2,-70)\n");
}

TEST_F(LetterboxedRip, CommandRefusesWhatItCannotMeasure) {
  std::string out;
  EXPECT_EQ(Run({script_}, out), 2);
  EXPECT_EQ(Run({script_, "-1"}, out), 2);
  EXPECT_EQ(Run({script_, "1", "--balance"}, out), 2);
  EXPECT_EQ(Run({script_, "50"}, out), 1);
  EXPECT_NE(lastError_.find("past the end"), std::string::npos);
  EXPECT_EQ(Run({(folder_->path() / "none.avs").string(), "0"}, out), 1);
  EXPECT_TRUE(out.empty());
}
