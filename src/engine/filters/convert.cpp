// Pixel format conversions between the engine's formats.
// YUV is studio range (Y 16..235, chroma 16..240); the matrix decides the
// colour coefficients (BT.601 unless the script asks for BT.709) and whether
// RGB is full range ("Rec") or taken as YUV's own range ("PC").
// Between YV12, YUY2 and RGB every conversion passes through 4:2:2
// (full-height, half-width chroma), so YV12 <-> YUY2 only resamples chroma
// vertically. The planar formats YV24, YV16 and Y8 convert as the script
// language does it: between planar layouts the chroma planes are resized
// (bicubic unless the script names another kernel) with the chroma placement
// of each layout; YUY2 is YV16 packed; RGB goes to and from YV24 pixel by
// pixel; Y8 keeps the luma only, and its chroma is 128 when a colour format
// is made from it.

#include <algorithm>
#include <cmath>

#include "engine/filters/filter_base.h"
#include "engine/filters/filters.h"
#include "engine/filters/frame_ops.h"
#include "engine/filters/matrix.h"

namespace reelwork::engine::filters {

namespace {

std::uint8_t Clamp8(double v) {
  return static_cast<std::uint8_t>(v <= 0 ? 0 : v >= 255 ? 255 : static_cast<int>(v + 0.5));
}

// Planar 4:2:2: Y at full size, U and V at (width+1)/2 by height.
struct Yuv422 {
  int width = 0, height = 0, cw = 0;
  std::vector<std::uint8_t> y, u, v;
  void allocate(int w, int h) {
    width = w;
    height = h;
    cw = (w + 1) / 2;
    y.assign(static_cast<size_t>(w) * h, 0);
    u.assign(static_cast<size_t>(cw) * h, 128);
    v.assign(static_cast<size_t>(cw) * h, 128);
  }
};

// The chroma row of a 4:2:0 plane nearest above/below luma row y, with weights,
// progressive or per field.
void ChromaRowsFor(int y, int chromaRows, bool interlaced, int &r0, int &r1, int &w0) {
  if (!interlaced) {
    const int c = y / 2;
    r0 = c;
    r1 = (y & 1) ? std::min(c + 1, chromaRows - 1) : std::max(c - 1, 0);
    w0 = 3;
    return;
  }
  const int f = y & 1;
  const int fy = y >> 1;                 // row within the field
  const int k = fy / 2;                  // chroma row within the field
  const int fieldRows = (chromaRows - f + 1) / 2;
  auto row = [&](int kk) { return std::clamp(kk, 0, std::max(fieldRows - 1, 0)) * 2 + f; };
  r0 = std::min(row(k), chromaRows - 1);
  r1 = std::min(row((fy & 1) ? k + 1 : k - 1), chromaRows - 1);
  w0 = 3;
}

Yuv422 To422(const Frame &src, bool interlaced) {
  Yuv422 o;
  o.allocate(src.width, src.height);
  if (src.format == PixelFormat::YUY2) {
    for (int y = 0; y < src.height; ++y) {
      const std::uint8_t *p = src.row(0, y);
      for (int x = 0; x < src.width; ++x)
        o.y[static_cast<size_t>(y) * o.width + x] = p[x * 2];
      for (int c = 0; c < o.cw; ++c) {
        o.u[static_cast<size_t>(y) * o.cw + c] = p[c * 4 + 1];
        o.v[static_cast<size_t>(y) * o.cw + c] = p[c * 4 + 3];
      }
    }
    return o;
  }
  // YV12
  const int chromaRows = (src.height + 1) / 2;
  for (int y = 0; y < src.height; ++y) {
    std::memcpy(&o.y[static_cast<size_t>(y) * o.width], src.row(0, y), src.width);
    int r0, r1, w0;
    ChromaRowsFor(y, chromaRows, interlaced, r0, r1, w0);
    for (int pl = 1; pl <= 2; ++pl) {
      const std::uint8_t *a = src.row(pl, r0), *b = src.row(pl, r1);
      std::uint8_t *d = (pl == 1 ? o.u.data() : o.v.data()) + static_cast<size_t>(y) * o.cw;
      for (int c = 0; c < o.cw; ++c)
        d[c] = static_cast<std::uint8_t>((a[c] * w0 + b[c] * (4 - w0) + 2) >> 2);
    }
  }
  return o;
}

Frame From422(const Yuv422 &s, PixelFormat target, bool interlaced) {
  Frame out;
  out.allocate(target, s.width, s.height);
  if (target == PixelFormat::YUY2) {
    for (int y = 0; y < s.height; ++y) {
      std::uint8_t *p = out.row(0, y);
      for (int x = 0; x < s.width; ++x)
        p[x * 2] = s.y[static_cast<size_t>(y) * s.width + x];
      for (int c = 0; c < s.width / 2; ++c) {
        p[c * 4 + 1] = s.u[static_cast<size_t>(y) * s.cw + c];
        p[c * 4 + 3] = s.v[static_cast<size_t>(y) * s.cw + c];
      }
    }
    return out;
  }
  // YV12: average the two luma rows each chroma row covers (per field when interlaced).
  for (int y = 0; y < s.height; ++y)
    std::memcpy(out.row(0, y), &s.y[static_cast<size_t>(y) * s.width], s.width);
  const int chromaRows = (s.height + 1) / 2;
  for (int r = 0; r < chromaRows; ++r) {
    int a, b;
    if (!interlaced) {
      a = 2 * r;
      b = std::min(2 * r + 1, s.height - 1);
    } else {
      const int f = r & 1, k = r >> 1;
      a = std::min(4 * k + f, s.height - 1);
      b = std::min(4 * k + 2 + f, s.height - 1);
    }
    for (int pl = 1; pl <= 2; ++pl) {
      const std::vector<std::uint8_t> &src = pl == 1 ? s.u : s.v;
      std::uint8_t *d = out.row(pl, r);
      for (int c = 0; c < s.cw; ++c)
        d[c] = static_cast<std::uint8_t>(
            (src[static_cast<size_t>(a) * s.cw + c] + src[static_cast<size_t>(b) * s.cw + c] + 1) >> 1);
    }
  }
  return out;
}

// One packed RGB pixel (B G R, and A opaque in RGB32) from YUV.
void PutRgb(std::uint8_t *p, int bpp, const Matrix &m, double y, double u, double v) {
  double r, g, b;
  m.toRgb(y, u, v, r, g, b);
  p[0] = Clamp8(b);
  p[1] = Clamp8(g);
  p[2] = Clamp8(r);
  if (bpp == 4)
    p[3] = 255;
}

Frame YuvToRgb(const Yuv422 &s, PixelFormat target, const Matrix &m) {
  Frame out;
  out.allocate(target, s.width, s.height);
  const int bpp = target == PixelFormat::RGB24 ? 3 : 4;
  for (int y = 0; y < s.height; ++y) {
    std::uint8_t *p = out.row(0, y);
    const std::uint8_t *Y = &s.y[static_cast<size_t>(y) * s.width];
    const std::uint8_t *U = &s.u[static_cast<size_t>(y) * s.cw];
    const std::uint8_t *V = &s.v[static_cast<size_t>(y) * s.cw];
    for (int x = 0; x < s.width; ++x, p += bpp) {
      const int c = x / 2;
      double u = U[c], v = V[c];
      if ((x & 1) && c + 1 < s.cw) { // chroma sits on even pixels
        u = (u + U[c + 1]) / 2;
        v = (v + V[c + 1]) / 2;
      }
      PutRgb(p, bpp, m, Y[x], u, v);
    }
  }
  return out;
}

Yuv422 RgbToYuv(const Frame &src, const Matrix &m) {
  Yuv422 o;
  o.allocate(src.width, src.height);
  const int bpp = BytesPerPixel(src.format);
  std::vector<double> us(src.width), vs(src.width);
  for (int y = 0; y < src.height; ++y) {
    const std::uint8_t *p = src.row(0, y);
    for (int x = 0; x < src.width; ++x, p += bpp) {
      double Y, U, V;
      m.toYuv(p[2], p[1], p[0], Y, U, V);
      o.y[static_cast<size_t>(y) * o.width + x] = Clamp8(Y);
      us[x] = U;
      vs[x] = V;
    }
    for (int c = 0; c < o.cw; ++c) {
      const int x0 = 2 * c, x1 = std::min(2 * c + 1, src.width - 1);
      o.u[static_cast<size_t>(y) * o.cw + c] = Clamp8((us[x0] + us[x1]) / 2);
      o.v[static_cast<size_t>(y) * o.cw + c] = Clamp8((vs[x0] + vs[x1]) / 2);
    }
  }
  return o;
}

Frame RgbToRgb(const Frame &src, PixelFormat target) {
  Frame out;
  out.allocate(target, src.width, src.height);
  const int sb = BytesPerPixel(src.format), db = BytesPerPixel(target);
  for (int y = 0; y < src.height; ++y) {
    const std::uint8_t *s = src.row(0, y);
    std::uint8_t *d = out.row(0, y);
    for (int x = 0; x < src.width; ++x, s += sb, d += db) {
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
      if (db == 4)
        d[3] = sb == 4 ? s[3] : 255;
    }
  }
  return out;
}

// --- planar chroma resampling --------------------------------------------

constexpr double kPi = 3.14159265358979323846;

double Sinc(double x) { return x == 0 ? 1.0 : std::sin(kPi * x) / (kPi * x); }

double KernelSupport(const ChromaOptions &o) {
  switch (o.kernel) {
  case ResizeKernel::Bilinear:
    return 1;
  case ResizeKernel::Lanczos:
    return o.taps;
  case ResizeKernel::Lanczos4:
    return 4;
  case ResizeKernel::Spline36:
    return 3;
  default: // bicubic, spline16
    return 2;
  }
}

double KernelAt(const ChromaOptions &o, double x) {
  x = std::fabs(x);
  switch (o.kernel) {
  case ResizeKernel::Bilinear:
    return x < 1 ? 1 - x : 0;
  case ResizeKernel::Lanczos:
  case ResizeKernel::Lanczos4: {
    const double t = KernelSupport(o);
    return x < t ? Sinc(x) * Sinc(x / t) : 0;
  }
  case ResizeKernel::Spline16:
    if (x < 1)
      return ((x - 9.0 / 5.0) * x - 1.0 / 5.0) * x + 1.0;
    if (x < 2)
      return ((-1.0 / 3.0 * (x - 1) + 4.0 / 5.0) * (x - 1) - 7.0 / 15.0) * (x - 1);
    return 0;
  case ResizeKernel::Spline36:
    if (x < 1)
      return ((13.0 / 11.0 * x - 453.0 / 209.0) * x - 3.0 / 209.0) * x + 1.0;
    if (x < 2)
      return ((-6.0 / 11.0 * (x - 1) + 270.0 / 209.0) * (x - 1) - 156.0 / 209.0) * (x - 1);
    if (x < 3)
      return ((1.0 / 11.0 * (x - 2) - 45.0 / 209.0) * (x - 2) + 26.0 / 209.0) * (x - 2);
    return 0;
  default: { // Mitchell-Netravali bicubic with b and c
    const double b = o.b, c = o.c;
    if (x < 1)
      return ((12 - 9 * b - 6 * c) * x * x * x + (-18 + 12 * b + 6 * c) * x * x + (6 - 2 * b)) / 6;
    if (x < 2)
      return ((-b - 6 * c) * x * x * x + (6 * b + 30 * c) * x * x + (-12 * b - 48 * c) * x + (8 * b + 24 * c)) / 6;
    return 0;
  }
  }
}

// For every output sample of one axis: the source samples it reads (clamped
// to the edges) and their weights in 1/16384, which add up to 16384.
struct Taps {
  int count = 0;
  std::vector<int> index, weight;
  std::vector<int> first; // the first source sample of each output, before clamping
};

// Output sample j sits at source position centre0 + j * step (in source
// samples); a step above 1 shrinks and widens the kernel as the resizers do.
Taps MakeTaps(const ChromaOptions &o, int srcN, int dstN, double centre0, double step) {
  Taps t;
  const bool point = o.kernel == ResizeKernel::Point;
  const double scale = std::max(1.0, step);
  const double support = KernelSupport(o) * scale;
  // Every kernel here is zero at its support's edge: 2 * support samples
  // from the first one inside it cover all that weigh.
  t.count = point ? 1 : std::max(1, static_cast<int>(std::ceil(2 * support - 1e-9)));
  t.index.resize(static_cast<size_t>(dstN) * t.count);
  t.weight.resize(t.index.size());
  t.first.resize(static_cast<size_t>(dstN));
  std::vector<double> w(static_cast<size_t>(t.count));
  for (int j = 0; j < dstN; ++j) {
    const double c = centre0 + j * step;
    int *idx = &t.index[static_cast<size_t>(j) * t.count];
    int *wt = &t.weight[static_cast<size_t>(j) * t.count];
    if (point) { // the nearest sample, the later one on a tie
      t.first[static_cast<size_t>(j)] = static_cast<int>(std::floor(c + 0.5));
      idx[0] = std::clamp(t.first[static_cast<size_t>(j)], 0, srcN - 1);
      wt[0] = 16384;
      continue;
    }
    const int first = static_cast<int>(std::ceil(c - support));
    t.first[static_cast<size_t>(j)] = first;
    double sum = 0;
    for (int i = 0; i < t.count; ++i) {
      w[static_cast<size_t>(i)] = KernelAt(o, (first + i - c) / scale);
      sum += w[static_cast<size_t>(i)];
    }
    // Extreme kernel parameters can leave nothing to normalise by: the
    // nearest sample then stands alone.
    if (!std::isfinite(sum) || std::fabs(sum) < 1e-6) {
      std::fill(w.begin(), w.end(), 0.0);
      w[static_cast<size_t>(std::clamp(static_cast<int>(std::lround(c)) - first, 0, t.count - 1))] = 1;
      sum = 1;
    }
    int total = 0, biggest = 0;
    for (int i = 0; i < t.count; ++i) {
      idx[i] = std::clamp(first + i, 0, srcN - 1);
      const double v = w[static_cast<size_t>(i)] / sum * 16384;
      wt[i] = std::isfinite(v) ? static_cast<int>(std::lround(std::clamp(v, -32767.0, 32767.0))) : 0;
      total += wt[i];
      if (wt[i] > wt[biggest])
        biggest = i;
    }
    wt[biggest] += 16384 - total;
  }
  return t;
}

std::uint8_t Round14(int v) { return static_cast<std::uint8_t>(std::clamp((v + 8192) >> 14, 0, 255)); }

// out[k * outStep] from the `taps` samples at in[k * inStep], weighted
// (N: the number of taps when known at compile time).
// N and InStep known at compile time let the common cases vectorise.
template <int N, int InStep>
void Stencil(const std::uint8_t *in, int inStep, const int *w, std::uint8_t *out, int n, int taps = N) {
  const int count = N > 0 ? N : taps;
  const int step = InStep > 0 ? InStep : inStep;
  for (int k = 0; k < n; ++k) {
    const std::uint8_t *q = in + static_cast<ptrdiff_t>(k) * step;
    int sum = 0;
    for (int i = 0; i < count; ++i) // sixteen-bit products: SSE2 has their multiply
      sum += static_cast<std::int16_t>(q[i]) * static_cast<std::int16_t>(w[i]);
    out[k] = Round14(sum);
  }
}

void RunStencil(const std::uint8_t *in, int inStep, const int *w, std::uint8_t *out, int n, int taps) {
  if (taps == 4 && inStep == 1)
    Stencil<4, 1>(in, inStep, w, out, n);
  else if (taps == 8 && inStep == 2)
    Stencil<8, 2>(in, inStep, w, out, n);
  else
    Stencil<0, 0>(in, inStep, w, out, n, taps);
}

// The luma position (in luma pixels) of the centre of chroma sample 0 of a
// layout along one axis, and the luma pixels between samples.
struct AxisLayout {
  int spacing = 1;
  double offset = 0; // from the middle of the samples' span
  bool operator==(const AxisLayout &o) const { return spacing == o.spacing && offset == o.offset; }
};

AxisLayout Horizontal(PixelFormat f, bool mpeg1) {
  AxisLayout a;
  a.spacing = 1 << ChromaShiftX(f);
  if (f == PixelFormat::YV12 && !mpeg1)
    a.offset = -0.5; // beside the even luma column
  return a;
}
AxisLayout Vertical(PixelFormat f) { return {1 << ChromaShiftY(f), 0.0}; }

// Taps taking chroma of layout `from` (srcN samples) to layout `to` (dstN).
Taps TapsBetween(const ChromaOptions &o, const AxisLayout &from, int srcN, const AxisLayout &to, int dstN) {
  const double step = static_cast<double>(to.spacing) / from.spacing;
  const double centre0 = (0.5 * to.spacing + to.offset - from.offset) / from.spacing - 0.5;
  return MakeTaps(o, srcN, dstN, centre0, step);
}

// One chroma plane from one layout to another: across first, then down
// (per field when `fields`), eight bits between the passes.
void ResamplePlane(const Frame &src, int p, Frame &dst, const ChromaOptions &o, bool mpeg1In, bool mpeg1Out,
                   bool fields) {
  const int sw = PlaneRowBytes(src, p), sh = PlaneRows(src, p);
  const int dw = PlaneRowBytes(dst, p), dh = PlaneRows(dst, p);
  const AxisLayout hs = Horizontal(src.format, mpeg1In), hd = Horizontal(dst.format, mpeg1Out);
  // Across: sh rows of dw samples.
  thread_local std::vector<std::uint8_t> across;
  across.resize(static_cast<size_t>(dw) * sh);
  if (hs == hd && sw == dw) {
    for (int y = 0; y < sh; ++y)
      std::memcpy(&across[static_cast<size_t>(y) * dw], src.row(p, y), static_cast<size_t>(dw));
  } else {
    const Taps t = TapsBetween(o, hs, sw, hd, dw);
    // The spacings are powers of two, so the taps repeat: every `period`
    // outputs the same weights apply `advance` source samples further on.
    // Each phase then runs as one stencil over the row padded with its edge
    // samples, which is what the clamped indexes read.
    const int period = hd.spacing >= hs.spacing ? 1 : hs.spacing / hd.spacing;
    const int advance = hd.spacing >= hs.spacing ? hd.spacing / hs.spacing : 1;
    const int lo = *std::min_element(t.first.begin(), t.first.end());
    const int hi = *std::max_element(t.first.begin(), t.first.end()) + t.count - 1;
    std::vector<std::uint8_t> pad(static_cast<size_t>(hi - lo + 1));
    std::vector<std::uint8_t> phase(static_cast<size_t>(dw));
    for (int y = 0; y < sh; ++y) {
      const std::uint8_t *s = src.row(p, y);
      for (int i = lo; i <= hi; ++i)
        pad[static_cast<size_t>(i - lo)] = s[std::clamp(i, 0, sw - 1)];
      std::uint8_t *d = &across[static_cast<size_t>(y) * dw];
      for (int ph = 0; ph < period && ph < dw; ++ph) {
        const int *w = &t.weight[static_cast<size_t>(ph) * t.count];
        const std::uint8_t *base = pad.data() + (t.first[static_cast<size_t>(ph)] - lo);
        const int n = (dw - ph + period - 1) / period;
        if (period == 1) {
          RunStencil(base, advance, w, d, n, t.count);
          continue;
        }
        RunStencil(base, advance, w, phase.data(), n, t.count);
        for (int k = 0; k < n; ++k)
          d[k * period + ph] = phase[static_cast<size_t>(k)];
      }
    }
  }
  const AxisLayout vs = Vertical(src.format), vd = Vertical(dst.format);
  if (vs == vd && sh == dh) {
    for (int y = 0; y < dh; ++y)
      std::memcpy(dst.row(p, y), &across[static_cast<size_t>(y) * dw], static_cast<size_t>(dw));
    return;
  }
  // Down: each field on its own when asked, as if it were a picture.
  const int parts = fields ? 2 : 1;
  std::vector<int> sum(static_cast<size_t>(dw));
  for (int f = 0; f < parts; ++f) {
    const int sRows = (sh - f + parts - 1) / parts, dRows = (dh - f + parts - 1) / parts;
    if (sRows <= 0 || dRows <= 0)
      continue;
    const Taps t = TapsBetween(o, vs, sRows, vd, dRows);
    for (int y = 0; y < dRows; ++y) {
      for (int i = 0; i < t.count; ++i) {
        const int w = t.weight[static_cast<size_t>(y) * t.count + i];
        const std::uint8_t *s = &across[static_cast<size_t>(t.index[static_cast<size_t>(y) * t.count + i] * parts + f) * dw];
        int *__restrict acc = sum.data();
        const auto w16 = static_cast<std::int16_t>(w); // |weight| < 2^15
        if (i == 0)
          for (int x = 0; x < dw; ++x)
            acc[x] = static_cast<std::int16_t>(s[x]) * w16;
        else
          for (int x = 0; x < dw; ++x)
            acc[x] += static_cast<std::int16_t>(s[x]) * w16;
      }
      std::uint8_t *d = dst.row(p, y * parts + f);
      for (int x = 0; x < dw; ++x)
        d[x] = Round14(sum[static_cast<size_t>(x)]);
    }
  }
}

// Planar YUV to planar YUV: luma copied, chroma resampled, dropped (Y8) or
// made grey (from Y8).
Frame PlanarToPlanar(const Frame &src, PixelFormat target, bool interlaced, const ChromaOptions &o) {
  Frame out;
  out.allocate(target, src.width, src.height);
  for (int y = 0; y < src.height; ++y)
    std::memcpy(out.row(0, y), src.row(0, y), static_cast<size_t>(src.width));
  if (target == PixelFormat::Y8 || src.format == PixelFormat::Y8)
    return out; // allocate() leaves chroma at 128
  for (int p = 1; p <= 2; ++p)
    ResamplePlane(src, p, out, o, o.mpeg1In, o.mpeg1Out, interlaced);
  return out;
}

// YUY2 and planar 4:2:2 hold the same samples.
Frame UnpackYuy2(const Frame &src) {
  Frame out;
  out.allocate(PixelFormat::YV16, src.width, src.height);
  for (int y = 0; y < src.height; ++y) {
    const std::uint8_t *p = src.row(0, y);
    std::uint8_t *Y = out.row(0, y), *U = out.row(1, y), *V = out.row(2, y);
    for (int x = 0; x < src.width; ++x)
      Y[x] = p[x * 2];
    for (int c = 0; c < src.width / 2; ++c) {
      U[c] = p[c * 4 + 1];
      V[c] = p[c * 4 + 3];
    }
  }
  return out;
}

Frame PackYuy2(const Frame &src) {
  Frame out;
  out.allocate(PixelFormat::YUY2, src.width, src.height);
  for (int y = 0; y < src.height; ++y) {
    std::uint8_t *p = out.row(0, y);
    const std::uint8_t *Y = src.row(0, y), *U = src.row(1, y), *V = src.row(2, y);
    for (int x = 0; x < src.width; ++x)
      p[x * 2] = Y[x];
    for (int c = 0; c < src.width / 2; ++c) {
      p[c * 4 + 1] = U[c];
      p[c * 4 + 3] = V[c];
    }
  }
  return out;
}

// RGB <-> YV24 (or Y8), pixel by pixel through the matrix.
Frame RgbToPlanar(const Frame &src, PixelFormat target, const Matrix &m) {
  Frame out;
  out.allocate(target, src.width, src.height);
  const int bpp = BytesPerPixel(src.format);
  for (int y = 0; y < src.height; ++y) {
    const std::uint8_t *p = src.row(0, y);
    std::uint8_t *Y = out.row(0, y);
    for (int x = 0; x < src.width; ++x, p += bpp) {
      double yy, u, v;
      m.toYuv(p[2], p[1], p[0], yy, u, v);
      Y[x] = Clamp8(yy);
      if (target != PixelFormat::Y8) {
        out.row(1, y)[x] = Clamp8(u);
        out.row(2, y)[x] = Clamp8(v);
      }
    }
  }
  return out;
}

Frame Yv24ToRgb(const Frame &src, PixelFormat target, const Matrix &m) {
  Frame out;
  out.allocate(target, src.width, src.height);
  const int bpp = BytesPerPixel(target);
  for (int y = 0; y < src.height; ++y) {
    std::uint8_t *p = out.row(0, y);
    const std::uint8_t *Y = src.row(0, y), *U = src.row(1, y), *V = src.row(2, y);
    for (int x = 0; x < src.width; ++x, p += bpp) {
      PutRgb(p, bpp, m, Y[x], U[x], V[x]);
    }
  }
  return out;
}

bool IsClassic(PixelFormat f) { return !IsPlanarBesidesYv12(f); }

// Any source as planar YUV of the target's kind: what the planar routes start from.
Frame AsPlanar(const Frame &src, PixelFormat target, bool interlaced, const Matrix &m, const ChromaOptions &o) {
  if (src.format == PixelFormat::YUY2)
    return target == PixelFormat::YV16 ? UnpackYuy2(src) : PlanarToPlanar(UnpackYuy2(src), target, interlaced, o);
  if (IsRgb(src.format)) {
    if (target == PixelFormat::Y8 || target == PixelFormat::YV24)
      return RgbToPlanar(src, target, m);
    return PlanarToPlanar(RgbToPlanar(src, PixelFormat::YV24, m), target, interlaced, o);
  }
  if (src.format == target)
    return src;
  return PlanarToPlanar(src, target, interlaced, o);
}

std::string Lowered(const std::string &s) {
  std::string n;
  for (char ch : s)
    n += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return n;
}

class Convert : public Filter {
public:
  Convert(ClipPtr child, PixelFormat target, bool interlaced, const Matrix &m, const ChromaOptions &o)
      : Filter(std::move(child)), interlaced_(interlaced), matrix_(m), chroma_(o) {
    vi_.format = target;
  }
  FramePtr frame(int n) override {
    FramePtr src = childFrame(n);
    return std::make_shared<Frame>(ConvertFrameWith(*src, vi_.format, interlaced_, matrix_, chroma_));
  }

private:
  bool interlaced_;
  Matrix matrix_;
  ChromaOptions chroma_;
};

} // namespace

Matrix Matrix::Make(const std::string &name) {
  const std::string n = Lowered(name);
  Matrix m;
  if (n.empty() || n == "rec601") {
  } else if (n == "pc.601" || n == "pc601") {
    m.pcRange = true;
  } else if (n == "rec709") {
    m.kr = 0.2126;
    m.kb = 0.0722;
  } else if (n == "pc.709" || n == "pc709") {
    m.kr = 0.2126;
    m.kb = 0.0722;
    m.pcRange = true;
  } else {
    throw EngineError("unknown colour matrix \"" + name + "\" (use Rec601, PC.601, Rec709 or PC.709)");
  }
  return m;
}

void Matrix::toRgb(double Y, double U, double V, double &r, double &g, double &b) const {
  const double ys = pcRange ? 255.0 : 219.0, yo = pcRange ? 0.0 : 16.0, cs = pcRange ? 255.0 : 224.0;
  const double y = (Y - yo) / ys, u = (U - 128) / cs, v = (V - 128) / cs;
  const double kg = 1 - kr - kb;
  const double R = y + 2 * (1 - kr) * v;
  const double B = y + 2 * (1 - kb) * u;
  const double G = (y - kr * R - kb * B) / kg;
  r = R * 255;
  g = G * 255;
  b = B * 255;
}

void Matrix::toYuv(double r, double g, double b, double &Y, double &U, double &V) const {
  const double ys = pcRange ? 255.0 : 219.0, yo = pcRange ? 0.0 : 16.0, cs = pcRange ? 255.0 : 224.0;
  r /= 255;
  g /= 255;
  b /= 255;
  const double y = kr * r + (1 - kr - kb) * g + kb * b;
  const double u = (b - y) / (2 * (1 - kb)), v = (r - y) / (2 * (1 - kr));
  Y = y * ys + yo;
  U = u * cs + 128;
  V = v * cs + 128;
}

void ChromaOptions::setKernel(const std::string &name) {
  std::string n = Lowered(name);
  static const std::pair<const char *, ResizeKernel> kernels[] = {
      {"point", ResizeKernel::Point},       {"bilinear", ResizeKernel::Bilinear}, {"bicubic", ResizeKernel::Bicubic},
      {"lanczos", ResizeKernel::Lanczos},   {"lanczos4", ResizeKernel::Lanczos4}, {"spline16", ResizeKernel::Spline16},
      {"spline36", ResizeKernel::Spline36},
  };
  if (n.empty())
    n = "bicubic";
  for (const auto &k : kernels)
    if (n == k.first) {
      kernel = k.second;
      return;
    }
  throw EngineError("unknown chroma resampler \"" + name +
                    "\" (use point, bilinear, bicubic, lanczos, lanczos4, spline16 or spline36)");
}

bool ChromaOptions::ReadPlacement(const std::string &name) {
  std::string n = Lowered(name);
  if (n.empty() || n == "mpeg2")
    return false;
  if (n == "mpeg1")
    return true;
  throw EngineError("unknown chroma placement \"" + name + "\" (use MPEG2 or MPEG1)");
}

Frame ConvertFrameWith(const Frame &src, PixelFormat target, bool interlaced, const Matrix &m,
                       const ChromaOptions &chroma) {
  const bool srcYuv = IsYuv(src.format), dstYuv = IsYuv(target);
  if (src.format == target)
    return src;
  if (!IsClassic(src.format) || !IsClassic(target)) {
    if (IsPlanar(target))
      return AsPlanar(src, target, interlaced, m, chroma);
    if (target == PixelFormat::YUY2)
      return PackYuy2(AsPlanar(src, PixelFormat::YV16, interlaced, m, chroma));
    return Yv24ToRgb(AsPlanar(src, PixelFormat::YV24, interlaced, m, chroma), target, m);
  }
  if (srcYuv && dstYuv)
    return From422(To422(src, interlaced), target, interlaced);
  if (srcYuv)
    return YuvToRgb(To422(src, interlaced), target, m);
  if (dstYuv)
    return From422(RgbToYuv(src, m), target, interlaced);
  return RgbToRgb(src, target);
}

Frame ConvertFrame(const Frame &src, PixelFormat target, bool interlaced) {
  return ConvertFrameWith(src, target, interlaced, Matrix{});
}

ClipPtr MakeConvert(ClipPtr child, PixelFormat target, bool interlaced, const std::string &name) {
  return MakeConvertWith(std::move(child), target, interlaced, Matrix{}, name);
}

ClipPtr MakeConvertWith(ClipPtr child, PixelFormat target, bool interlaced, const Matrix &m, const std::string &name,
                        const ChromaOptions &chroma) {
  const ClipInfo &vi = child->info();
  if (vi.format == target)
    return child;
  if (vi.width % WidthMultiple(target))
    throw EngineError(name + ": the width must be even for " + FormatName(target) + " (it is " +
                      std::to_string(vi.width) + ")");
  if (vi.height % HeightMultiple(target))
    throw EngineError(name + ": the height must be even for " + FormatName(target) + " (it is " +
                      std::to_string(vi.height) + ")");
  // Chroma taken per field from or to 4:2:0 needs whole chroma rows in each field.
  const bool fromOrTo420 =
      target == PixelFormat::YV12 || (vi.format == PixelFormat::YV12 && !IsClassic(target));
  if (interlaced && fromOrTo420 && (vi.height & 3))
    throw EngineError(name + ": interlaced YV12 needs a height that is a multiple of 4 (it is " +
                      std::to_string(vi.height) + ")");
  return std::make_shared<Convert>(std::move(child), target, interlaced, m, chroma);
}

} // namespace reelwork::engine::filters
