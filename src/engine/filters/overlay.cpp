// Overlay: one clip laid over another at an offset, through an optional grey
// mask and an opacity, in one of the blend modes scripts use. The result has
// the base clip's size, format, frame count and rate.

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "engine/filters/filter_base.h"
#include "engine/filters/filters.h"
#include "engine/filters/frame_ops.h"

namespace reelwork::engine::filters {

namespace {

enum class Mode {
  Blend, Add, Subtract, Multiply, Chroma, Luma, Lighten, Darken, Difference, Exclusion, SoftLight, HardLight
};

std::uint8_t Clamp8(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

// Modes worked on luma and chroma together, each sample with the chroma at
// its place (planar and YUY2 pictures).
bool IsJoint(Mode m) {
  return m == Mode::SoftLight || m == Mode::HardLight || m == Mode::Difference || m == Mode::Add ||
         m == Mode::Subtract;
}

// The joint modes, on full-range samples (0..255, no studio-range offsets).
// Add adds the overlay's luma and its chroma's difference from grey; subtract
// takes them away. Soft light adds the overlay's difference from mid-grey to
// the base (luma and chroma alike); hard light adds twice the overlay's luma
// difference; difference is |base - overlay| + 128 in every plane. The
// result then moves from the base towards that value by the weight (mask
// times opacity, 0..255, rounded at each step). A luma that leaves 0..255 is
// cut there and takes the chroma of its sample with it: over 255 (or under
// 0) by d, the chroma moves d/32 of the way to grey, all the way from 32 on.
struct JointSample {
  int y;       // luma before it is cut to 0..255
  int u, v;    // chroma after the overbright/superdark correction, cut to 0..255
};

// x / 255 rounded, half towards zero, for either sign.
int Div255(int x) { return x >= 0 ? (x + 127) / 255 : -((-x + 127) / 255); }

JointSample Joint(Mode m, int by, int bu, int bv, int oy, int ou, int ov, int weight) {
  int y, u, v;
  if (m == Mode::Difference) {
    y = std::abs(by - oy) + 128;
    u = std::abs(bu - ou) + 128;
    v = std::abs(bv - ov) + 128;
  } else if (m == Mode::Add) {
    y = by + oy;
    u = bu + ou - 128;
    v = bv + ov - 128;
  } else if (m == Mode::Subtract) {
    y = by - oy;
    u = bu - ou + 128;
    v = bv - ov + 128;
  } else {
    y = m == Mode::HardLight ? by + 2 * oy - 256 : by + oy - 128;
    u = bu + ou - 128;
    v = bv + ov - 128;
  }
  if (weight < 255) {
    if (m == Mode::Difference) { // never below the base's scale: one rounded mix
      y = (y * weight + (255 - weight) * by + 127) / 255;
      u = (u * weight + (255 - weight) * bu + 127) / 255;
      v = (v * weight + (255 - weight) * bv + 127) / 255;
    } else {
      y = by + Div255(weight * (y - by));
      u = bu + Div255(weight * (u - bu));
      v = bv + Div255(weight * (v - bv));
    }
  }
  if (y > 255) {
    const int keep = std::max(0, 256 + 32 - y); // 32 at 256, 0 from 288 on
    u = (u * keep + 128 * (32 - keep)) >> 5;
    v = (v * keep + 128 * (32 - keep)) >> 5;
  } else if (y < 0) {
    const int grey = std::min(-y, 32);
    u = (u * (32 - grey) + 128 * grey) >> 5;
    v = (v * (32 - grey) + 128 * grey) >> 5;
  }
  return {y, std::clamp(u, 0, 255), std::clamp(v, 0, 255)};
}

// The overlay's value for one sample before the mask and opacity apply, on
// full-range samples. `luma` tells a luma sample from a chroma or RGB one,
// `rgb` an RGB one; the arithmetic modes work luma and each RGB colour, and
// keep the base's chroma. Lighten and darken decide by the luma of the two
// pictures at that place.
int Combine(Mode m, int base, int over, bool luma, int baseY, int overY, bool rgb = false) {
  const bool arithmetic = luma || rgb;
  switch (m) {
  case Mode::Blend:
    return over;
  case Mode::Add: // planar and YUY2 pictures take Joint()
    return arithmetic ? Clamp8(base + over) : base;
  case Mode::Subtract:
    return arithmetic ? Clamp8(base - over) : base;
  case Mode::Multiply: // white keeps the base, black gives black
    return arithmetic ? (base * over + 127) / 255 : base;
  case Mode::Chroma:
    return luma ? base : over;
  case Mode::Luma:
    return luma ? over : base;
  case Mode::Lighten:
    return overY > baseY ? over : base;
  case Mode::Darken:
    return overY < baseY ? over : base;
  case Mode::Difference: // worked by Joint(); RGB samples take its rule
    return Clamp8(std::abs(base - over) + 128);
  case Mode::Exclusion: // white inverts the base, black leaves it
    return arithmetic ? base + over - (2 * base * over + 127) / 255 : base;
  case Mode::SoftLight:
  case Mode::HardLight: // worked by Joint(); RGB samples take its luma rule
    return Clamp8(m == Mode::HardLight ? base + 2 * over - 256 : base + over - 128);
  }
  return over;
}

class Overlay : public Filter {
public:
  Overlay(ClipPtr base, ClipPtr over, ClipPtr mask, int x, int y, double opacity, Mode mode)
      : Filter(std::move(base)), over_(std::move(over)), mask_(std::move(mask)), x_(x), y_(y),
        opacity_(static_cast<int>(opacity * 256 + 0.5)), opacity255_(static_cast<int>(opacity * 255 + 0.5)),
        mode_(mode) {}

  FramePtr frame(int n) override {
    FramePtr b = childFrame(n);
    FramePtr o = over_->frame(std::clamp(n, 0, over_->info().frameCount - 1));
    FramePtr m = mask_ ? mask_->frame(std::clamp(n, 0, mask_->info().frameCount - 1)) : nullptr;
    auto out = std::make_shared<Frame>(*b);
    switch (vi_.format) {
    case PixelFormat::YV12:
    case PixelFormat::YV16:
    case PixelFormat::YV24:
    case PixelFormat::Y8:
      if (IsJoint(mode_))
        jointPlanar(*out, *o, m.get());
      else
        planar(*out, *o, m.get());
      break;
    case PixelFormat::YUY2:
      if (IsJoint(mode_)) {
        jointYuy2(*out, *o, m.get());
        break;
      }
      packed(*out, *o, m.get());
      break;
    case PixelFormat::RGB24:
    case PixelFormat::RGB32:
      packed(*out, *o, m.get());
      break;
    }
    return out;
  }

private:
  // Weight 0..256 of the overlay at a mask value.
  int weight(int maskValue) const { return (opacity_ * (maskValue + (maskValue >> 7))) >> 8; }
  // The joint modes' weight 0..255 at a mask value: the mask scaled by the
  // opacity, rounded.
  int jointWeight(int maskValue) const {
    return opacity255_ == 255 ? maskValue : (maskValue * opacity255_ + 127) / 255;
  }
  static std::uint8_t Mix(int base, int over, int w) { return static_cast<std::uint8_t>((base * (256 - w) + over * w + 128) >> 8); }

  // Luma, then each chroma sample at its place in the overlay, the mask
  // averaged over the luma samples the chroma sample covers (2x2 in YV12,
  // 2x1 in YV16, one in YV24; Y8 has no chroma).
  void planar(Frame &out, const Frame &o, const Frame *m) const {
    const int x0 = std::max(0, x_), y0 = std::max(0, y_);
    const int x1 = std::min(out.width, x_ + o.width), y1 = std::min(out.height, y_ + o.height);
    for (int y = y0; y < y1; ++y) {
      std::uint8_t *d = out.row(0, y);
      const std::uint8_t *s = o.row(0, y - y_);
      const std::uint8_t *k = m ? m->row(0, y - y_) : nullptr;
      for (int x = x0; x < x1; ++x) {
        const int w = weight(k ? k[x - x_] : 255);
        d[x] = Mix(d[x], Combine(mode_, d[x], s[x - x_], true, d[x], s[x - x_]), w);
      }
    }
    if (PlaneCount(out.format) < 3)
      return;
    const int sx = 1 << ChromaShiftX(out.format), sy = 1 << ChromaShiftY(out.format), n = sx * sy;
    const int ocw = (o.width + sx - 1) / sx - 1, och = (o.height + sy - 1) / sy - 1;
    for (int cy = (y0 + sy - 1) / sy; cy < y1 / sy; ++cy) {
      const int oy = sy * cy - y_;
      for (int cx = (x0 + sx - 1) / sx; cx < x1 / sx; ++cx) {
        const int ox = sx * cx - x_;
        const int oxc = std::clamp(ox / sx, 0, ocw), oyc = std::clamp(oy / sy, 0, och);
        int k = 255;
        if (m) {
          int sum = 0;
          for (int j = 0; j < sy; ++j)
            for (int i = 0; i < sx; ++i)
              sum += m->row(0, std::min(oy + j, o.height - 1))[std::min(ox + i, o.width - 1)];
          k = (sum + n / 2) / n;
        }
        const int w = weight(k);
        const int baseY = out.row(0, sy * cy)[sx * cx], overY = o.row(0, oy)[ox];
        for (int p = 1; p <= 2; ++p) {
          std::uint8_t &d = out.row(p, cy)[cx];
          const int s = o.row(p, oyc)[oxc];
          d = Mix(d, Combine(mode_, d, s, false, baseY, overY), w);
        }
      }
    }
  }

  // The joint modes work on every luma sample with the chroma at its place;
  // each chroma sample of the result is the mean of the values the luma
  // samples it covers give it (they differ where the luma is cut or the mask
  // varies).
  void jointPlanar(Frame &out, const Frame &o, const Frame *m) const {
    const int x0 = std::max(0, x_), y0 = std::max(0, y_);
    const int x1 = std::min(out.width, x_ + o.width), y1 = std::min(out.height, y_ + o.height);
    if (PlaneCount(out.format) == 3) {
      const int sx = 1 << ChromaShiftX(out.format), sy = 1 << ChromaShiftY(out.format), n = sx * sy;
      const int ocw = (o.width + sx - 1) / sx - 1, och = (o.height + sy - 1) / sy - 1;
      auto sampleAt = [&](int x, int y, int bu, int bv) {
        const int ox = x - x_, oy = y - y_;
        const int w = jointWeight(m ? m->row(0, oy)[ox] : 255);
        const int oxc = std::clamp(ox / sx, 0, ocw), oyc = std::clamp(oy / sy, 0, och);
        return Joint(mode_, out.row(0, y)[x], bu, bv, o.row(0, oy)[ox], o.row(1, oyc)[oxc], o.row(2, oyc)[oxc], w);
      };
      // Chroma first, from the luma the base still has.
      for (int cy = (y0 + sy - 1) / sy; cy < y1 / sy; ++cy)
        for (int cx = (x0 + sx - 1) / sx; cx < x1 / sx; ++cx) {
          std::uint8_t &u = out.row(1, cy)[cx];
          std::uint8_t &v = out.row(2, cy)[cx];
          int su = 0, sv = 0;
          for (int k = 0; k < n; ++k) {
            const JointSample s = sampleAt(sx * cx + k % sx, sy * cy + k / sx, u, v);
            su += s.u;
            sv += s.v;
          }
          u = static_cast<std::uint8_t>((su + n / 2) / n);
          v = static_cast<std::uint8_t>((sv + n / 2) / n);
        }
    }
    for (int y = y0; y < y1; ++y) {
      std::uint8_t *d = out.row(0, y);
      const std::uint8_t *s = o.row(0, y - y_);
      const std::uint8_t *k = m ? m->row(0, y - y_) : nullptr;
      for (int x = x0; x < x1; ++x)
        d[x] = Clamp8(Joint(mode_, d[x], 128, 128, s[x - x_], 128, 128, jointWeight(k ? k[x - x_] : 255)).y);
    }
  }

  // YUY2 in the joint modes: as jointPlanar, the chroma of a pair the mean
  // of what its two luma samples give it.
  void jointYuy2(Frame &out, const Frame &o, const Frame *m) const {
    const int x0 = (std::max(0, x_) + 1) & ~1, x1 = std::min(out.width, x_ + o.width) & ~1;
    const int y0 = std::max(0, y_), y1 = std::min(out.height, y_ + o.height);
    for (int y = y0; y < y1; ++y) {
      std::uint8_t *d = out.row(0, y);
      const std::uint8_t *s = o.row(0, y - y_);
      const std::uint8_t *k = m ? m->row(0, y - y_) : nullptr;
      for (int x = x0; x < x1; x += 2) {
        std::uint8_t *dp = d + 2 * x;
        const int ox = x - x_;
        // The overlay's pair starts at an even sample of its own row.
        const std::uint8_t *pair = s + 2 * (ox & ~1);
        int su = 0, sv = 0;
        int ys[2];
        for (int j = 0; j < 2; ++j) {
          const int w = jointWeight(k ? k[2 * (ox + j)] : 255);
          const JointSample r = Joint(mode_, dp[2 * j], dp[1], dp[3], s[2 * (ox + j)], pair[1], pair[3], w);
          ys[j] = r.y;
          su += r.u;
          sv += r.v;
        }
        dp[0] = Clamp8(ys[0]);
        dp[2] = Clamp8(ys[1]);
        dp[1] = static_cast<std::uint8_t>((su + 1) >> 1);
        dp[3] = static_cast<std::uint8_t>((sv + 1) >> 1);
      }
    }
  }

  // YUY2 (luma at even bytes, chroma at odd ones) and RGB (every byte a
  // colour, luma estimated from the three).
  void packed(Frame &out, const Frame &o, const Frame *m) const {
    const PixelFormat f = vi_.format;
    const int bpp = BytesPerPixel(f);
    int x0 = std::max(0, x_), x1 = std::min(out.width, x_ + o.width);
    if (f == PixelFormat::YUY2) {
      x0 = (x0 + 1) & ~1; // whole pairs, so that chroma stays with its luma
      x1 &= ~1;
    }
    const int y0 = std::max(0, y_), y1 = std::min(out.height, y_ + o.height);
    auto lumaOf = [f](const std::uint8_t *px) {
      return f == PixelFormat::YUY2 ? px[0] : (px[0] + 2 * px[1] + px[2]) >> 2;
    };
    for (int y = y0; y < y1; ++y) {
      std::uint8_t *d = out.row(0, y);
      const std::uint8_t *s = o.row(0, y - y_);
      const std::uint8_t *k = m ? m->row(0, y - y_) : nullptr;
      for (int x = x0; x < x1; ++x) {
        const int ox = x - x_;
        std::uint8_t *dp = d + x * bpp;
        const std::uint8_t *sp = s + ox * bpp;
        const int w = weight(k ? lumaOf(k + ox * bpp) : 255);
        const int baseY = lumaOf(dp), overY = lumaOf(sp);
        const int channels = f == PixelFormat::RGB32 ? 3 : bpp;
        for (int c = 0; c < channels; ++c) {
          const bool luma = f == PixelFormat::YUY2 && c == 0;
          dp[c] = Mix(dp[c], Combine(mode_, dp[c], sp[c], luma, baseY, overY, IsRgb(f)), w);
        }
      }
    }
  }

  ClipPtr over_, mask_;
  int x_, y_;
  int opacity_;    // 0..256, the weight of the overlay where the mask is white
  int opacity255_; // 0..255, the same for the joint modes
  Mode mode_;
};

} // namespace

ClipPtr MakeOverlay(ClipPtr base, ClipPtr over, ClipPtr mask, const OverlayParams &p) {
  static const std::pair<const char *, Mode> modes[] = {
      {"blend", Mode::Blend},       {"add", Mode::Add},         {"subtract", Mode::Subtract},
      {"multiply", Mode::Multiply}, {"chroma", Mode::Chroma},   {"luma", Mode::Luma},
      {"lighten", Mode::Lighten},   {"darken", Mode::Darken},   {"difference", Mode::Difference},
      {"exclusion", Mode::Exclusion}, {"softlight", Mode::SoftLight}, {"hardlight", Mode::HardLight},
  };
  std::string name = p.mode;
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const auto *found = std::find_if(std::begin(modes), std::end(modes), [&](const auto &e) { return name == e.first; });
  if (found == std::end(modes))
    throw EngineError("Overlay: unknown mode \"" + p.mode + "\"");
  if (!(p.opacity >= 0) || p.opacity > 1)
    throw EngineError("Overlay: opacity must lie between 0 and 1");
  const ClipInfo &vi = base->info();
  if (over->info().frameCount <= 0 || (mask && mask->info().frameCount <= 0))
    throw EngineError("Overlay: the overlay or the mask has no frames");
  if (over->info().format != vi.format)
    over = MakeConvert(over, vi.format, false, "Overlay");
  if (mask) {
    if (mask->info().width != over->info().width || mask->info().height != over->info().height)
      throw EngineError("Overlay: the mask must have the overlay's size");
    if (mask->info().format != vi.format)
      mask = MakeConvert(mask, vi.format, false, "Overlay");
  }
  // Offsets far outside the picture leave it as it is.
  const int limit = 1 << 20;
  const int x = std::clamp(p.x, -limit, limit), y = std::clamp(p.y, -limit, limit);
  return std::make_shared<Overlay>(std::move(base), std::move(over), std::move(mask), x, y, p.opacity,
                                   found->second);
}

} // namespace reelwork::engine::filters
