#pragma once
// What the preview shows besides the picture: the frame and time counters,
// and the brightness sample that the searches read.

#include <QString>
#include <random>

#include "common/rgb_image.h"

namespace reelwork {

// The decimal digits of `value`, filled on the left with `fill` to `width`.
QString PadNumber(long long value, int width, QChar fill);

// The counters' two lines for frame n: "F = 001 234" and "T = 000 m 49 s".
QString FrameCounterLine(int n);
QString TimeCounterLine(int n, float frameRate);

// The mean channel value (0..255) of 100 random pixels of `picture` within
// width x height (clamped to the picture), in integer division.
int AverageBrightness(const RgbImage &picture, int width, int height, std::mt19937 &random);

} // namespace reelwork
