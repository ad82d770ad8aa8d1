#pragma once
// What the preview shows besides the picture: the frame and time counters,
// and the brightness sample that the searches read.

#include <QString>
#include <QStringList>
#include <random>

#include "common/rgb_image.h"
#include "engine/video.h"

namespace reelwork {

// The decimal digits of `value`, filled on the left with `fill` to `width`.
QString PadNumber(long long value, int width, QChar fill);

// The counters' two lines for frame n: "F = 001 234" and "T = 000 m 49 s".
QString FrameCounterLine(int n);
QString TimeCounterLine(int n, float frameRate);

// The mean channel value (0..255) of 100 random pixels of `picture` within
// width x height (clamped to the picture), in integer division.
int AverageBrightness(const RgbImage &picture, int width, int height, std::mt19937 &random);

// The line under the preview that says what the picture leaves out, e.g.
// "Not previewed: MipSmooth, Blurr", in the window's language; damaged
// ranges in the window's frame numbers (from 1). Empty when nothing is left out.
QString PreviewNotesLine(const engine::PreviewNotes &notes, int language);

// The text drawn in the preview in place of a frame when the script cannot
// be shown: message 1, then where (the script and, for a script error, its
// line) and the reason.
QStringList FailureLines(const QString &scriptName, const QString &reason, int language);

} // namespace reelwork
