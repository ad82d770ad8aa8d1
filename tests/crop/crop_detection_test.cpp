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
    for (int x = 0; x < w; ++x) {
      std::uint8_t *px = p.at(x, y);
      px[0] = px[1] = px[2] = static_cast<std::uint8_t>(grey(x, y));
    }
  return p;
}

// Rows of level 16 at the top and bottom around picture rows of level 100.
RgbImage Letterbox(int w, int h, int top, int bottom) {
  return Grey(w, h, [=](int, int y) { return y < top || y >= h - bottom ? 16 : 100; });
}

bool Red(const RgbImage &p, int x, int y) {
  const std::uint8_t *px = p.at(x, y);
  return px[0] == 255 && px[1] == 0 && px[2] == 0;
}

} // namespace

TEST(CropDetection, UniformPictureGivesTheStartingPositions) {
  const RgbImage bright = Grey(720, 576, [](int, int) { return 200; });
  for (int balance : {-4, 0, 4})
    EXPECT_EQ(DetectCrop(bright, 720, 576, balance), (CropAmounts{2, 2, 2, 2})) << balance;
  // Odd sizes: the bottom and right start one line from the edge.
  EXPECT_EQ(FindCroping(Grey(719, 575, [](int, int) { return 200; }), 719, 575), (CropAmounts{2, 1, 2, 1}));
}

TEST(CropDetection, LetterboxBarsGiveTheLeastEvenAmountAboveTheBand) {
  EXPECT_EQ(FindCroping(Letterbox(720, 576, 72, 72), 720, 576), (CropAmounts{2, 2, 74, 74}));
  EXPECT_EQ(FindCroping(Letterbox(720, 576, 73, 72), 720, 576), (CropAmounts{2, 2, 74, 74}));
  EXPECT_EQ(FindCroping(Letterbox(720, 576, 72, 73), 720, 576).Y2, 74);
  // Pillar bars at the sides, an even and an odd band.
  const RgbImage pillars = Grey(720, 576, [](int x, int) { return x < 10 || x >= 720 - 11 ? 0 : 150; });
  EXPECT_EQ(FindCroping(pillars, 720, 576), (CropAmounts{12, 12, 2, 2}));
}

TEST(CropDetection, BalanceMovesOnlyAmountsAboveThree) {
  const RgbImage frame = Letterbox(720, 576, 72, 72);
  EXPECT_EQ(DetectCrop(frame, 720, 576, CropBalanceFromSetting("+4")), (CropAmounts{2, 2, 78, 78}));
  EXPECT_EQ(DetectCrop(frame, 720, 576, CropBalanceFromSetting("-4")), (CropAmounts{2, 2, 70, 70}));
  EXPECT_EQ(DetectCrop(frame, 720, 576, CropBalanceFromSetting("3")), (CropAmounts{2, 2, 74, 74}));

  const std::pair<const char *, int> texts[] = {{"-4", -4}, {"-2", -2}, {"0", 0},  {"2", 2},   {"+2", 2},
                                                {"4", 4},   {"+4", 4},  {" 4", 0}, {"4 ", 0}, {"", 0}};
  for (const auto &[text, balance] : texts)
    EXPECT_EQ(CropBalanceFromSetting(text), balance) << '"' << text << '"';
  int three = 3, four = 4;
  CropBalance(three, -4);
  CropBalance(four, -4);
  EXPECT_EQ(three, 3);
  EXPECT_EQ(four, 0);
}

TEST(CropDetection, OnlyTwoNeighboursAboveLevel32StopTheScan) {
  // Rows alternating 33 and 32 never make a bright pair; the band of black
  // below them and the step to the picture at row 30 still count.
  const RgbImage frame = Grey(720, 576, [](int, int y) { return y < 20 ? (y % 2 ? 32 : 33) : y < 30 ? 0 : 150; });
  EXPECT_EQ(FindCroping(frame, 720, 576).Y1, 32);
  // Rows of exactly 32 are dark: the border is found under them.
  const RgbImage flat32 = Grey(720, 576, [](int, int y) { return y < 10 ? 32 : 200; });
  EXPECT_EQ(FindCroping(flat32, 720, 576).Y1, 12);
}

TEST(CropDetection, OfEqualStepsTheOuterOneWins) {
  // 0 -> 20 -> 40: two steps of 20, at 10 lines from each edge and at 20.
  const RgbImage rows = Grey(720, 576, [](int, int y) {
    const int d = std::min(y, 575 - y);
    return d < 10 ? 0 : d < 20 ? 20 : 40;
  });
  const CropAmounts c = FindCroping(rows, 720, 576);
  EXPECT_EQ(c.Y1, 12);
  EXPECT_EQ(c.Y2, 12);
  const RgbImage columns = Grey(720, 576, [](int x, int) {
    const int d = std::min(x, 719 - x);
    return d < 10 ? 0 : d < 20 ? 20 : 40;
  });
  const CropAmounts k = FindCroping(columns, 720, 576);
  EXPECT_EQ(k.X1, 12);
  EXPECT_EQ(k.X2, 12);
}

TEST(CropDetection, AnySizeIsMeasuredWithinItsBuffer) {
  // Larger than 1024 lines in both directions.
  const RgbImage hd = Grey(1920, 1088, [](int x, int y) { return y < 140 || y >= 1088 - 140 || x < 240 ? 0 : 180; });
  EXPECT_EQ(FindCroping(hd, 1920, 1088), (CropAmounts{242, 2, 142, 142}));
  // A picture smaller than the figures it comes with is measured as it is.
  const RgbImage small = Letterbox(64, 48, 6, 6);
  EXPECT_EQ(FindCroping(small, 720, 576), (CropAmounts{2, 2, 8, 8}));
  EXPECT_EQ(FindCroping(RgbImage{}, 720, 576), (CropAmounts{}));
  RgbImage lying; // says 720 x 576 but holds ten rows
  lying.resize(720, 10);
  lying.height = 576;
  EXPECT_NO_FATAL_FAILURE(FindCroping(lying, 720, 576));
  EXPECT_EQ(FindCroping(Grey(1, 1, [](int, int) { return 0; }), 1, 1), (CropAmounts{2, 1, 2, 1}));
}

TEST(CropAlignment, SumBecomesAMultipleOfFourWithoutShrinking) {
  for (int a = 0; a < 4; ++a)
    for (int b = 0; b < 4; ++b) {
      int x1 = 8 + a, x2 = 12 + b;
      const bool needed = NeedsAlignToFour(x1, x2);
      AlignCropToFour(x1, x2);
      EXPECT_EQ((x1 + x2) % 4, 0) << a << ',' << b;
      EXPECT_GE(x1, 8 + a);
      EXPECT_GE(x2, 12 + b);
      EXPECT_EQ(needed, x1 + x2 != 20 + a + b) << a << ',' << b; // aligned pairs are left alone
    }
  auto aligned = [](int x1, int x2) {
    AlignCropToFour(x1, x2);
    return std::pair{x1, x2};
  };
  EXPECT_EQ(aligned(2, 4), std::pair(4, 4));
  EXPECT_EQ(aligned(8, 6), std::pair(8, 8));
  EXPECT_EQ(aligned(0, 1), std::pair(2, 2));
  EXPECT_EQ(aligned(2, 3), std::pair(4, 4));
  EXPECT_EQ(aligned(3, 2), std::pair(4, 4));
  EXPECT_EQ(aligned(1, 0), std::pair(2, 2));
  // Negative amounts (a hand-written Crop line) still end aligned.
  EXPECT_EQ((aligned(-3, 2).first + aligned(-3, 2).second) % 4, 0);
}

TEST(CropGuides, DottedOnTheLastRemovedLines) {
  RgbImage p = Grey(720, 576, [](int, int) { return 100; });
  DrawCropGuides(p, 720, 576, {8, 8, 74, 74});
  for (int row : {73, 502}) {
    EXPECT_TRUE(Red(p, 0, row));
    EXPECT_TRUE(Red(p, 716, row));
    EXPECT_FALSE(Red(p, 2, row));
    EXPECT_FALSE(Red(p, 0, row + 1));
  }
  for (int column : {7, 712}) {
    EXPECT_TRUE(Red(p, column, 0));
    EXPECT_TRUE(Red(p, column, 572));
    EXPECT_FALSE(Red(p, column, 1));
    EXPECT_FALSE(Red(p, column + 1, 0));
  }
  int red = 0;
  for (int y = 0; y < 576; ++y)
    for (int x = 0; x < 720; ++x)
      red += Red(p, x, y);
  EXPECT_EQ(red, 2 * 180 + 2 * 144); // the lines cross between their dots

  // Zero amounts, and amounts past the picture, draw nothing.
  const RgbImage plain = Grey(64, 48, [](int, int) { return 100; });
  for (const CropAmounts c : {CropAmounts{0, 0, 0, 0}, CropAmounts{65, -5, 49, 1000}}) {
    RgbImage q = plain;
    DrawCropGuides(q, 64, 48, c);
    EXPECT_EQ(q, plain);
  }
}
