#pragma once
// The arithmetic of the resize dialogs: the ideal output height for a width,
// its snapping to the allowed heights, the bits-per-pixel estimate, the
// automatic width, and the ratio and error that the dialogs display.
//
// Every stored intermediate value is a 32-bit float, as the results depend on
// it at the midpoints between two allowed heights (608 wide, 4:3 PAL: 448 here,
// 464 with the manual dialog's slightly smaller 4:3 value).

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <array>
#include <functional>
#include <optional>

namespace reelwork::resize {

// The allowed output heights, searched largest first.
inline constexpr std::array<int, 22> kHeightSteps = {528, 512, 496, 480, 464, 448, 432, 416, 400, 384, 368,
                                                     352, 336, 320, 304, 288, 272, 256, 240, 224, 208, 192};
// The only starting widths that the width setting may choose.
inline constexpr std::array<int, 6> kAutoWidths = {704, 672, 640, 608, 576, 544};

inline constexpr int kDefaultWidth = 640;
inline constexpr float kDefaultQuality = 0.225f;
inline constexpr int kWidthStep = 32;

// Stored frame size of a DVD source: 0 PAL 720 x 576, 1 NTSC 720 x 480.
struct SourceSize {
  int width;
  int height;
};
SourceSize SourceSizeOf(int sourceType);

// The input aspect items "1.33", "1.66", "1.77", "1.85", "2.35", "User";
// the last is 0, meaning the user's own aspect.
float AspectValueOf(int item);

struct CropAmounts {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

// The height that keeps the cropped picture's display proportions for output
// width x: a stored w x h frame shown at aspect `aspect`, cropped by `crop`.
// None when the figures leave it undefined (an aspect, width or cropped width
// of 0, or a result that is not finite).
std::optional<float> SourceIdealHeight(int x, int w, int h, float aspect, const CropAmounts &crop);

// The height that gives output width x the proportion xPart : yPart.
// None when xPart is 0 or the result is not finite.
std::optional<float> ProportionIdealHeight(int x, double xPart, double yPart);

// The allowed height nearest to v (at a midpoint the larger one). A value
// 1000 or more away from every height gives the nearer end of the table.
int NearestHeight(float v);

// Bits per pixel per frame of an x by y encode of the whole video to 1400 MB
// beside 448 kbit/s sound. None when the video is shorter than half a second,
// the rate is not positive, or the size is empty.
std::optional<float> FrameQuality(int x, int y, int frameCount, float frameRate);

// The ideal height for a width, as one dialog computes it.
using IdealFn = std::function<std::optional<float>(int)>;

// The starting width from the width setting (one of kAutoWidths, else 640)
// and the quality threshold from the quality setting (0.15 to 0.35, else 0.225).
int StartWidth(const QString &resizeWidthSetting);
float QualityThreshold(const QString &goodQualitySetting);

struct AutoSize {
  int width = kDefaultWidth;
  std::optional<int> height; // none when the ideal height is undefined
};

// The automatic size: the starting width, lowered by 32 at most twice while
// the quality at the snapped height stays below the threshold.
AutoSize ChooseAutoWidth(const IdealFn &ideal, const QString &resizeWidthSetting,
                         const QString &goodQualitySetting, int frameCount, float frameRate);

// The snapped ideal height for width x; none when it is undefined.
std::optional<int> CalcHeight(const IdealFn &ideal, int x);

// Numbers as the dialogs show them: the general format with up to 15
// significant digits of the 32-bit value, exponent form below 0.00001.
QString FormatGeneral(float value);

// What the ratio and error fields show for x by y. The error is in percent
// of the ideal height; red above 2. An undefined value shows "-".
struct RatioDisplay {
  QString ratio;
  QString error;
  bool red = false;
};
RatioDisplay RatioFor(int x, int y, std::optional<float> ideal);

// Where a window of `window` size goes on a `screen` of that size: centred,
// or at 5 along an axis where it does not fit.
QPoint FittedWindowPosition(QSize screen, QSize window);
// The same within `area`, the part of the screen that windows may take; a
// window exactly as large as the area fills it.
QPoint FittedWindowPosition(QRect area, QSize window);

// The size of the area that shows the preview picture: the picture itself
// when it fits `room` (the screen space left for it beside the rest of the
// window), or else as much of it as fits, with room for the scroll bars it
// then needs.
QSize PreviewViewport(QSize picture, QSize room, int scrollBarExtent);

// The manual dialog's fixed source: 720 wide, 576 high for "PAL" or a
// 576-line header, else 480; aspect 1.33333 for code 2, else 1.85.
struct ManualSource {
  int width;
  int height;
  float aspect;
};
ManualSource ManualSourceOf(const QString &tvSystem, int sourceHeight, int aspectCode);

// The exact dialog's starting Y part: 576 for "PAL" or a 576-line header.
int StoredHeightOf(const QString &tvSystem, int sourceHeight);

// Conversions of field texts, always with the point as decimal separator.
// Integers: optional spaces and sign, digits, within 32 bits.
bool TextToInt(const QString &text, int &value);
// Decimal numbers: spaces around, sign, digits with a point, exponent.
bool TextToFloat(const QString &text, double &value);

// The conversion messages: "'%s' is not a valid integer value" and
// "'%s' is not a valid floating point value".
QString NotIntegerMessage(const QString &text);
QString NotFloatMessage(const QString &text);

} // namespace reelwork::resize
