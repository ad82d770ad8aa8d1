// Border detection, the balance, the four-multiple rule and the guides, on
// synthetic grey pictures whose line levels are known exactly.

#include <gtest/gtest.h>

#include <functional>

#include "crop/crop_detection.h"

using namespace reelwork;

namespace {

// A grey picture: pixel (x, y) has all three channels at grey(x, y).
RgbImage Grey(int w, int h, const std::function<int(int, int)> &grey) {
  RgbImage p;
  p.resize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      std::fill_n(p.at(x, y), 3, static_cast<std::uint8_t>(grey(x, y)));
  return p;
}

// Rows of level 16 at the top and bottom around picture rows of level 100.
RgbImage Letterbox(int w, int h, int top, int bottom) {
  return Grey(w, h, [=](int, int y) { return y < top || y >= h - bottom ? 16 : 100; });
}

} // namespace

TEST(CropDetection, BordersGiveTheLeastEvenAmountAboveTheBand) {
  const RgbImage bright = Grey(720, 576, [](int, int) { return 200; });
  for (int balance : {-4, 0, 4})
    EXPECT_EQ(DetectCrop(bright, 720, 576, balance), (CropAmounts{2, 2, 2, 2})) << balance;
  EXPECT_EQ(FindCroping(Grey(719, 575, [](int, int) { return 200; }), 719, 575), (CropAmounts{2, 1, 2, 1}));
  EXPECT_EQ(FindCroping(Letterbox(720, 576, 72, 72), 720, 576), (CropAmounts{2, 2, 74, 74}));
  EXPECT_EQ(FindCroping(Letterbox(720, 576, 73, 73), 720, 576), (CropAmounts{2, 2, 74, 74}));
  const RgbImage pillars = Grey(720, 576, [](int x, int) { return x < 10 || x >= 720 - 11 ? 0 : 150; });
  EXPECT_EQ(FindCroping(pillars, 720, 576), (CropAmounts{12, 12, 2, 2}));
}

TEST(CropDetection, BalanceMovesOnlyAmountsAboveThree) {
  const RgbImage frame = Letterbox(720, 576, 72, 72);
  EXPECT_EQ(DetectCrop(frame, 720, 576, CropBalanceFromSetting("+4")), (CropAmounts{2, 2, 78, 78}));
  EXPECT_EQ(DetectCrop(frame, 720, 576, CropBalanceFromSetting("-4")), (CropAmounts{2, 2, 70, 70}));
  EXPECT_EQ(DetectCrop(frame, 720, 576, CropBalanceFromSetting("3")), (CropAmounts{2, 2, 74, 74}));
  for (const char *text : {"2", "+2"})
    EXPECT_EQ(CropBalanceFromSetting(text), 2);
  for (const char *text : {" 4", "4 ", "", "+0"})
    EXPECT_EQ(CropBalanceFromSetting(text), 0) << '"' << text << '"';
}

TEST(CropDetection, OnlyTwoNeighboursAboveLevel32StopTheScan) {
  // Rows alternating 33 and 32 never make a bright pair; the black band
  // below them and the step to the picture at row 30 still count.
  const RgbImage frame = Grey(720, 576, [](int, int y) { return y < 20 ? (y % 2 ? 32 : 33) : y < 30 ? 0 : 150; });
  EXPECT_EQ(FindCroping(frame, 720, 576).Y1, 32);
  EXPECT_EQ(FindCroping(Grey(720, 576, [](int, int y) { return y < 10 ? 32 : 200; }), 720, 576).Y1, 12);
}

TEST(CropDetection, OfEqualStepsTheOuterOneWins) {
  // 0 -> 20 -> 40: two steps of 20, at 10 and at 20 lines from each edge.
  const RgbImage rows = Grey(720, 576, [](int, int y) {
    const int d = std::min(y, 575 - y);
    return d < 10 ? 0 : d < 20 ? 20 : 40;
  });
  EXPECT_EQ(FindCroping(rows, 720, 576), (CropAmounts{2, 2, 12, 12}));
}

TEST(CropDetection, AnySizeIsMeasuredWithinItsBuffer) {
  const RgbImage hd = Grey(1920, 1088, [](int x, int y) { return y < 140 || y >= 1088 - 140 || x < 240 ? 0 : 180; });
  EXPECT_EQ(FindCroping(hd, 1920, 1088), (CropAmounts{242, 2, 142, 142}));
  // A picture smaller than the figures it comes with is measured as it is.
  EXPECT_EQ(FindCroping(Letterbox(64, 48, 6, 6), 720, 576), (CropAmounts{2, 2, 8, 8}));
  EXPECT_EQ(FindCroping(RgbImage{}, 720, 576), (CropAmounts{}));
}

TEST(CropAlignment, SumBecomesAMultipleOfFourWithoutShrinking) {
  for (int a = 0; a < 4; ++a)
    for (int b = 0; b < 4; ++b) {
      int x1 = 8 + a, x2 = 12 + b;
      const bool needed = NeedsAlignToFour(x1, x2);
      AlignCropToFour(x1, x2);
      EXPECT_EQ((x1 + x2) % 4, 0) << a << ',' << b;
      EXPECT_TRUE(x1 >= 8 + a && x2 >= 12 + b) << a << ',' << b;
      EXPECT_EQ(needed, x1 + x2 != 20 + a + b) << a << ',' << b;
    }
  auto aligned = [](int x1, int x2) {
    AlignCropToFour(x1, x2);
    return std::pair{x1, x2};
  };
  EXPECT_EQ(aligned(2, 4), std::pair(4, 4));
  EXPECT_EQ(aligned(8, 6), std::pair(8, 8));
  EXPECT_EQ(aligned(2, 3), std::pair(4, 4));
  EXPECT_EQ(aligned(3, 2), std::pair(4, 4));
  EXPECT_EQ(aligned(-3, 2), std::pair(-2, 2)); // a hand-written negative amount
}

TEST(CropGuides, DottedOnTheLastRemovedLinesAndNowhereElse) {
  const RgbImage plain = Grey(720, 576, [](int, int) { return 100; });
  RgbImage p = plain;
  DrawCropGuides(p, 720, 576, {8, 8, 74, 74});
  int red = 0;
  for (int y = 0; y < 576; ++y)
    for (int x = 0; x < 720; ++x) {
      const std::uint8_t *px = p.at(x, y);
      if (px[0] == 255 && px[1] == 0 && px[2] == 0) {
        ++red;
        EXPECT_TRUE(((y == 73 || y == 502) && x % 4 == 0) || ((x == 7 || x == 712) && y % 4 == 0)) << x << ',' << y;
      }
    }
  EXPECT_EQ(red, 2 * 180 + 2 * 144);
  // Zero amounts, and amounts past the picture, draw nothing.
  for (const CropAmounts c : {CropAmounts{0, 0, 0, 0}, CropAmounts{721, -5, 577, 1000}}) {
    RgbImage q = plain;
    DrawCropGuides(q, 720, 576, c);
    EXPECT_TRUE(q == plain);
  }
}
