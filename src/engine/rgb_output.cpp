#include "engine/rgb_output.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

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

// 4:2:0 chroma brought to every pixel as the script language's ConvertToRGB
// does it for progressive video: MPEG-2 siting (chroma samples beside the
// even luma columns, halfway between the two luma rows they cover), resampled
// by the bicubic kernel with b = c = 1/3 over the four nearest samples, edges
// repeated. Rows are widened first, then each luma row is interpolated from
// the four nearest widened rows; weights in 1/128, values about 128, in
// sixteen-bit loops simple enough for the compiler to vectorise.
class ChromaUpsampler {
public:
  explicit ChromaUpsampler(const Frame &f) : w_(f.width), cw_((f.width + 1) / 2), ch_((f.height + 1) / 2) {
    thread_local std::vector<std::int16_t> wide;
    thread_local std::vector<std::uint8_t> rows;
    wide.resize(static_cast<size_t>(2) * ch_ * w_);
    rows.resize(static_cast<size_t>(2) * w_);
    wide_ = wide.data();
    rows_ = rows.data();
    std::vector<int> pad(static_cast<size_t>(cw_) + 4);
    for (int p = 0; p < 2; ++p)
      for (int k = 0; k < ch_; ++k)
        widen(f.row(p + 1, k), pad.data() + 2, wideRow(p, k));
  }

  // Plane p (1 U, 2 V) at every pixel of luma row y.
  const std::uint8_t *row(int p, int y) const {
    // Luma row 2k lies a quarter of a chroma row above chroma row k, row
    // 2k+1 a quarter below: rows k-2..k+1 serve the first, k-1..k+2 the second.
    static constexpr std::int16_t kEven[4] = {-2, 33, 100, -3};
    static constexpr std::int16_t kOdd[4] = {-3, 100, 33, -2};
    const int k = y / 2;
    const int first = (y & 1) ? k - 1 : k - 2;
    const std::int16_t *wv = (y & 1) ? kOdd : kEven;
    const std::int16_t *__restrict r0 = wideRow(p - 1, std::clamp(first, 0, ch_ - 1));
    const std::int16_t *__restrict r1 = wideRow(p - 1, std::clamp(first + 1, 0, ch_ - 1));
    const std::int16_t *__restrict r2 = wideRow(p - 1, std::clamp(first + 2, 0, ch_ - 1));
    const std::int16_t *__restrict r3 = wideRow(p - 1, std::clamp(first + 3, 0, ch_ - 1));
    std::uint8_t *__restrict d = rows_ + static_cast<size_t>(p - 1) * w_;
    const std::int16_t a = wv[0], b = wv[1], c = wv[2], e = wv[3];
    // Sixteen-bit sums: |value| <= 140 and the weights' magnitudes add up to 138.
    for (int x = 0; x < w_; ++x) {
      const std::int16_t v = static_cast<std::int16_t>(
          ((static_cast<std::int16_t>(a * r0[x] + b * r1[x] + c * r2[x] + e * r3[x] + 64)) >> 7) + 128);
      d[x] = static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    }
    return d;
  }

private:
  std::int16_t *wideRow(int p, int k) const { return wide_ + (static_cast<size_t>(p) * ch_ + k) * w_; }

  // One chroma row at every luma column: even columns sit on a sample, odd
  // ones halfway to the next.
  void widen(const std::uint8_t *src, int *pad, std::int16_t *out) const {
    for (int j = 0; j < cw_; ++j)
      pad[j] = src[j] - 128;
    pad[-2] = pad[-1] = pad[0];
    pad[cw_] = pad[cw_ + 1] = pad[cw_ - 1];
    for (int j = 0; j < w_ / 2; ++j) {
      out[2 * j] = static_cast<std::int16_t>((7 * pad[j - 1] + 114 * pad[j] + 7 * pad[j + 1] + 64) >> 7);
      out[2 * j + 1] =
          static_cast<std::int16_t>((-4 * pad[j - 1] + 68 * pad[j] + 68 * pad[j + 1] - 4 * pad[j + 2] + 64) >> 7);
    }
    if (w_ & 1)
      out[w_ - 1] = static_cast<std::int16_t>((7 * pad[cw_ - 2] + 114 * pad[cw_ - 1] + 7 * pad[cw_] + 64) >> 7);
  }

  int w_, cw_, ch_;
  std::int16_t *wide_ = nullptr;
  std::uint8_t *rows_ = nullptr;
};

// A 4:2:2 chroma row at every luma column, as ConvertToRGB brings it there:
// each sample in the middle of its pair of columns, the bicubic kernel with
// b = c = 1/3 over the four nearest samples (weights in 1/128, the same as
// 4:2:0 rows get down the picture), edges repeated.
void WidenCentred(const std::uint8_t *src, int cw, int w, std::uint8_t *out) {
  thread_local std::vector<std::uint8_t> padded, even, odd;
  padded.resize(static_cast<size_t>(cw) + 4);
  even.resize(static_cast<size_t>(cw));
  odd.resize(static_cast<size_t>(cw));
  std::uint8_t *__restrict pad = padded.data() + 2;
  std::memcpy(pad, src, static_cast<size_t>(cw));
  pad[-2] = pad[-1] = pad[0];
  pad[cw] = pad[cw + 1] = pad[cw - 1];
  std::uint8_t *__restrict e = even.data(), *__restrict o = odd.data();
  // Sums lie within -5 * 255 .. 133 * 255: sixteen bits hold them.
  for (int k = 0; k < cw; ++k) {
    const int a = (-2 * pad[k - 2] + 33 * pad[k - 1] + 100 * pad[k] - 3 * pad[k + 1] + 64) >> 7;
    const int b = (-3 * pad[k - 1] + 100 * pad[k] + 33 * pad[k + 1] - 2 * pad[k + 2] + 64) >> 7;
    e[k] = static_cast<std::uint8_t>(a < 0 ? 0 : a > 255 ? 255 : a);
    o[k] = static_cast<std::uint8_t>(b < 0 ? 0 : b > 255 ? 255 : b);
  }
  for (int k = 0; k < w / 2; ++k) {
    out[2 * k] = e[k];
    out[2 * k + 1] = o[k];
  }
  if (w & 1)
    out[w - 1] = e[cw - 1];
}

// One row of pixels whose chroma is at every pixel.
inline void PutRow(const std::uint8_t *ys, const std::uint8_t *us, const std::uint8_t *vs, int w, std::uint8_t *dst,
                   const YuvTables &t) {
  const std::uint8_t *clamp = Clamps().value.data() + ClampTable::kOffset;
  for (int x = 0; x < w; ++x, dst += 3) {
    const int yy = t.y[ys[x]];
    const int u = us[x], v = vs[x];
    dst[0] = clamp[(yy + t.rv[v]) >> 16];
    dst[1] = clamp[(yy + t.gu[u] + t.gv[v]) >> 16];
    dst[2] = clamp[(yy + t.bu[u]) >> 16];
  }
}

} // namespace

void FrameToRgb(const Frame &frame, RgbImage &out) {
  const int w = frame.width, h = frame.height;
  if (out.width != w || out.height != h || out.pixels.size() != static_cast<size_t>(w) * h * 3)
    out.resize(w, h);
  const YuvTables &t = Tables();
  switch (frame.format) {
  case PixelFormat::YV12: {
    ChromaUpsampler up(frame);
    for (int y = 0; y < h; ++y) {
      const std::uint8_t *ys = frame.row(0, y);
      const std::uint8_t *us = up.row(1, y);
      const std::uint8_t *vs = up.row(2, y);
      PutRow(ys, us, vs, w, out.at(0, y), t);
    }
    break;
  }
  case PixelFormat::YV24:
  case PixelFormat::YV16:
  case PixelFormat::Y8: {
    // Chroma at every pixel already (YV24), widened across (YV16) or grey (Y8).
    thread_local std::vector<std::uint8_t> wide;
    wide.assign(static_cast<size_t>(2) * w, 128);
    for (int y = 0; y < h; ++y) {
      const std::uint8_t *ys = frame.row(0, y);
      const std::uint8_t *us = wide.data(), *vs = wide.data() + w;
      if (frame.format == PixelFormat::YV24) {
        us = frame.row(1, y);
        vs = frame.row(2, y);
      } else if (frame.format == PixelFormat::YV16) {
        WidenCentred(frame.row(1, y), (w + 1) / 2, w, wide.data());
        WidenCentred(frame.row(2, y), (w + 1) / 2, w, wide.data() + w);
      }
      PutRow(ys, us, vs, w, out.at(0, y), t);
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
