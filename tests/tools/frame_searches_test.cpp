// Find Interlace and Find Light end to end on an in-memory workbench whose
// frames are drawn from the frame number.

#include <gtest/gtest.h>

#include <algorithm>

#include "app/language.h"
#include "support/test_bench.h"
#include "tools/frame_searches.h"

namespace reelwork {
namespace {

using test::TestBench;

RgbImage Flat(int w, int h, int value) {
  RgbImage image;
  image.resize(w, h);
  std::fill(image.pixels.begin(), image.pixels.end(), static_cast<std::uint8_t>(value));
  return image;
}

// Rows alternating between 0 and `amplitude`: the comb score is exactly it.
RgbImage Combed(int amplitude, int w = 32, int h = 24) {
  RgbImage image;
  image.resize(w, h);
  for (int y = 1; y < h; y += 2)
    std::fill_n(image.at(0, y), 3 * w, static_cast<std::uint8_t>(amplitude));
  return image;
}

TEST(Sensitivity, TextsAndWhatTheyGive) {
  const std::pair<const char *, int> cases[] = {{"5", 5},    {"0", 0},     {"10", 10},  {"abc", 5},  {"12", 5},
                                                {"4.5", 4},  {"5.5", 6},   {"10.5", 10}, {"-0.5", 0}, {"-1", 5},
                                                {"", 5},     {"  7", 7},   {"7 ", 5},   {"3,5", 5},  {"1e40", 5}};
  for (const auto &[text, expected] : cases)
    EXPECT_EQ(SensitivityFromText(text), expected) << "'" << text << "'";
  EXPECT_EQ(InterlaceParamsFor(0).framesPerPass, 25);
  EXPECT_EQ(InterlaceParamsFor(10).threshold, 15);
  const auto light = LightParamsFor(10);
  EXPECT_EQ(std::vector<int>({light.triesPerStep, light.limits[0], light.limits[1], light.limits[2]}),
            std::vector<int>({105, 100, 80, 50}));
}

TEST(CombScore, ExactOnStripesAndNeverReadsRow0OrTheSideColumns) {
  std::mt19937 random(7);
  EXPECT_EQ(CombScore(Combed(40), 32, 24, random), 40);
  RgbImage framed = Flat(16, 16, 0);
  std::fill_n(framed.at(0, 0), 3 * 16, 255);
  for (int y = 1; y < 16; y += 2)
    framed.at(0, y)[0] = framed.at(15, y)[0] = 255;
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(CombScore(framed, 16, 16, random), 0);
  // The last row is read as the pixel below; a smaller picture bounds the points.
  RgbImage tiny = Flat(3, 3, 0);
  std::fill_n(tiny.at(0, 2), 9, 150);
  EXPECT_EQ(CombScore(tiny, 720, 576, random), 150);
  EXPECT_EQ(CombScore(RgbImage{}, 720, 576, random), 0);
}

class SearchTest : public ::testing::Test {
protected:
  void SetUp() override {
    bench.openVideo(1000, 32, 24);
    bench.state.Random.seed(12345);
  }
  const QList<int> &shown() const { return bench.preview.shownFrames; }
  TestBench bench;
};

TEST_F(SearchTest, FlatVideoShowsTheLastSampledFrameAndMessage6) {
  bench.preview.frames = [](int) { return Flat(32, 24, 128); };
  const SearchResult result = FindInterlacedFrame(bench.bench);
  ASSERT_EQ(shown().size(), 3 * 75 + 1);
  for (int f : shown())
    ASSERT_TRUE(f >= 100 && f <= 899) << f;
  EXPECT_EQ(shown().back(), shown()[3 * 75 - 1]);
  EXPECT_EQ(result.outcome, SearchOutcome::NotFound);
  EXPECT_EQ(bench.dialogs.messages, QStringList{"Interlaced frames not found!"});
  EXPECT_EQ(bench.preview.busyChanges, (QList<bool>{true, false}));
}

TEST_F(SearchTest, OnlyTheLastPassCompetesAndTheFirstOfEqualScoresWins) {
  // Pass 1 holds a 19, pass 3 two 7s: all under T = 20, the earlier 7 is shown.
  QList<int> order;
  bench.preview.frames = [&](int n) {
    order.append(n);
    const int call = order.size();
    return Combed(call == 10 ? 19 : call == 160 || call == 170 ? 7 : 1);
  };
  const SearchResult result = FindInterlacedFrame(bench.bench);
  ASSERT_EQ(order.size(), 3 * 75 + 1);
  EXPECT_EQ(result.frame, order[159]);
  EXPECT_EQ(shown().back(), order[159]);
  EXPECT_EQ(bench.dialogs.messages.size(), 1);
}

TEST_F(SearchTest, ScoreAtTheThresholdEndsAfterOnePassSilently) {
  bench.preview.frames = [](int) { return Combed(20); };
  EXPECT_EQ(FindInterlacedFrame(bench.bench).outcome, SearchOutcome::Found);
  ASSERT_EQ(shown().size(), 76);
  EXPECT_EQ(shown().back(), shown().front());
  EXPECT_TRUE(bench.dialogs.messages.isEmpty());
  // _INTERLACESENS 0: 25 frames a pass, T = 25.
  bench.state.settings[Setting::InterlaceSens] = "0";
  EXPECT_EQ(FindInterlacedFrame(bench.bench).outcome, SearchOutcome::NotFound);
  EXPECT_EQ(shown().size(), 76 + 76);
}

TEST_F(SearchTest, TinyVideosAndNoScriptAreRefusedWithoutSampling) {
  bench.state.FrameCount = 1;
  EXPECT_EQ(FindInterlacedFrame(bench.bench).outcome, SearchOutcome::Refused);
  bench.state.FrameCount = 1000;
  bench.state.VideoHeight = 2;
  bench.state.Language = Russian;
  EXPECT_EQ(FindInterlacedFrame(bench.bench).outcome, SearchOutcome::Refused);
  bench.state.VideoOpen = false;
  FindInterlacedFrame(bench.bench);
  EXPECT_EQ(bench.dialogs.messages, (QStringList{VideoTooSmallText(English), VideoTooSmallText(Russian),
                                                 MessageText(MsgOpenScriptFirst, Russian)}));
  EXPECT_TRUE(shown().isEmpty());
  EXPECT_TRUE(bench.preview.busyChanges.isEmpty());
}

// Regression: a frame the video could not deliver left the old picture shown,
// and the search went on scoring it as if it were the frame asked for.
TEST_F(SearchTest, AFrameThatCannotBeShownStopsTheSearch) {
  std::mt19937 copy = bench.state.Random;
  const int first = std::uniform_int_distribution<int>(0, 799)(copy) + 100;
  bench.preview.frames = [](int) { return Combed(200); };
  bench.preview.failAt = first;
  EXPECT_EQ(FindInterlacedFrame(bench.bench).outcome, SearchOutcome::Failed);
  EXPECT_EQ(shown(), QList<int>{first});
  EXPECT_EQ(bench.state.CurrentFrame, 1);
  EXPECT_EQ(bench.preview.busyChanges, (QList<bool>{true, false}));
}

TEST_F(SearchTest, LightOf70PassesInTheThirdStepAnd65Never) {
  bench.preview.frames = [](int) { return Flat(32, 24, 70); };
  SearchResult result = FindLightFrame(bench.bench);
  EXPECT_EQ(result.outcome, SearchOutcome::Found);
  EXPECT_EQ(result.value, 70);
  EXPECT_EQ(shown().size(), 55 + 55 + 1);

  bench.preview.shownFrames.clear();
  bench.preview.frames = [](int) { return Flat(32, 24, 65); };
  result = FindLightFrame(bench.bench);
  EXPECT_EQ(result.outcome, SearchOutcome::NotFound);
  ASSERT_EQ(shown().size(), 165);
  EXPECT_EQ(bench.state.CurrentFrame, shown().back());
  EXPECT_TRUE(bench.dialogs.messages.isEmpty());
}

TEST_F(SearchTest, LightStopsAtTheFirstBrightFrameAndDrawsFrom1ToTheEnd) {
  bench.preview.frames = [](int n) { return Flat(32, 24, n % 7 == 0 ? 126 : 20); };
  FindLightFrame(bench.bench);
  ASSERT_FALSE(shown().isEmpty());
  EXPECT_EQ(shown().back() % 7, 0);
  EXPECT_EQ(std::count_if(shown().begin(), shown().end(), [](int f) { return f % 7 == 0; }), 1);

  bench.preview.shownFrames.clear();
  bench.state.FrameCount = 3;
  bench.preview.frames = [](int) { return Flat(32, 24, 0); };
  FindLightFrame(bench.bench);
  ASSERT_EQ(shown().size(), 165);
  EXPECT_EQ(*std::min_element(shown().begin(), shown().end()), 1);
  EXPECT_EQ(*std::max_element(shown().begin(), shown().end()), 3);
}

// Find Light needs no neighbours and no margin: a single frame of a single
// pixel is searched like any other video.
TEST_F(SearchTest, LightSearchesAOneFrameOnePixelVideo) {
  bench.state.FrameCount = 1;
  bench.state.VideoWidth = bench.state.VideoHeight = 1;
  bench.preview.frames = [](int) { return Flat(1, 1, 200); };
  SearchResult result = FindLightFrame(bench.bench);
  EXPECT_EQ(result.outcome, SearchOutcome::Found);
  EXPECT_EQ(result.frame, 1);
  EXPECT_EQ(result.value, 200);
  EXPECT_EQ(shown(), QList<int>{1});

  bench.preview.frames = [](int) { return Flat(1, 1, 10); };
  result = FindLightFrame(bench.bench);
  EXPECT_EQ(result.outcome, SearchOutcome::NotFound);
  EXPECT_EQ(shown().size(), 1 + 165);
  EXPECT_TRUE(bench.dialogs.messages.isEmpty());
}

} // namespace
} // namespace reelwork
