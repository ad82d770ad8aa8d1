// Filters that change pixel values in place: Sharpen/Blur, Tweak, ColorYUV,
// RGBAdjust and Greyscale.

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "engine/filters/filter_base.h"
#include "engine/filters/filters.h"
#include "engine/filters/frame_ops.h"

namespace reelwork::engine::filters {

namespace {

using Lut = std::array<std::uint8_t, 256>;

std::uint8_t Clamp(double v, int lo = 0, int hi = 255) {
  const long r = std::lround(v);
  return static_cast<std::uint8_t>(std::clamp<long>(r, lo, hi));
}

Lut Identity() {
  Lut l;
  for (int i = 0; i < 256; ++i)
    l[i] = static_cast<std::uint8_t>(i);
  return l;
}

// Applies one table per component: YUV as (Y, U, V), RGB as (B, G, R, A).
void ApplyLuts(Frame &f, const Lut &a, const Lut &b, const Lut &c, const Lut &d) {
  switch (f.format) {
  case PixelFormat::YV12:
  case PixelFormat::YV16:
  case PixelFormat::YV24:
  case PixelFormat::Y8: {
    const Lut *luts[3] = {&a, &b, &c};
    for (int p = 0; p < PlaneCount(f.format); ++p) {
      const int bytes = PlaneRowBytes(f, p);
      for (int y = 0; y < PlaneRows(f, p); ++y) {
        std::uint8_t *r = f.row(p, y);
        for (int x = 0; x < bytes; ++x)
          r[x] = (*luts[p])[r[x]];
      }
    }
    break;
  }
  case PixelFormat::YUY2:
    for (int y = 0; y < f.height; ++y) {
      std::uint8_t *r = f.row(0, y);
      for (int x = 0; x + 3 < f.width * 2; x += 4) {
        r[x] = a[r[x]];
        r[x + 1] = b[r[x + 1]];
        r[x + 2] = a[r[x + 2]];
        r[x + 3] = c[r[x + 3]];
      }
    }
    break;
  case PixelFormat::RGB24:
  case PixelFormat::RGB32: {
    const int bpp = BytesPerPixel(f.format);
    for (int y = 0; y < f.height; ++y) {
      std::uint8_t *r = f.row(0, y);
      for (int x = 0; x < f.width; ++x, r += bpp) {
        r[0] = a[r[0]];
        r[1] = b[r[1]];
        r[2] = c[r[2]];
        if (bpp == 4)
          r[3] = d[r[3]];
      }
    }
    break;
  }
  }
}

class LutFilter : public Filter {
public:
  LutFilter(ClipPtr child, const Lut &a, const Lut &b, const Lut &c, const Lut &d)
      : Filter(std::move(child)), a_(a), b_(b), c_(c), d_(d) {}
  FramePtr frame(int n) override {
    auto out = std::make_shared<Frame>(*childFrame(n));
    ApplyLuts(*out, a_, b_, c_, d_);
    return out;
  }

private:
  Lut a_, b_, c_, d_;
};

// ---- Sharpen / Blur: a separable 3-tap kernel (side, centre, side) ------------

class Focus : public Filter {
public:
  Focus(ClipPtr child, double centreH, double centreV)
      : Filter(std::move(child)), ch_(centreH), cv_(centreV), sh_((1 - centreH) / 2), sv_((1 - centreV) / 2) {}
  FramePtr frame(int n) override {
    FramePtr src = childFrame(n);
    auto out = std::make_shared<Frame>(*src);
    for (int p = 0; p < PlaneCount(vi_.format); ++p)
      filterPlane(*src, *out, p);
    return out;
  }

private:
  // Distance in bytes to the same component of the next pixel.
  int step(int byteIndex) const {
    switch (vi_.format) {
    case PixelFormat::YUY2:
      return (byteIndex & 1) ? 4 : 2;
    case PixelFormat::RGB24:
      return 3;
    case PixelFormat::RGB32:
      return 4;
    default:
      return 1;
    }
  }
  void filterPlane(const Frame &src, Frame &out, int p) const {
    const int rows = PlaneRows(src, p), bytes = PlaneRowBytes(src, p);
    std::vector<float> tmp(static_cast<size_t>(rows) * bytes);
    for (int y = 0; y < rows; ++y) {
      const std::uint8_t *r = src.row(p, y);
      float *t = &tmp[static_cast<size_t>(y) * bytes];
      for (int x = 0; x < bytes; ++x) {
        const int s = step(x);
        const int l = x - s >= 0 ? x - s : x, rr = x + s < bytes ? x + s : x;
        t[x] = static_cast<float>(ch_ * r[x] + sh_ * (r[l] + r[rr]));
      }
    }
    for (int y = 0; y < rows; ++y) {
      const float *up = &tmp[static_cast<size_t>(y > 0 ? y - 1 : y) * bytes];
      const float *mid = &tmp[static_cast<size_t>(y) * bytes];
      const float *down = &tmp[static_cast<size_t>(y + 1 < rows ? y + 1 : y) * bytes];
      std::uint8_t *d = out.row(p, y);
      for (int x = 0; x < bytes; ++x)
        d[x] = Clamp(cv_ * mid[x] + sv_ * (up[x] + down[x]));
    }
  }
  double ch_, cv_, sh_, sv_;
};

// ---- Tweak ------------------------------------------------------------------

class Tweak : public Filter {
public:
  Tweak(ClipPtr child, const TweakParams &p) : Filter(std::move(child)), p_(p) {
    const double rad = p.hue * std::numbers::pi / 180.0;
    cosh_ = std::cos(rad) * p.sat;
    sinh_ = std::sin(rad) * p.sat;
    const int lo = p.coring ? 16 : 0, hi = p.coring ? 235 : 255;
    for (int i = 0; i < 256; ++i) {
      const double in = p.coring ? std::clamp(i, 16, 235) : i;
      luma_[i] = Clamp((in - 16) * p.cont + p.bright + 16, lo, hi);
    }
  }
  FramePtr frame(int n) override {
    auto out = std::make_shared<Frame>(*childFrame(n));
    Frame &f = *out;
    if (IsPlanar(f.format)) {
      for (int y = 0; y < f.height; ++y) {
        std::uint8_t *r = f.row(0, y);
        for (int x = 0; x < f.width; ++x)
          r[x] = luma_[r[x]];
      }
      for (int y = 0; PlaneCount(f.format) == 3 && y < PlaneRows(f, 1); ++y) {
        std::uint8_t *u = f.row(1, y), *v = f.row(2, y);
        for (int x = 0; x < PlaneRowBytes(f, 1); ++x)
          chroma(u[x], v[x]);
      }
    } else {
      for (int y = 0; y < f.height; ++y) {
        std::uint8_t *r = f.row(0, y);
        for (int x = 0; x + 3 < f.width * 2; x += 4) {
          r[x] = luma_[r[x]];
          r[x + 2] = luma_[r[x + 2]];
          chroma(r[x + 1], r[x + 3]);
        }
      }
    }
    return out;
  }

private:
  void chroma(std::uint8_t &u, std::uint8_t &v) const {
    const double cu = u - 128.0, cv = v - 128.0;
    const int lo = p_.coring ? 16 : 0, hi = p_.coring ? 240 : 255;
    u = Clamp(cu * cosh_ + cv * sinh_ + 128, lo, hi);
    v = Clamp(cv * cosh_ - cu * sinh_ + 128, lo, hi);
  }
  TweakParams p_;
  double cosh_, sinh_;
  Lut luma_;
};

Lut ColorYuvLut(const ColorYuvPlane &pl, bool luma, const std::string &levels, bool coring) {
  Lut l;
  const double gain = 1 + pl.gain / 256.0, cont = 1 + pl.cont / 256.0, gamma = 1 + pl.gamma / 256.0;
  for (int i = 0; i < 256; ++i) {
    double v = i * gain;
    v = (v - 128) * cont + 128;
    v += pl.off;
    if (luma && pl.gamma != 0)
      v = std::pow(std::clamp(v, 0.0, 255.0) / 255.0, 1.0 / gamma) * 255.0;
    if (levels == "tv->pc")
      v = luma ? (v - 16) * 255.0 / 219.0 : (v - 128) * 255.0 / 224.0 + 128;
    else if (levels == "pc->tv")
      v = luma ? v * 219.0 / 255.0 + 16 : (v - 128) * 224.0 / 255.0 + 128;
    else if (levels == "pc->tv.y" && luma)
      v = v * 219.0 / 255.0 + 16;
    l[i] = coring ? Clamp(v, 16, luma ? 235 : 240) : Clamp(v);
  }
  return l;
}

void RequireYuv(const ClipPtr &c, const std::string &name) {
  if (!IsYuv(c->info().format))
    throw EngineError(name + ": the clip must be YUV (it is " + FormatName(c->info().format) + ")");
}

} // namespace

ClipPtr MakeSharpen(ClipPtr child, double amountH, double amountV, bool blur, const std::string &name) {
  // Blur(a) weights the centre with 2^-a, Sharpen(a) is Blur(-a).
  const double lo = blur ? -1.0 : -1.58, hi = blur ? 1.58 : 1.0;
  if (!(amountH >= lo - 1e-9 && amountH <= hi + 1e-9) || !(amountV >= lo - 1e-9 && amountV <= hi + 1e-9))
    throw EngineError(name + ": the amount must lie between " + (blur ? "-1.0 and 1.58" : "-1.58 and 1.0"));
  const double sign = blur ? -1.0 : 1.0;
  return std::make_shared<Focus>(std::move(child), std::pow(2.0, sign * amountH), std::pow(2.0, sign * amountV));
}

ClipPtr MakeTweak(ClipPtr child, const TweakParams &p) {
  RequireYuv(child, "Tweak");
  if (!(p.sat >= 0 && p.sat <= 10))
    throw EngineError("Tweak: sat must lie between 0 and 10");
  if (!(p.cont >= 0 && p.cont <= 10))
    throw EngineError("Tweak: cont must lie between 0 and 10");
  if (!std::isfinite(p.hue) || !std::isfinite(p.bright))
    throw EngineError("Tweak: hue and bright must be finite");
  return std::make_shared<Tweak>(std::move(child), p);
}

ClipPtr MakeColorYuv(ClipPtr child, const ColorYuvParams &p) {
  RequireYuv(child, "ColorYUV");
  std::string levels;
  for (char c : p.levels)
    levels += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (!levels.empty() && levels != "tv->pc" && levels != "pc->tv" && levels != "pc->tv.y")
    throw EngineError("ColorYUV: levels must be \"TV->PC\", \"PC->TV\" or \"PC->TV.Y\"");
  for (const ColorYuvPlane *pl : {&p.y, &p.u, &p.v})
    if (!std::isfinite(pl->gain) || !std::isfinite(pl->off) || !std::isfinite(pl->cont) ||
        !(pl->gamma > -256 && std::isfinite(pl->gamma)))
      throw EngineError("ColorYUV: gain, off and cont must be finite and gamma greater than -256");
  const Lut y = ColorYuvLut(p.y, true, levels, p.coring);
  const Lut u = ColorYuvLut(p.u, false, levels, p.coring);
  const Lut v = ColorYuvLut(p.v, false, levels, p.coring);
  return std::make_shared<LutFilter>(std::move(child), y, u, v, Identity());
}

ClipPtr MakeRgbAdjust(ClipPtr child, const RgbAdjustParams &p) {
  if (!IsRgb(child->info().format))
    throw EngineError(std::string("RGBAdjust: the clip must be RGB (it is ") + FormatName(child->info().format) +
                      "; convert it with ConvertToRGB first)");
  for (double g : {p.rg, p.gg, p.bg, p.ag})
    if (!(g > 0) || !std::isfinite(g))
      throw EngineError("RGBAdjust: gamma must be greater than 0");
  for (double v : {p.r, p.g, p.b, p.a, p.rb, p.gb, p.bb, p.ab})
    if (!std::isfinite(v))
      throw EngineError("RGBAdjust: the factors must be finite");
  auto make = [](double mul, double bias, double gamma) {
    Lut l;
    for (int i = 0; i < 256; ++i) {
      double v = i * mul + bias;
      if (gamma != 1.0)
        v = std::pow(std::clamp(v, 0.0, 255.0) / 255.0, 1.0 / gamma) * 255.0;
      l[i] = Clamp(v);
    }
    return l;
  };
  return std::make_shared<LutFilter>(std::move(child), make(p.b, p.bb, p.bg), make(p.g, p.gb, p.gg),
                                     make(p.r, p.rb, p.rg), make(p.a, p.ab, p.ag));
}

ClipPtr MakeGreyscale(ClipPtr child) {
  if (IsYuv(child->info().format)) {
    Lut flat;
    flat.fill(128);
    return std::make_shared<LutFilter>(std::move(child), Identity(), flat, flat, Identity());
  }
  class GreyRgb : public Filter {
  public:
    using Filter::Filter;
    FramePtr frame(int n) override {
      auto out = std::make_shared<Frame>(*childFrame(n));
      const int bpp = BytesPerPixel(out->format);
      for (int y = 0; y < out->height; ++y) {
        std::uint8_t *r = out->row(0, y);
        for (int x = 0; x < out->width; ++x, r += bpp)
          r[0] = r[1] = r[2] = Clamp(0.114 * r[0] + 0.587 * r[1] + 0.299 * r[2]);
      }
      return out;
    }
  };
  return std::make_shared<GreyRgb>(std::move(child));
}

ClipPtr MakeLevels(ClipPtr child, const LevelsParams &p) {
  if (p.inHigh == p.inLow)
    throw EngineError("Levels: the input low and high must differ");
  if (!(p.gamma > 0) || !std::isfinite(p.gamma))
    throw EngineError("Levels: gamma must be greater than 0");
  const bool yuv = IsYuv(child->info().format);
  const bool core = yuv && p.coring;
  Lut main, chroma;
  const double span = static_cast<double>(p.inHigh - p.inLow);
  for (int i = 0; i < 256; ++i) {
    double v = core ? (std::clamp(i, 16, 235) - 16) * 255.0 / 219.0 : i;
    v = std::clamp((v - p.inLow) / span, 0.0, 1.0);
    v = std::pow(v, 1.0 / p.gamma) * (p.outHigh - p.outLow) + p.outLow;
    if (core)
      v = v * 219.0 / 255.0 + 16;
    main[i] = Clamp(v);
    chroma[i] = Clamp((i - 128) * (p.outHigh - p.outLow) / span + 128, core ? 16 : 0, core ? 240 : 255);
  }
  if (yuv)
    return std::make_shared<LutFilter>(std::move(child), main, chroma, chroma, Identity());
  return std::make_shared<LutFilter>(std::move(child), main, main, main, Identity());
}

} // namespace reelwork::engine::filters
