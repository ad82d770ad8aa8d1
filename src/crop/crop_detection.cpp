#include "crop/crop_detection.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace reelwork {

namespace {

// The part of the picture that can be read: at most width x height, and no
// more rows than the pixel buffer really holds.
void ReadableArea(const RgbImage &picture, int &width, int &height) {
  width = std::clamp(width, 0, std::max(picture.width, 0));
  height = std::clamp(height, 0, std::max(picture.height, 0));
  if (picture.width <= 0) {
    width = height = 0;
    return;
  }
  const size_t rowBytes = static_cast<size_t>(picture.width) * 3;
  height = static_cast<int>(std::min<size_t>(static_cast<size_t>(height), picture.pixels.size() / rowBytes));
  if (height == 0)
    width = 0;
}

bool Bright(int level) { return level > kDarkLevel; }

// The scan from one edge inwards over `levels` (index 0 is the edge line):
// the index of the line just inside the strongest step, or 0 when there is no
// step before the first two bright neighbours. Of equal steps the outermost
// wins.
int StrongestStep(const std::vector<int> &levels) {
  int greatest = 0;
  int edge = 0;
  for (size_t i = 0; i + 1 < levels.size(); ++i) {
    if (Bright(levels[i]) && Bright(levels[i + 1]))
      break;
    const int d = std::abs(levels[i] - levels[i + 1]);
    if (d > greatest) {
      greatest = d;
      edge = static_cast<int>(i) + 1;
    }
  }
  return edge;
}

} // namespace

int RowLevel(const RgbImage &picture, int y, int width) {
  if (width <= 0)
    return 0;
  long long sum = 0;
  const std::uint8_t *p = picture.at(0, y);
  for (int i = 0; i < width * 3; ++i)
    sum += p[i];
  return static_cast<int>(sum / (3LL * width));
}

int ColumnLevel(const RgbImage &picture, int x, int height) {
  if (height <= 0)
    return 0;
  long long sum = 0;
  for (int y = 0; y < height; ++y) {
    const std::uint8_t *p = picture.at(x, y);
    sum += p[0] + p[1] + p[2];
  }
  return static_cast<int>(sum / (3LL * height));
}

void FindCroping(const RgbImage &picture, int width, int height, int &X1, int &X2, int &Y1, int &Y2) {
  int W = width, H = height;
  ReadableArea(picture, W, H);
  if (W <= 0 || H <= 0) {
    X1 = X2 = Y1 = Y2 = 0;
    return;
  }
  // Each side collects the levels of its own lines, from the edge inwards:
  // rows 0..H div 2 and H-1 down to H - H div 2, columns 0..W div 4 and W-1
  // down to W - W div 4.
  std::vector<int> levels;

  levels.clear();
  for (int y = 0; y <= H / 2; ++y)
    levels.push_back(RowLevel(picture, y, W));
  int t = StrongestStep(levels);
  if (t % 2 == 0)
    ++t;
  Y1 = t + 1;

  levels.clear();
  for (int y = H - 1; y >= H - H / 2; --y)
    levels.push_back(RowLevel(picture, y, W));
  int b = H - 1 - StrongestStep(levels);
  if (b % 2 != 0)
    --b;
  Y2 = H - b;

  levels.clear();
  for (int x = 0; x <= W / 4; ++x)
    levels.push_back(ColumnLevel(picture, x, H));
  int l = StrongestStep(levels);
  if (l % 2 == 0)
    ++l;
  X1 = l + 1;

  levels.clear();
  for (int x = W - 1; x >= W - W / 4; --x)
    levels.push_back(ColumnLevel(picture, x, H));
  int r = W - 1 - StrongestStep(levels);
  if (r % 2 != 0)
    --r;
  X2 = W - r;
}

CropAmounts FindCroping(const RgbImage &picture, int width, int height) {
  CropAmounts c;
  FindCroping(picture, width, height, c.X1, c.X2, c.Y1, c.Y2);
  return c;
}

int CropBalanceFromSetting(std::string_view text) {
  if (text == "-4")
    return -4;
  if (text == "-2")
    return -2;
  if (text == "+2" || text == "2")
    return 2;
  if (text == "+4" || text == "4")
    return 4;
  return 0;
}

void CropBalance(int &amount, int balance) {
  if (amount > 3)
    amount += balance;
}

CropAmounts DetectCrop(const RgbImage &picture, int width, int height, int balance) {
  CropAmounts c = FindCroping(picture, width, height);
  CropBalance(c.X1, balance);
  CropBalance(c.X2, balance);
  CropBalance(c.Y1, balance);
  CropBalance(c.Y2, balance);
  return c;
}

bool NeedsAlignToFour(int X1, int X2) { return (static_cast<long long>(X1) + X2) % 4 != 0; }

void AlignCropToFour(int &X1, int &X2) {
  // Increments of X1 and X2 by the remainders of X1 (row) and X2 (column).
  // Cells whose sum is already a multiple of 4 add nothing.
  struct Step {
    int x1, x2;
  };
  static constexpr Step kSteps[4][4] = {
      {{0, 0}, {2, 1}, {0, 2}, {0, 1}},
      {{1, 2}, {1, 1}, {1, 0}, {0, 0}},
      {{2, 0}, {0, 1}, {0, 0}, {2, 1}},
      {{1, 0}, {0, 0}, {1, 2}, {1, 1}},
  };
  // Remainders taken in 0..3 also for negative amounts (read from a
  // hand-written Crop line), so the table is never indexed out of range.
  const int a = ((X1 % 4) + 4) % 4;
  const int b = ((X2 % 4) + 4) % 4;
  X1 += kSteps[a][b].x1;
  X2 += kSteps[a][b].x2;
}

void DrawCropGuides(RgbImage &picture, int width, int height, const CropAmounts &crop) {
  int W = width, H = height;
  ReadableArea(picture, W, H);
  auto paint = [&](int x, int y) {
    std::uint8_t *p = picture.at(x, y);
    p[0] = 255;
    p[1] = 0;
    p[2] = 0;
  };
  // Rows and columns as measured on the width x height frame; a line off the
  // readable area draws nothing.
  for (const long long row : {static_cast<long long>(crop.Y1) - 1, static_cast<long long>(height) - crop.Y2})
    if (row >= 0 && row < H)
      for (int x = 0; x < W; x += 4)
        paint(x, static_cast<int>(row));
  for (const long long column : {static_cast<long long>(crop.X1) - 1, static_cast<long long>(width) - crop.X2})
    if (column >= 0 && column < W)
      for (int y = 0; y < H; y += 4)
        paint(static_cast<int>(column), y);
}

} // namespace reelwork
