#pragma once
// Finding the black borders of a frame and turning them into crop amounts:
// the four amounts, the user's balance, and the four-multiple rule for the
// horizontal amounts. Plain functions over a picture; no widgets, no state.

#include <string_view>

#include "common/rgb_image.h"

namespace reelwork {

// The four amounts to cut away, in pixels: X1 left, X2 right, Y1 top, Y2 bottom.
struct CropAmounts {
  int X1 = 0;
  int X2 = 0;
  int Y1 = 0;
  int Y2 = 0;
  bool operator==(const CropAmounts &) const = default;
};

// A line (row or column) whose level is above this is bright; 32 is dark.
inline constexpr int kDarkLevel = 32;

// The level of a row or a column: the sum of red + green + blue over the line
// divided by three times its pixel count, the remainder dropped.
int RowLevel(const RgbImage &picture, int y, int width);
int ColumnLevel(const RgbImage &picture, int x, int height);

// Measures the borders of the top-left width x height area of `picture`
// (clamped to the picture's own size). Rows are searched in the upper and
// lower half, columns in the left and right quarter; each border ends at the
// strongest change of level between neighbouring lines found before the
// first pair of bright neighbours, and each amount reaches one line past it
// and is made even. A picture without a border gives 2 on every side; an
// empty area gives 0 everywhere.
void FindCroping(const RgbImage &picture, int width, int height, int &X1, int &X2, int &Y1, int &Y2);
CropAmounts FindCroping(const RgbImage &picture, int width, int height);

// The balance the user keeps in the auto-crop balance setting: exactly "-4",
// "-2", "0", "2"/"+2", "4"/"+4"; any other text gives 0.
int CropBalanceFromSetting(std::string_view text);

// Adds `balance` to an amount of 4 or more; smaller amounts stay as they are.
void CropBalance(int &amount, int balance);

// Detection followed by the balance on all four amounts.
CropAmounts DetectCrop(const RgbImage &picture, int width, int height, int balance);

// True when X1 + X2 is not a multiple of 4.
bool NeedsAlignToFour(int X1, int X2);

// Raises X1 and X2 (never lowers them) so that their sum is a multiple of 4;
// for two even amounts the one that is 2 more than a multiple of 4 grows by 2.
// A sum already a multiple of 4 is left alone.
void AlignCropToFour(int &X1, int &X2);

// Draws the dotted red guides of a crop over a width x height picture: every
// fourth pixel of row Y1 - 1, row height - Y2, column X1 - 1 and column
// width - X2, i.e. the last lines the crop removes. Lines outside the picture
// (an amount of 0, or one larger than the picture) draw nothing.
void DrawCropGuides(RgbImage &picture, int width, int height, const CropAmounts &crop);

} // namespace reelwork
