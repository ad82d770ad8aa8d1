#pragma once
// The engine's filters. Each factory checks its arguments against the child's
// properties and throws EngineError("FilterName: reason") when the graph is
// built; a filter that was built does not refuse a frame for those reasons.

#include <optional>
#include <string>
#include <vector>

#include "engine/clip.h"

namespace reelwork::engine::filters {

// --- sources -------------------------------------------------------------

struct BlankClipParams {
  int length = 240;
  int width = 640;
  int height = 480;
  PixelFormat format = PixelFormat::RGB32;
  int rateNum = 24;
  int rateDen = 1;
  unsigned color = 0x000000;           // 0xRRGGBB
  std::optional<unsigned> colorYuv;    // 0xYYUUVV, used for YUV formats when set
  FieldParity parity = FieldParity::Bottom;
  bool fieldBased = false;
};
ClipPtr MakeBlankClip(const BlankClipParams &p);

// SMPTE colour bars, 30000/1001 fps, one hour long.
ClipPtr MakeColorBars(int width, int height, PixelFormat format);

// --- geometry and field structure ---------------------------------------

// left/top from the top-left corner; width/height <= 0 count from the right
// and bottom edges.
ClipPtr MakeCrop(ClipPtr child, int left, int top, int width, int height);

enum class ResizeKernel { Bicubic, Bilinear, Lanczos, Spline36, Point, Lanczos4, Spline16, Spline64, Gauss };
struct ResizeParams {
  int width = 0;
  int height = 0;
  double b = 1.0 / 3.0, c = 1.0 / 3.0; // bicubic
  int taps = 3;                        // lanczos
  // Source window (src_left, src_top, src_width, src_height); width/height
  // <= 0 count from the right and bottom edges as in Crop.
  double srcLeft = 0, srcTop = 0, srcWidth = 0, srcHeight = 0;
};
ClipPtr MakeResize(ClipPtr child, ResizeKernel kernel, const ResizeParams &p, const std::string &name);

ClipPtr MakeAssumeParity(ClipPtr child, FieldParity parity);
ClipPtr MakeAssumeFieldBased(ClipPtr child, bool fieldBased);
ClipPtr MakeSeparateFields(ClipPtr child);
ClipPtr MakeWeave(ClipPtr child);
ClipPtr MakeBob(ClipPtr child);

// first/last as the script writes them: last 0 = to the end, negative last =
// a frame count. A start outside the clip is refused.
ClipPtr MakeTrim(ClipPtr child, int first, int last);
ClipPtr MakeSelectEvery(ClipPtr child, int every, int offset, const std::string &name);
ClipPtr MakeDecimate(ClipPtr child, int cycle);
// `drop` frames of every `cycle` removed (the most similar to their
// predecessors); count and rate scale by (cycle - drop) / cycle.
ClipPtr MakeDecimateCycle(ClipPtr child, int cycle, int drop, const std::string &name);
ClipPtr MakeReverse(ClipPtr child);
ClipPtr MakeFlipVertical(ClipPtr child);
ClipPtr MakeFlipHorizontal(ClipPtr child);
// Quarter turns: 1 clockwise (TurnRight), 2 a half turn, 3 counter-clockwise
// (TurnLeft). YUY2 and YV16 chroma is averaged in pairs on a quarter turn.
ClipPtr MakeTurn(ClipPtr child, int quarters, const std::string &name);
// Half the width or the height, each sample the (1,2,1)/4 mean of three.
ClipPtr MakeReduceBy2(ClipPtr child, bool horizontal, const std::string &name);
// Frames start..end (clamped to the clip) played `times` times; a negative
// count loops ten million times, the frame count capped at the int range.
ClipPtr MakeLoop(ClipPtr child, int times, int start, int end);
// Frame n weaves fields n and n+1 (a frame-based clip is split first).
ClipPtr MakeDoubleWeave(ClipPtr child);
ClipPtr MakeAssumeFps(ClipPtr child, int num, int den);
ClipPtr MakeChangeFps(ClipPtr child, int num, int den);
ClipPtr MakeSplice(ClipPtr a, ClipPtr b, const std::string &name);
// Pictures side by side (horizontal) or one above the other.
ClipPtr MakeStack(const std::vector<ClipPtr> &clips, bool horizontal, const std::string &name);
// Frame n removed, repeated once, or frames first..last all showing `source`.
ClipPtr MakeDeleteFrame(ClipPtr child, int n);
ClipPtr MakeDuplicateFrame(ClipPtr child, int n);
ClipPtr MakeFreezeFrame(ClipPtr child, int first, int last, int source);

// --- frames over time -------------------------------------------------------

// Frame n from clip n % N; the rate times N.
ClipPtr MakeInterleave(const std::vector<ClipPtr> &clips);
// `length` frames of every `every`, starting at frame `offset`.
ClipPtr MakeSelectRangeEvery(ClipPtr child, int every, int length, int offset);
// b follows a, its first `overlap` frames blended over a's last ones.
ClipPtr MakeDissolve(ClipPtr a, ClipPtr b, int overlap, const std::string &name);
// A new rate whose frames blend the two nearest source frames; zone >= 0
// (switching at a scan line) is for YUY2 only.
ClipPtr MakeConvertFps(ClipPtr child, int num, int den, int zone);

// --- text -------------------------------------------------------------------

struct SubtitleParams {
  std::string text;
  int x = 8, y = 0;          // the anchor the alignment refers to, in pixels
  int align = 7;             // numeric pad: 7 top left, 5 centre, 2 bottom centre...
  int firstFrame = 0, lastFrame = 0;
  double size = 18;          // text height in pixels, as a font size
  unsigned textColour = 0xFFFF00, haloColour = 0; // 0xAARRGGBB, AA 0 opaque
  int spacing = 0, lineSpacing = 0; // extra pixels between letters and lines
  bool multiline = false;    // "\n" in the text starts a new line
};
ClipPtr MakeSubtitle(ClipPtr child, const SubtitleParams &p);

// --- compositing ---------------------------------------------------------------

struct OverlayParams {
  int x = 0, y = 0;         // where the overlay's top-left corner goes
  double opacity = 1.0;
  std::string mode = "Blend"; // Blend, Add, Subtract, Multiply, Chroma, Luma, Lighten, Darken, ...
};
// The overlay (and the mask, whose luma is the overlay's weight) is converted
// to the base clip's format; the result has the base clip's geometry.
ClipPtr MakeOverlay(ClipPtr base, ClipPtr overlay, ClipPtr mask, const OverlayParams &p);

// --- colour ---------------------------------------------------------------

// interlaced: chroma of 4:2:0 is taken per field.
ClipPtr MakeConvert(ClipPtr child, PixelFormat target, bool interlaced, const std::string &name);
// Converts one frame; used by the conversion filter and by the RGB output.
Frame ConvertFrame(const Frame &src, PixelFormat target, bool interlaced);

ClipPtr MakeSharpen(ClipPtr child, double amountH, double amountV, bool blur, const std::string &name);

struct TweakParams {
  double hue = 0, sat = 1, bright = 0, cont = 1;
  bool coring = true;
};
ClipPtr MakeTweak(ClipPtr child, const TweakParams &p);

struct ColorYuvPlane {
  double gain = 0, off = 0, gamma = 0, cont = 0;
};
struct ColorYuvParams {
  ColorYuvPlane y, u, v;
  std::string levels; // "", "TV->PC", "PC->TV", "PC->TV.Y"
  bool coring = false;
};
ClipPtr MakeColorYuv(ClipPtr child, const ColorYuvParams &p);

struct RgbAdjustParams {
  double r = 1, g = 1, b = 1, a = 1;
  double rb = 0, gb = 0, bb = 0, ab = 0;
  double rg = 1, gg = 1, bg = 1, ag = 1;
};
ClipPtr MakeRgbAdjust(ClipPtr child, const RgbAdjustParams &p);

ClipPtr MakeGreyscale(ClipPtr child);

struct LevelsParams {
  int inLow = 0, inHigh = 255, outLow = 0, outHigh = 255;
  double gamma = 1.0;
  bool coring = true;
};
ClipPtr MakeLevels(ClipPtr child, const LevelsParams &p);

// Borders of the given colour (0xRRGGBB) around the picture.
ClipPtr MakeAddBorders(ClipPtr child, int left, int top, int right, int bottom, unsigned color);
// The other field comes first; SwapFields exchanges the two fields' rows.
ClipPtr MakeComplementParity(ClipPtr child);
ClipPtr MakeSwapFields(ClipPtr child);

} // namespace reelwork::engine::filters
