// Test Round on black discs on white, clicked in various places.

#include <gtest/gtest.h>

#include <cmath>

#include "app/language.h"
#include "support/test_bench.h"
#include "tools/round_test.h"

namespace reelwork {
namespace {

// A black disc of `radius` around (x0, y0) on white (black where dx² + dy² <= radius²).
RgbImage Disc(int w, int h, int x0, int y0, int radius) {
  RgbImage image;
  image.resize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if ((x - x0) * (x - x0) + (y - y0) * (y - y0) > radius * radius)
        std::fill_n(image.at(x, y), 3, 255);
  return image;
}

class RoundTest : public ::testing::Test {
protected:
  // Shows `picture` as the frame, clicks (x, y) and runs the test.
  std::optional<Circle> Click(const RgbImage &picture, int x, int y) {
    bench.openVideo(1, picture.width, picture.height);
    bench.preview.frames = [picture](int) { return picture; };
    bench.preview.ShowFrame(1);
    bench.state.ClickX = x;
    bench.state.ClickY = y;
    return TestRound(bench.bench);
  }
  test::TestBench bench;
};

TEST_F(RoundTest, DiscOfRadius40ClickedInItsCentre) {
  const RgbImage disc = Disc(200, 160, 100, 80, 40);
  EXPECT_EQ(Click(disc, 100, 80), (Circle{100, 80, 43}));
  // A dotted red outline of radius 43 over the picture shown, not the frame.
  const RgbImage &shown = bench.preview.ShownPicture();
  int red = 0;
  for (int y = 0; y < shown.height; ++y)
    for (int x = 0; x < shown.width; ++x)
      if (shown.at(x, y)[0] == 255 && shown.at(x, y)[1] == 0) {
        ++red;
        EXPECT_NEAR(std::hypot(x - 100, y - 80), 43.0, 1.0);
      }
  EXPECT_TRUE(red > 100 && red < 200) << red; // about half of 2 pi 43
  EXPECT_EQ(bench.state.PreviewBitmap, disc);
  EXPECT_EQ(bench.preview.busyChanges, (QList<bool>{true, false}));
}

TEST_F(RoundTest, OffCentreClicksAndTheTolerance) {
  const RgbImage disc = Disc(200, 160, 100, 80, 40);
  // 3 right: pL 44, pR 38 agree within 7; the circle starts at the left edge.
  EXPECT_EQ(Click(disc, 103, 80), (Circle{100, 80, 43}));
  // 9 right: (50, 32) and (50, 39) disagree; the vertical pair (39, 39) decides.
  EXPECT_EQ(Click(disc, 109, 80), (Circle{109, 80, 41}));
  // _ROUNDSENS 7, tolerance 5: 3 right falls to (pL, pU) = (44, 40).
  bench.state.settings[Setting::RoundSens] = "7";
  EXPECT_EQ(Click(disc, 103, 80), (Circle{103, 80, 44}));
  EXPECT_TRUE(bench.dialogs.messages.isEmpty());
}

TEST_F(RoundTest, RadiusLimitsAndTheSearchRadius) {
  EXPECT_EQ(Click(Disc(100, 100, 50, 50, 9), 50, 50), std::nullopt);
  EXPECT_EQ(bench.preview.picturesShown, 0);
  EXPECT_EQ(Click(Disc(100, 100, 50, 50, 10), 50, 50), (Circle{50, 50, 13}));
  // 200 pixels from every edge only 75 pixels are searched.
  EXPECT_EQ(Click(Disc(400, 400, 200, 200, 80), 200, 200), std::nullopt);
  EXPECT_EQ(Click(Disc(400, 400, 200, 200, 70), 200, 200), (Circle{200, 200, 73}));
  EXPECT_EQ(Click(Disc(400, 190, 200, 95, 80), 200, 95), (Circle{200, 95, 83}));
  // Frames beyond 1024 pixels, with the circle clipped at the picture's edge.
  EXPECT_EQ(Click(Disc(2000, 120, 1800, 60, 40), 1800, 60), (Circle{1800, 60, 43}));
  EXPECT_EQ(Click(Disc(1500, 1300, 1485, 1285, 13), 1485, 1285), (Circle{1485, 1285, 16}));
  // A click on the last column or row leaves a ray empty.
  EXPECT_EQ(Click(Disc(100, 100, 99, 50, 30), 99, 50), std::nullopt);
  EXPECT_EQ(Click(Disc(100, 100, 50, 99, 30), 50, 99), std::nullopt);
  EXPECT_TRUE(bench.dialogs.messages.isEmpty());
}

TEST_F(RoundTest, NoUsableClickPointGivesMessage7) {
  const RgbImage disc = Disc(100, 100, 50, 50, 30);
  const std::pair<int, int> clicks[] = {{0, 50}, {50, 0}, {100, 50}, {50, 250}, {-5, 50}};
  for (auto [x, y] : clicks)
    EXPECT_EQ(Click(disc, x, y), std::nullopt);
  bench.state.Language = Russian; // (the clicks above opened in English)
  bench.state.ClickX = 0;
  TestRound(bench.bench);
  bench.state.VideoOpen = false;
  bench.state.ClickX = bench.state.ClickY = 50;
  TestRound(bench.bench);
  const QString english = MessageText(MsgPointCenterFirst, English);
  EXPECT_EQ(bench.dialogs.messages, (QStringList{english, english, english, english, english,
                                                 MessageText(MsgPointCenterFirst, Russian),
                                                 MessageText(MsgOpenScriptFirst, Russian)}));
  EXPECT_EQ(bench.preview.picturesShown, 0);
}

TEST(EdgePosition, GreatestStepWithinReachTheNearestOfEqualsWinning) {
  // Index 0 touches the clicked pixel and never counts.
  EXPECT_EQ(EdgePosition({999, 5, 9, 9, 3}, 5), 3);
  EXPECT_EQ(EdgePosition({999, 5, 9, 9, 3}, 2), 2);
  EXPECT_EQ(EdgePosition({0, 0, 0}, 3), 0);
  EXPECT_EQ(EdgePosition({7, 7}, 100), 2);
}

} // namespace
} // namespace reelwork
