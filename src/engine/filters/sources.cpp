// Synthetic sources: a clip of one colour and SMPTE colour bars. Both hold one
// finished frame and hand it out for every frame number.

#include <algorithm>
#include <cmath>
#include <mutex>

#include "engine/filters/filter_base.h"
#include "engine/filters/filters.h"
#include "engine/filters/frame_ops.h"

namespace reelwork::engine::filters {

const char *FormatName(PixelFormat f) {
  switch (f) {
  case PixelFormat::YV12:
    return "YV12";
  case PixelFormat::YUY2:
    return "YUY2";
  case PixelFormat::RGB24:
    return "RGB24";
  case PixelFormat::RGB32:
    return "RGB32";
  case PixelFormat::YV24:
    return "YV24";
  case PixelFormat::YV16:
    return "YV16";
  case PixelFormat::Y8:
    return "Y8";
  }
  return "?";
}

namespace {

void FillRect(Frame &f, int x0, int y0, int x1, int y1, unsigned rgb, unsigned yuv);

class StillClip : public Clip {
public:
  StillClip(const ClipInfo &vi, FramePtr f) : vi_(vi), frame_(std::move(f)) {}
  const ClipInfo &info() const override { return vi_; }
  FramePtr frame(int) override { return frame_; }

private:
  ClipInfo vi_;
  FramePtr frame_;
};

// One colour; the frame is made on first use, so that building a graph
// never allocates pictures.
class BlankClip : public Clip {
public:
  BlankClip(const ClipInfo &vi, unsigned rgb, unsigned yuv) : vi_(vi), rgb_(rgb), yuv_(yuv) {}
  const ClipInfo &info() const override { return vi_; }
  FramePtr frame(int) override {
    std::call_once(once_, [this] {
      auto f = std::make_shared<Frame>();
      f->allocate(vi_.format, vi_.width, vi_.height);
      FillRect(*f, 0, 0, vi_.width, vi_.height, rgb_, yuv_);
      frame_ = f;
    });
    return frame_;
  }

private:
  ClipInfo vi_;
  unsigned rgb_, yuv_;
  std::once_flag once_;
  FramePtr frame_;
};

std::uint8_t Clamp8(double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

} // namespace

unsigned RgbToYuv(unsigned rgb) {
  const double r = (rgb >> 16) & 255, g = (rgb >> 8) & 255, b = rgb & 255;
  const unsigned y = Clamp8(0.257 * r + 0.504 * g + 0.098 * b + 16);
  const unsigned u = Clamp8(-0.148 * r - 0.291 * g + 0.439 * b + 128);
  const unsigned v = Clamp8(0.439 * r - 0.368 * g - 0.071 * b + 128);
  return (y << 16) | (u << 8) | v;
}

namespace {

void FillRect(Frame &f, int x0, int y0, int x1, int y1, unsigned rgb, unsigned yuv) {
  const std::uint8_t r = (rgb >> 16) & 255, g = (rgb >> 8) & 255, b = rgb & 255;
  const std::uint8_t Y = (yuv >> 16) & 255, U = (yuv >> 8) & 255, V = yuv & 255;
  switch (f.format) {
  case PixelFormat::RGB24:
  case PixelFormat::RGB32: {
    const int bpp = f.format == PixelFormat::RGB24 ? 3 : 4;
    for (int y = y0; y < y1; ++y) {
      std::uint8_t *p = f.row(0, y) + x0 * bpp;
      for (int x = x0; x < x1; ++x, p += bpp) {
        p[0] = b;
        p[1] = g;
        p[2] = r;
        if (bpp == 4)
          p[3] = 255;
      }
    }
    break;
  }
  case PixelFormat::YUY2:
    for (int y = y0; y < y1; ++y) {
      std::uint8_t *p = f.row(0, y);
      for (int x = x0; x < x1; ++x) {
        p[x * 2] = Y;
        p[x * 2 + 1] = (x & 1) ? V : U;
      }
    }
    break;
  case PixelFormat::YV12:
  case PixelFormat::YV16:
  case PixelFormat::YV24:
  case PixelFormat::Y8: {
    for (int y = y0; y < y1; ++y)
      std::fill(f.row(0, y) + x0, f.row(0, y) + x1, Y);
    if (f.format == PixelFormat::Y8)
      break;
    const int sx = ChromaShiftX(f.format), sy = ChromaShiftY(f.format);
    const int cx0 = x0 >> sx, cx1 = (x1 + (1 << sx) - 1) >> sx;
    for (int y = y0 >> sy; y < (y1 + (1 << sy) - 1) >> sy; ++y) {
      std::fill(f.row(1, y) + cx0, f.row(1, y) + cx1, U);
      std::fill(f.row(2, y) + cx0, f.row(2, y) + cx1, V);
    }
    break;
  }
  }
}

void CheckSize(const char *name, PixelFormat format, int width, int height) {
  if (width <= 0 || height <= 0)
    throw EngineError(std::string(name) + ": width and height must be greater than 0");
  if (SizeTooLarge(width, height))
    throw EngineError(std::string(name) + ": the size " + std::to_string(width) + "x" + std::to_string(height) +
                      " is too large");
  if (width % WidthMultiple(format))
    throw EngineError(std::string(name) + ": " + FormatName(format) + " width must be even");
  if (height % HeightMultiple(format))
    throw EngineError(std::string(name) + ": " + FormatName(format) + " height must be even");
}

} // namespace

ClipPtr MakeBlankClip(const BlankClipParams &p) {
  CheckSize("BlankClip", p.format, p.width, p.height);
  if (p.length < 0)
    throw EngineError("BlankClip: length must not be negative");
  if (p.rateNum <= 0 || p.rateDen <= 0)
    throw EngineError("BlankClip: the frame rate must be greater than 0");
  ClipInfo vi;
  vi.width = p.width;
  vi.height = p.height;
  vi.frameCount = p.length;
  vi.rateNum = p.rateNum;
  vi.rateDen = p.rateDen;
  ScaleRate(vi, 1, 1);
  vi.format = p.format;
  vi.parity = p.parity;
  vi.fieldBased = p.fieldBased;
  const unsigned yuv = p.colorYuv ? *p.colorYuv : RgbToYuv(p.color);
  return std::make_shared<BlankClip>(vi, p.color, yuv);
}

ClipPtr MakeColorBars(int width, int height, PixelFormat format) {
  CheckSize("ColorBars", format, width, height);
  Frame rgb;
  rgb.allocate(PixelFormat::RGB32, width, height);
  const int top = height * 2 / 3;
  const int mid = height * 3 / 4;
  static const unsigned bars[7] = {0xc0c0c0, 0xc0c000, 0x00c0c0, 0x00c000, 0xc000c0, 0xc00000, 0x0000c0};
  static const unsigned back[7] = {0x0000c0, 0x131313, 0xc000c0, 0x131313, 0x00c0c0, 0x131313, 0xc0c0c0};
  for (int i = 0; i < 7; ++i) {
    const int x0 = width * i / 7, x1 = width * (i + 1) / 7;
    FillRect(rgb, x0, 0, x1, top, bars[i], 0);
    FillRect(rgb, x0, top, x1, mid, back[i], 0);
  }
  // -I, white, +Q, black, then the pluge steps below black, at black, above black.
  static const unsigned low[7] = {0x00214c, 0xffffff, 0x32006a, 0x131313, 0x090909, 0x131313, 0x1d1d1d};
  const int xs[8] = {0, width * 5 / 28, width * 10 / 28, width * 15 / 28, width * 20 / 28,
                     width * 20 / 28 + width / 21, width * 20 / 28 + 2 * width / 21, width};
  for (int i = 0; i < 7; ++i) {
    FillRect(rgb, xs[i], mid, xs[i + 1], height, low[i], 0);
  }
  FillRect(rgb, xs[6], mid, width, height, 0x131313, 0);
  FillRect(rgb, xs[5], mid, xs[6], height, 0x1d1d1d, 0);
  ClipInfo vi;
  vi.width = width;
  vi.height = height;
  vi.frameCount = 107892;
  vi.rateNum = 30000;
  vi.rateDen = 1001;
  vi.format = format;
  auto f = std::make_shared<Frame>(format == PixelFormat::RGB32 ? rgb : ConvertFrame(rgb, format, false));
  return std::make_shared<StillClip>(vi, f);
}

} // namespace reelwork::engine::filters
