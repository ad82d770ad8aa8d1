// Pixel format conversions between YV12, YUY2, RGB24 and RGB32.
// YUV is studio range (Y 16..235, chroma 16..240); the matrix decides the
// colour coefficients (BT.601 unless the script asks for BT.709) and whether
// RGB is full range ("Rec") or taken as YUV's own range ("PC").
// Every conversion passes through 4:2:2 (full-height, half-width chroma),
// so YV12 <-> YUY2 only resamples chroma vertically.

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
      double r, g, b;
      m.toRgb(Y[x], u, v, r, g, b);
      p[0] = Clamp8(b);
      p[1] = Clamp8(g);
      p[2] = Clamp8(r);
      if (bpp == 4)
        p[3] = 255;
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

class Convert : public Filter {
public:
  Convert(ClipPtr child, PixelFormat target, bool interlaced, const Matrix &m)
      : Filter(std::move(child)), interlaced_(interlaced), matrix_(m) {
    vi_.format = target;
  }
  FramePtr frame(int n) override {
    FramePtr src = childFrame(n);
    return std::make_shared<Frame>(ConvertFrameWith(*src, vi_.format, interlaced_, matrix_));
  }

private:
  bool interlaced_;
  Matrix matrix_;
};

} // namespace

Matrix Matrix::Make(const std::string &name) {
  std::string n;
  for (char c : name)
    n += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
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

Frame ConvertFrameWith(const Frame &src, PixelFormat target, bool interlaced, const Matrix &m) {
  const bool srcYuv = IsYuv(src.format), dstYuv = IsYuv(target);
  if (src.format == target)
    return src;
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

ClipPtr MakeConvertWith(ClipPtr child, PixelFormat target, bool interlaced, const Matrix &m,
                        const std::string &name) {
  const ClipInfo &vi = child->info();
  if (vi.format == target)
    return child;
  if ((target == PixelFormat::YV12 || target == PixelFormat::YUY2) && (vi.width & 1))
    throw EngineError(name + ": the width must be even for " + FormatName(target) + " (it is " +
                      std::to_string(vi.width) + ")");
  if (target == PixelFormat::YV12 && (vi.height & 1))
    throw EngineError(name + ": the height must be even for YV12 (it is " + std::to_string(vi.height) + ")");
  if (target == PixelFormat::YV12 && interlaced && (vi.height & 3))
    throw EngineError(name + ": interlaced YV12 needs a height that is a multiple of 4 (it is " +
                      std::to_string(vi.height) + ")");
  return std::make_shared<Convert>(std::move(child), target, interlaced, m);
}

} // namespace reelwork::engine::filters
