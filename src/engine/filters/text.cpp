// Subtitle: text drawn over the picture in a built-in 5x7 bitmap font, scaled
// to the size asked for, with a halo, placed as the script language places
// it (numeric-pad alignment, x = -1 centres).

#include <algorithm>
#include <cmath>

#include "engine/filters/filter_base.h"
#include "engine/filters/filters.h"
#include "engine/filters/frame_ops.h"

namespace reelwork::engine::filters {

namespace {

// ASCII 32..126, five columns each, bit 0 the top row.
constexpr std::uint8_t kFont[95][5] = {
    {0x00, 0x00, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x5F, 0x00, 0x00}, {0x00, 0x07, 0x00, 0x07, 0x00},
    {0x14, 0x7F, 0x14, 0x7F, 0x14}, {0x24, 0x2A, 0x7F, 0x2A, 0x12}, {0x23, 0x13, 0x08, 0x64, 0x62},
    {0x36, 0x49, 0x55, 0x22, 0x50}, {0x00, 0x05, 0x03, 0x00, 0x00}, {0x00, 0x1C, 0x22, 0x41, 0x00},
    {0x00, 0x41, 0x22, 0x1C, 0x00}, {0x14, 0x08, 0x3E, 0x08, 0x14}, {0x08, 0x08, 0x3E, 0x08, 0x08},
    {0x00, 0x50, 0x30, 0x00, 0x00}, {0x08, 0x08, 0x08, 0x08, 0x08}, {0x00, 0x60, 0x60, 0x00, 0x00},
    {0x20, 0x10, 0x08, 0x04, 0x02}, {0x3E, 0x51, 0x49, 0x45, 0x3E}, {0x00, 0x42, 0x7F, 0x40, 0x00},
    {0x42, 0x61, 0x51, 0x49, 0x46}, {0x21, 0x41, 0x45, 0x4B, 0x31}, {0x18, 0x14, 0x12, 0x7F, 0x10},
    {0x27, 0x45, 0x45, 0x45, 0x39}, {0x3C, 0x4A, 0x49, 0x49, 0x30}, {0x01, 0x71, 0x09, 0x05, 0x03},
    {0x36, 0x49, 0x49, 0x49, 0x36}, {0x06, 0x49, 0x49, 0x29, 0x1E}, {0x00, 0x36, 0x36, 0x00, 0x00},
    {0x00, 0x56, 0x36, 0x00, 0x00}, {0x08, 0x14, 0x22, 0x41, 0x00}, {0x14, 0x14, 0x14, 0x14, 0x14},
    {0x00, 0x41, 0x22, 0x14, 0x08}, {0x02, 0x01, 0x51, 0x09, 0x06}, {0x32, 0x49, 0x79, 0x41, 0x3E},
    {0x7E, 0x11, 0x11, 0x11, 0x7E}, {0x7F, 0x49, 0x49, 0x49, 0x36}, {0x3E, 0x41, 0x41, 0x41, 0x22},
    {0x7F, 0x41, 0x41, 0x22, 0x1C}, {0x7F, 0x49, 0x49, 0x49, 0x41}, {0x7F, 0x09, 0x09, 0x01, 0x01},
    {0x3E, 0x41, 0x41, 0x51, 0x32}, {0x7F, 0x08, 0x08, 0x08, 0x7F}, {0x00, 0x41, 0x7F, 0x41, 0x00},
    {0x20, 0x40, 0x41, 0x3F, 0x01}, {0x7F, 0x08, 0x14, 0x22, 0x41}, {0x7F, 0x40, 0x40, 0x40, 0x40},
    {0x7F, 0x02, 0x04, 0x02, 0x7F}, {0x7F, 0x04, 0x08, 0x10, 0x7F}, {0x3E, 0x41, 0x41, 0x41, 0x3E},
    {0x7F, 0x09, 0x09, 0x09, 0x06}, {0x3E, 0x41, 0x51, 0x21, 0x5E}, {0x7F, 0x09, 0x19, 0x29, 0x46},
    {0x46, 0x49, 0x49, 0x49, 0x31}, {0x01, 0x01, 0x7F, 0x01, 0x01}, {0x3F, 0x40, 0x40, 0x40, 0x3F},
    {0x1F, 0x20, 0x40, 0x20, 0x1F}, {0x7F, 0x20, 0x18, 0x20, 0x7F}, {0x63, 0x14, 0x08, 0x14, 0x63},
    {0x03, 0x04, 0x78, 0x04, 0x03}, {0x61, 0x51, 0x49, 0x45, 0x43}, {0x00, 0x7F, 0x41, 0x41, 0x00},
    {0x02, 0x04, 0x08, 0x10, 0x20}, {0x00, 0x41, 0x41, 0x7F, 0x00}, {0x04, 0x02, 0x01, 0x02, 0x04},
    {0x40, 0x40, 0x40, 0x40, 0x40}, {0x00, 0x01, 0x02, 0x04, 0x00}, {0x20, 0x54, 0x54, 0x54, 0x78},
    {0x7F, 0x48, 0x44, 0x44, 0x38}, {0x38, 0x44, 0x44, 0x44, 0x20}, {0x38, 0x44, 0x44, 0x48, 0x7F},
    {0x38, 0x54, 0x54, 0x54, 0x18}, {0x08, 0x7E, 0x09, 0x01, 0x02}, {0x08, 0x14, 0x54, 0x54, 0x3C},
    {0x7F, 0x08, 0x04, 0x04, 0x78}, {0x00, 0x44, 0x7D, 0x40, 0x00}, {0x20, 0x40, 0x44, 0x3D, 0x00},
    {0x00, 0x7F, 0x10, 0x28, 0x44}, {0x00, 0x41, 0x7F, 0x40, 0x00}, {0x7C, 0x04, 0x18, 0x04, 0x78},
    {0x7C, 0x08, 0x04, 0x04, 0x78}, {0x38, 0x44, 0x44, 0x44, 0x38}, {0x7C, 0x14, 0x14, 0x14, 0x08},
    {0x08, 0x14, 0x14, 0x18, 0x7C}, {0x7C, 0x08, 0x04, 0x04, 0x08}, {0x48, 0x54, 0x54, 0x54, 0x20},
    {0x04, 0x3F, 0x44, 0x40, 0x20}, {0x3C, 0x40, 0x40, 0x20, 0x7C}, {0x1C, 0x20, 0x40, 0x20, 0x1C},
    {0x3C, 0x40, 0x30, 0x40, 0x3C}, {0x44, 0x28, 0x10, 0x28, 0x44}, {0x0C, 0x50, 0x50, 0x50, 0x3C},
    {0x44, 0x64, 0x54, 0x4C, 0x44}, {0x00, 0x08, 0x36, 0x41, 0x00}, {0x00, 0x00, 0x7F, 0x00, 0x00},
    {0x00, 0x41, 0x36, 0x08, 0x00}, {0x08, 0x04, 0x08, 0x10, 0x08},
};

constexpr std::uint8_t kText = 2, kHalo = 1;

// What each pixel of the picture becomes: 0 unchanged, kHalo, kText.
std::vector<std::uint8_t> Layout(const SubtitleParams &p, int width, int height) {
  std::vector<std::string> lines;
  if (p.multiline) {
    size_t start = 0;
    for (size_t at; (at = p.text.find("\\n", start)) != std::string::npos; start = at + 2)
      lines.push_back(p.text.substr(start, at - start));
    lines.push_back(p.text.substr(start));
  } else {
    lines.push_back(p.text);
  }
  const int scale = std::max(1, static_cast<int>(std::lround(p.size / 9.0)));
  const int advance = 6 * scale + p.spacing;
  const int lineHeight = 8 * scale + p.lineSpacing;
  const long long textH = static_cast<long long>(lines.size()) * lineHeight - scale;
  long long top = p.y;
  if (p.align >= 4 && p.align <= 6)
    top = p.y - textH / 2;
  else if (p.align <= 3)
    top = p.y - textH;
  std::vector<std::uint8_t> mask(static_cast<size_t>(width) * height, 0);
  for (size_t l = 0; l < lines.size(); ++l) {
    const std::string &line = lines[l];
    const long long textW = static_cast<long long>(line.size()) * advance - scale - p.spacing;
    long long left = p.x;
    if (p.align % 3 == 2)
      left = p.x - textW / 2;
    else if (p.align % 3 == 0)
      left = p.x - textW;
    const long long y0 = top + static_cast<long long>(l) * lineHeight;
    if (y0 + 8LL * scale < 0 || y0 - scale >= height)
      continue;
    for (size_t i = 0; i < line.size(); ++i) {
      const unsigned char ch = static_cast<unsigned char>(line[i]);
      const std::uint8_t *glyph = kFont[ch >= 32 && ch < 127 ? ch - 32 : '?' - 32];
      const long long x0 = left + static_cast<long long>(i) * advance;
      if (x0 + 6LL * scale < 0 || x0 - scale >= width)
        continue; // the glyph and its halo lie outside the picture
      for (int col = 0; col < 5; ++col)
        for (int row = 0; row < 7; ++row) {
          if (!(glyph[col] >> row & 1))
            continue;
          // The glyph pixel, and its halo one scale step around it.
          for (int dy = -scale; dy < 2 * scale; ++dy)
            for (int dx = -scale; dx < 2 * scale; ++dx) {
              const long long x = x0 + col * scale + dx;
              const long long y = y0 + row * scale + dy;
              if (x < 0 || y < 0 || x >= width || y >= height)
                continue;
              const bool inside = dx >= 0 && dx < scale && dy >= 0 && dy < scale;
              std::uint8_t &m = mask[static_cast<size_t>(y) * width + static_cast<size_t>(x)];
              m = std::max(m, inside ? kText : kHalo);
            }
        }
    }
  }
  return mask;
}

class Subtitle : public Filter {
public:
  Subtitle(ClipPtr child, const SubtitleParams &p) : Filter(std::move(child)), p_(p) {
    mask_ = Layout(p_, vi_.width, vi_.height);
  }
  FramePtr frame(int n) override {
    FramePtr src = childFrame(n);
    if (n < p_.firstFrame || n > p_.lastFrame)
      return src;
    auto out = std::make_shared<Frame>(*src);
    paint(*out, kHalo, p_.haloColour);
    paint(*out, kText, p_.textColour);
    return out;
  }

private:
  // Pixels of one kind in the colour 0xAARRGGBB (AA 0 opaque, 255 invisible).
  void paint(Frame &f, std::uint8_t kind, unsigned argb) const {
    const int alpha = 255 - static_cast<int>(argb >> 24 & 255);
    if (alpha == 0)
      return;
    const unsigned rgb = argb & 0xffffff;
    const unsigned yuv = RgbToYuv(rgb);
    auto mix = [alpha](std::uint8_t &d, int value) { d = static_cast<std::uint8_t>((d * (255 - alpha) + value * alpha + 127) / 255); };
    const int w = f.width, h = f.height;
    auto at = [&](int x, int y) { return mask_[static_cast<size_t>(y) * w + x] == kind; };
    switch (f.format) {
    case PixelFormat::YV12:
    case PixelFormat::YV16:
    case PixelFormat::YV24:
    case PixelFormat::Y8: {
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          if (at(x, y))
            mix(f.row(0, y)[x], static_cast<int>(yuv >> 16 & 255));
      if (f.format == PixelFormat::Y8)
        break;
      // A chroma sample takes the colour when any pixel of its block does.
      const int sx = ChromaShiftX(f.format), sy = ChromaShiftY(f.format);
      auto any = [&](int x0, int y0) {
        for (int y = y0; y < std::min(h, y0 + (1 << sy)); ++y)
          for (int x = x0; x < std::min(w, x0 + (1 << sx)); ++x)
            if (at(x, y))
              return true;
        return false;
      };
      for (int y = 0; y < h; y += 1 << sy)
        for (int x = 0; x < w; x += 1 << sx)
          if (any(x, y)) {
            mix(f.row(1, y >> sy)[x >> sx], static_cast<int>(yuv >> 8 & 255));
            mix(f.row(2, y >> sy)[x >> sx], static_cast<int>(yuv & 255));
          }
      break;
    }
    case PixelFormat::YUY2:
      for (int y = 0; y < h; ++y) {
        std::uint8_t *p = f.row(0, y);
        for (int x = 0; x < w; ++x)
          if (at(x, y)) {
            mix(p[2 * x], static_cast<int>(yuv >> 16 & 255));
            mix(p[2 * x + 1], static_cast<int>((x & 1) ? yuv & 255 : yuv >> 8 & 255));
          }
      }
      break;
    case PixelFormat::RGB24:
    case PixelFormat::RGB32: {
      const int bpp = f.format == PixelFormat::RGB24 ? 3 : 4;
      for (int y = 0; y < h; ++y) {
        std::uint8_t *p = f.row(0, y);
        for (int x = 0; x < w; ++x)
          if (at(x, y)) {
            mix(p[x * bpp], static_cast<int>(rgb & 255));
            mix(p[x * bpp + 1], static_cast<int>(rgb >> 8 & 255));
            mix(p[x * bpp + 2], static_cast<int>(rgb >> 16 & 255));
          }
      }
      break;
    }
    }
  }

  SubtitleParams p_;
  std::vector<std::uint8_t> mask_;
};

} // namespace

ClipPtr MakeSubtitle(ClipPtr child, const SubtitleParams &p) {
  if (p.align < 1 || p.align > 9)
    throw EngineError("Subtitle: align must lie between 1 and 9 (the numeric pad)");
  if (!(p.size > 0) || p.size > 2000)
    throw EngineError("Subtitle: size must lie between 0 and 2000");
  if (p.spacing < -1000 || p.spacing > 1000 || p.lineSpacing < -1000 || p.lineSpacing > 1000)
    throw EngineError("Subtitle: the spacing must lie between -1000 and 1000");
  return std::make_shared<Subtitle>(std::move(child), p);
}

} // namespace reelwork::engine::filters
