#include "engine/rgb_output.h"

#include <algorithm>
#include <array>

namespace reelwork::engine {

namespace {

// BT.601 coefficients in 16.16 fixed point, TV range in, full range out.
struct YuvTables {
  std::array<int, 256> y{}, rv{}, gu{}, gv{}, bu{};
  YuvTables() {
    for (int i = 0; i < 256; ++i) {
      y[i] = static_cast<int>((i - 16) * 1.164383 * 65536 + 32768); // + 0.5 for rounding
      rv[i] = static_cast<int>((i - 128) * 1.596027 * 65536);
      gu[i] = static_cast<int>((i - 128) * -0.391762 * 65536);
      gv[i] = static_cast<int>((i - 128) * -0.812968 * 65536);
      bu[i] = static_cast<int>((i - 128) * 2.017232 * 65536);
    }
  }
};

const YuvTables &Tables() {
  static const YuvTables tables;
  return tables;
}

// 0..255 for any sum the tables can give, looked up instead of compared.
struct ClampTable {
  static constexpr int kOffset = 512;
  std::array<std::uint8_t, 1536> value{};
  ClampTable() {
    for (int i = 0; i < 1536; ++i)
      value[static_cast<size_t>(i)] = static_cast<std::uint8_t>(std::clamp(i - kOffset, 0, 255));
  }
};

const ClampTable &Clamps() {
  static const ClampTable table;
  return table;
}

inline std::uint8_t Clamp(int v) { return Clamps().value[static_cast<size_t>((v >> 16) + ClampTable::kOffset)]; }

inline void Put(std::uint8_t *rgb, int y, int u, int v, const YuvTables &t) {
  const int yy = t.y[y];
  rgb[0] = Clamp(yy + t.rv[v]);
  rgb[1] = Clamp(yy + t.gu[u] + t.gv[v]);
  rgb[2] = Clamp(yy + t.bu[u]);
}

} // namespace

void FrameToRgb(const Frame &frame, RgbImage &out) {
  const int w = frame.width, h = frame.height;
  if (out.width != w || out.height != h || out.pixels.size() != static_cast<size_t>(w) * h * 3)
    out.resize(w, h);
  const YuvTables &t = Tables();
  switch (frame.format) {
  case PixelFormat::YV12: {
    const std::uint8_t *clamp = Clamps().value.data() + ClampTable::kOffset;
    for (int y = 0; y < h; ++y) {
      const std::uint8_t *ys = frame.row(0, y);
      const std::uint8_t *us = frame.row(1, y / 2);
      const std::uint8_t *vs = frame.row(2, y / 2);
      std::uint8_t *dst = out.at(0, y);
      // One chroma sample serves two pixels.
      for (int x = 0; x < w; x += 2) {
        const int u = us[x / 2], v = vs[x / 2];
        const int r = t.rv[v], g = t.gu[u] + t.gv[v], b = t.bu[u];
        const int pair = std::min(2, w - x);
        for (int k = 0; k < pair; ++k, dst += 3) {
          const int yy = t.y[ys[x + k]];
          dst[0] = clamp[(yy + r) >> 16];
          dst[1] = clamp[(yy + g) >> 16];
          dst[2] = clamp[(yy + b) >> 16];
        }
      }
    }
    break;
  }
  case PixelFormat::YUY2:
    for (int y = 0; y < h; ++y) {
      const std::uint8_t *s = frame.row(0, y);
      std::uint8_t *dst = out.at(0, y);
      for (int x = 0; x < w; ++x, dst += 3) {
        const std::uint8_t *pair = s + (x / 2) * 4;
        Put(dst, s[x * 2], pair[1], pair[3], t);
      }
    }
    break;
  case PixelFormat::RGB24:
  case PixelFormat::RGB32: {
    const int step = frame.format == PixelFormat::RGB24 ? 3 : 4;
    for (int y = 0; y < h; ++y) {
      const std::uint8_t *s = frame.row(0, y);
      std::uint8_t *dst = out.at(0, y);
      for (int x = 0; x < w; ++x, s += step, dst += 3) {
        dst[0] = s[2];
        dst[1] = s[1];
        dst[2] = s[0];
      }
    }
    break;
  }
  }
}

} // namespace reelwork::engine
