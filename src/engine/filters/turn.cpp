// Filters that move pixels within the picture: quarter and half turns, the
// horizontal mirror, and the 2:1 reductions with their (1,2,1)/4 kernel.

#include <algorithm>

#include "engine/filters/filter_base.h"
#include "engine/filters/filters.h"
#include "engine/filters/frame_ops.h"

namespace reelwork::engine::filters {

namespace {

std::string Str(int v) { return std::to_string(v); }

// A zeroed frame of a clip's format and size.
std::shared_ptr<Frame> EmptyFrame(const ClipInfo &vi) {
  auto out = std::make_shared<Frame>();
  out->allocate(vi.format, vi.width, vi.height);
  return out;
}

// Formats whose chroma is halved across but not down (YUY2 and YV16): a
// quarter turn would leave it halved down, so each turned chroma sample is the
// rounded mean of the two that fall side by side, and serves two rows.
bool HalfWidthChromaOnly(PixelFormat f) { return f == PixelFormat::YUY2 || f == PixelFormat::YV16; }

// Reads and writes the samples of a frame by plane, column and row, whatever
// the format's packing: YUY2 and YV16 chroma are at half the width.
struct Samples {
  // Plane index of channel c (0 luma or packed pixel, 1 U, 2 V) and the byte
  // of sample column x in its row.
  static int plane(PixelFormat f, int c) { return f == PixelFormat::YUY2 ? 0 : c; }
  static int offset(PixelFormat f, int c, int x) {
    if (f == PixelFormat::YUY2)
      return c == 0 ? 2 * x : 4 * x + (c == 1 ? 1 : 3);
    return x;
  }
};

enum class TurnKind { Left, Right, Half };

class Turn : public Filter {
public:
  Turn(ClipPtr child, TurnKind kind) : Filter(std::move(child)), kind_(kind) {
    if (kind_ != TurnKind::Half)
      std::swap(vi_.width, vi_.height);
  }

  FramePtr frame(int n) override {
    FramePtr src = childFrame(n);
    auto out = EmptyFrame(vi_);
    const PixelFormat f = vi_.format;
    if (IsRgb(f)) {
      turnPlane(*src, 0, *out, 0, BytesPerPixel(f), src->width, src->height);
      return out;
    }
    if (f == PixelFormat::YUY2) {
      turnLuma(*src, *out);
      turnHalfWidthChroma(*src, *out);
      return out;
    }
    for (int p = 0; p < PlaneCount(f); ++p) {
      if (p > 0 && f == PixelFormat::YV16 && kind_ != TurnKind::Half)
        continue;
      turnPlane(*src, p, *out, p, 1, PlaneRowBytes(*src, p), PlaneRows(*src, p));
    }
    if (f == PixelFormat::YV16 && kind_ != TurnKind::Half)
      turnHalfWidthChroma(*src, *out);
    return out;
  }

private:
  // Source column and row of the turned picture's (x, y), for a plane of
  // w x h samples before the turn.
  void sourceOf(int x, int y, int w, int h, int &sx, int &sy) const {
    sx = x;
    sy = y;
    switch (kind_) {
    case TurnKind::Left:
      sx = w - 1 - y;
      sy = x;
      break;
    case TurnKind::Right:
      sx = y;
      sy = h - 1 - x;
      break;
    case TurnKind::Half:
      sx = w - 1 - x;
      sy = h - 1 - y;
      break;
    }
  }

  // A plane of w x h pixels of `bpp` bytes each, turned whole.
  void turnPlane(const Frame &src, int sp, Frame &dst, int dp, int bpp, int w, int h) const {
    const int ow = kind_ == TurnKind::Half ? w : h;
    const int oh = kind_ == TurnKind::Half ? h : w;
    for (int y = 0; y < oh; ++y) {
      std::uint8_t *d = dst.row(dp, y);
      for (int x = 0; x < ow; ++x) {
        int sx, sy;
        sourceOf(x, y, w, h, sx, sy);
        std::memcpy(d + x * bpp, src.row(sp, sy) + sx * bpp, bpp);
      }
    }
  }

  // YUY2's luma samples, turned as a plane.
  void turnLuma(const Frame &src, Frame &dst) const {
    for (int y = 0; y < dst.height; ++y)
      for (int x = 0; x < dst.width; ++x) {
        int sx, sy;
        sourceOf(x, y, src.width, src.height, sx, sy);
        dst.row(0, y)[2 * x] = src.row(0, sy)[2 * sx];
      }
  }

  // Chroma at half the width: a half turn mirrors its samples; a quarter
  // turn takes, for each pair of output columns, the two source rows they
  // come from and averages their samples at the source column.
  void turnHalfWidthChroma(const Frame &src, Frame &dst) const {
    const PixelFormat f = src.format;
    const int cw = dst.width / 2;
    for (int c = 1; c <= 2; ++c) {
      const int sp = Samples::plane(f, c), dp = sp;
      for (int y = 0; y < dst.height; ++y) {
        std::uint8_t *d = dst.row(dp, y);
        for (int k = 0; k < cw; ++k) {
          int sx0, sy0, sx1, sy1;
          sourceOf(2 * k, y, src.width, src.height, sx0, sy0);
          sourceOf(2 * k + 1, y, src.width, src.height, sx1, sy1);
          const int a = src.row(sp, sy0)[Samples::offset(f, c, sx0 >> 1)];
          const int b = src.row(sp, sy1)[Samples::offset(f, c, sx1 >> 1)];
          d[Samples::offset(f, c, k)] = static_cast<std::uint8_t>(kind_ == TurnKind::Half ? a : (a + b + 1) >> 1);
        }
      }
    }
  }

  TurnKind kind_;
};

class FlipHorizontal : public Filter {
public:
  explicit FlipHorizontal(ClipPtr child) : Filter(std::move(child)) {}
  FramePtr frame(int n) override {
    FramePtr src = childFrame(n);
    auto out = EmptyFrame(vi_);
    const PixelFormat f = vi_.format;
    if (f == PixelFormat::YUY2) {
      // Pairs of pixels change places and their two luma samples swap; the
      // chroma of each pair stays with it.
      const int pairs = vi_.width / 2;
      for (int y = 0; y < vi_.height; ++y) {
        const std::uint8_t *s = src->row(0, y);
        std::uint8_t *d = out->row(0, y);
        for (int k = 0; k < pairs; ++k) {
          const std::uint8_t *sp = s + 4 * (pairs - 1 - k);
          d[4 * k] = sp[2];
          d[4 * k + 1] = sp[1];
          d[4 * k + 2] = sp[0];
          d[4 * k + 3] = sp[3];
        }
      }
      return out;
    }
    const int bpp = IsRgb(f) ? BytesPerPixel(f) : 1;
    for (int p = 0; p < PlaneCount(f); ++p) {
      const int samples = PlaneRowBytes(*src, p) / bpp;
      for (int y = 0; y < PlaneRows(*src, p); ++y) {
        const std::uint8_t *s = src->row(p, y);
        std::uint8_t *d = out->row(p, y);
        for (int x = 0; x < samples; ++x)
          std::memcpy(d + x * bpp, s + (samples - 1 - x) * bpp, bpp);
      }
    }
    return out;
  }
};

// (a + 2b + c + 2) / 4 around sample `centre` of a line of `count` samples
// read through `at`; neighbours beyond the ends repeat the end sample.
template <typename At> std::uint8_t Kernel121(At at, int centre, int count) {
  const int a = at(std::clamp(centre - 1, 0, count - 1));
  const int b = at(std::clamp(centre, 0, count - 1));
  const int c = at(std::clamp(centre + 1, 0, count - 1));
  return static_cast<std::uint8_t>((a + 2 * b + c + 2) >> 2);
}

// Halves the width or the height. Output sample i is centred on source sample
// 2i + 1, except down RGB pictures, which are stored bottom up where this
// kernel was designed: there it is centred on source row 2i.
class ReduceBy2 : public Filter {
public:
  ReduceBy2(ClipPtr child, bool horizontal) : Filter(std::move(child)), horizontal_(horizontal) {
    (horizontal_ ? vi_.width : vi_.height) /= 2;
  }

  FramePtr frame(int n) override {
    FramePtr src = childFrame(n);
    auto out = EmptyFrame(vi_);
    const PixelFormat f = vi_.format;
    if (IsRgb(f)) {
      const int bpp = BytesPerPixel(f);
      for (int ch = 0; ch < bpp; ++ch)
        reduce(*src, *out, 0, ch, bpp, src->width, src->height, horizontal_ ? 1 : 0);
    } else if (f == PixelFormat::YUY2) {
      reduce(*src, *out, 0, 0, 2, src->width, src->height, 1);
      reduce(*src, *out, 0, 1, 4, src->width / 2, src->height, 1);
      reduce(*src, *out, 0, 3, 4, src->width / 2, src->height, 1);
    } else {
      for (int p = 0; p < PlaneCount(f); ++p)
        reduce(*src, *out, p, 0, 1, PlaneRowBytes(*src, p), PlaneRows(*src, p), 1);
    }
    return out;
  }

private:
  // One channel of plane p: samples start at byte `first` of each row and lie
  // `step` bytes apart, w x h of them in the source.
  void reduce(const Frame &src, Frame &dst, int p, int first, int step, int w, int h, int centreShift) const {
    const int ow = horizontal_ ? w / 2 : w;
    const int oh = horizontal_ ? h : h / 2;
    for (int y = 0; y < oh; ++y) {
      std::uint8_t *d = dst.row(p, y) + first;
      if (horizontal_) {
        const std::uint8_t *s = src.row(p, y) + first;
        for (int x = 0; x < ow; ++x)
          d[x * step] = Kernel121([&](int i) { return s[i * step]; }, 2 * x + centreShift, w);
      } else {
        for (int x = 0; x < ow; ++x)
          d[x * step] =
              Kernel121([&](int i) { return src.row(p, i)[first + x * step]; }, 2 * y + centreShift, h);
      }
    }
  }

  bool horizontal_;
};

} // namespace

ClipPtr MakeTurn(ClipPtr child, int quarters, const std::string &name) {
  const ClipInfo &vi = child->info();
  const TurnKind kind = quarters == 2 ? TurnKind::Half : quarters == 1 ? TurnKind::Right : TurnKind::Left;
  if (kind != TurnKind::Half && HalfWidthChromaOnly(vi.format) && (vi.height & 1))
    throw EngineError(name + ": a " + FormatName(vi.format) + " clip needs an even height to turn (it is " +
                      Str(vi.height) + ")");
  return std::make_shared<Turn>(std::move(child), kind);
}

ClipPtr MakeFlipHorizontal(ClipPtr child) { return std::make_shared<FlipHorizontal>(std::move(child)); }

ClipPtr MakeReduceBy2(ClipPtr child, bool horizontal, const std::string &name) {
  const ClipInfo &vi = child->info();
  const int side = horizontal ? vi.width : vi.height;
  const int multiple = 2 * (horizontal ? WidthMultiple(vi.format) : HeightMultiple(vi.format));
  if (side % multiple != 0)
    throw EngineError(name + ": the " + (horizontal ? "width" : "height") + " of a " + FormatName(vi.format) +
                      " clip must be a multiple of " + Str(multiple) + " (it is " + Str(side) + ")");
  return std::make_shared<ReduceBy2>(std::move(child), horizontal);
}

} // namespace reelwork::engine::filters
