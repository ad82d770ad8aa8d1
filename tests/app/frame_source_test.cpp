#include <gtest/gtest.h>

#include "engine/sample_media.h"
#include "preview/frame_source.h"
#include "support/temp_dir.h"

using namespace reelwork;

TEST(FrameFigures, FpsTextKeepsTwoDigitsOfTheFraction) {
  EXPECT_EQ(FpsTextFor(25.0f), "25,0");
  EXPECT_EQ(FpsTextFor(static_cast<float>(30000.0 / 1001.0)), "29,97");
  EXPECT_EQ(FpsTextFor(static_cast<float>(24000.0 / 1001.0)), "23,97");
  EXPECT_EQ(FpsTextFor(50.0f), "50,0");
  EXPECT_EQ(FpsTextFor(12.5f), "12,50");
}

TEST(FrameFigures, TicksMarkEveryTenMinutes) {
  EXPECT_EQ(TenMinuteTicks(90000, 25.0f), (QVector<int>{15001, 30001, 45001, 60001, 75001}));
  EXPECT_TRUE(TenMinuteTicks(15000, 25.0f).isEmpty());
  const float ntsc = static_cast<float>(30000.0 / 1001.0);
  const QVector<int> ticks = TenMinuteTicks(60000, ntsc);
  ASSERT_EQ(ticks.size(), 3);
  EXPECT_EQ(ticks[0], 17983); // first whole frame past 17982.018
  EXPECT_TRUE(TenMinuteTicks(100, 0.0f).isEmpty());
}

TEST(FrameFigures, CaptionNamesScriptSystemRateAndSize) {
  SharedState state;
  state.ScriptName = "movie.avs";
  state.TvSystem = "PAL";
  state.FpsText = "25,0";
  state.VideoWidth = 720;
  state.VideoHeight = 576;
  EXPECT_EQ(VideoCaption(state), "Reelwork (build 201105) - [movie.avs] - PAL / 25,0 fps  / 720 x 576");
  state.TvSystem.clear();
  EXPECT_EQ(VideoCaption(state), "Reelwork (build 201105) - [movie.avs] -  / 25,0 fps  / 720 x 576");
}

class FrameSourceFailures : public reelwork::test::TempDirTest {};

TEST_F(FrameSourceFailures, AFailedOpeningLeavesNoVideoAndSaysWhy) {
  SharedState state;
  state.VideoOpen = true;
  FrameSource source;
  QString error;
  EXPECT_FALSE(source.OpenVideo(path("missing.avs"), state, &error));
  EXPECT_FALSE(state.VideoOpen);
  EXPECT_FALSE(error.isEmpty());
  EXPECT_FALSE(source.isOpen());

  writeBytes("bad.avs", "mpeg2source(\"nowhere.d2v\")\r\n");
  EXPECT_FALSE(source.OpenVideo(path("bad.avs"), state, &error));
  EXPECT_TRUE(error.contains("nowhere.d2v", Qt::CaseInsensitive)) << error.toStdString();

  // A frame asked for while nothing is open is a clean failure.
  RgbImage picture;
  EXPECT_FALSE(source.GetFrame(1, picture, &error));
}

// Stopping an index build from its progress report leaves no video and no
// index behind: the next opening builds it again and succeeds.
TEST_F(FrameSourceFailures, AnIndexBuildStoppedByItsProgressIsNotKept) {
  engine::SampleOptions options;
  options.seconds = 1;
  options.withAudioFile = false;
  const engine::SampleRip rip = engine::WriteSampleRip(dir.path().toStdString(), options);
  writeBytes("movie.avs", "mpeg2source(\"VTS_01_1.d2v\")\r\n");

  SharedState state;
  FrameSource source;
  QString error;
  int reports = 0;
  EXPECT_FALSE(source.OpenVideo(path("movie.avs"), state, &error, [&](double) {
    ++reports;
    return false;
  }));
  EXPECT_EQ(reports, 1);
  EXPECT_TRUE(source.cancelled());
  EXPECT_FALSE(source.isOpen());
  EXPECT_FALSE(state.VideoOpen);

  std::vector<double> fractions;
  ASSERT_TRUE(source.OpenVideo(path("movie.avs"), state, &error, [&](double fraction) {
    fractions.push_back(fraction);
    return true;
  })) << error.toStdString();
  EXPECT_FALSE(source.cancelled());
  ASSERT_FALSE(fractions.empty());
  EXPECT_EQ(fractions.back(), 1.0);
  EXPECT_EQ(state.FrameCount, rip.frames);
}
