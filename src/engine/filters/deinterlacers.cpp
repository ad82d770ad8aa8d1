// Field matching and deinterlacing: Telecide, TomsMoComp, FieldDeinterlace,
// SmoothDeinterlace and Repal. All of them work on the rows of the two fields
// of a frame (in 4:2:0 the chroma rows alternate between the fields too).

#include "engine/filters/deinterlacers.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "engine/filters/filter_base.h"
#include "engine/filters/frame_ops.h"
#include "engine/frame_cache.h"

namespace reelwork::engine::filters {

namespace {

std::string Str(int v) { return std::to_string(v); }

// Frame-based clips with whole fields: an even height, and in 4:2:0 a height
// that splits into fields with whole chroma rows.
void CheckFields(const std::string &name, const ClipInfo &vi) {
  if (vi.fieldBased)
    throw EngineError(name + ": the clip is field-based (Weave it first)");
  if (vi.height < 4 || (vi.height & 1))
    throw EngineError(name + ": the height (" + Str(vi.height) + ") must be even and at least 4");
  if (vi.format == PixelFormat::YV12 && (vi.height & 3))
    throw EngineError(name + ": YV12 height must be a multiple of 4 (it is " + Str(vi.height) + ")");
}

// Whether b sticks out of both vertical neighbours in the same direction by
// more than t.
inline bool Combs(int a, int b, int c, int t) { return (b - a > t && b - c > t) || (a - b > t && c - b > t); }

// Distance in bytes between horizontally neighbouring samples of the same
// component in plane p.
int SampleStep(PixelFormat f, int p) {
  switch (f) {
  case PixelFormat::YUY2:
    return p == 0 ? 4 : 1; // a whole Y U Y V group keeps the component
  case PixelFormat::RGB24:
    return 3;
  case PixelFormat::RGB32:
    return 4;
  default:
    return 1;
  }
}

// Whether row y of plane p belongs to the top field.
inline bool TopRow(int y) { return (y & 1) == 0; }

// Frame `keep` with the rows of its other field taken from `other`.
Frame Weave(const Frame &keep, bool keepTop, const Frame &other) {
  Frame out = keep;
  for (int p = 0; p < PlaneCount(keep.format); ++p) {
    const int bytes = PlaneRowBytes(keep, p);
    for (int y = 0; y < PlaneRows(keep, p); ++y)
      if (TopRow(y) != keepTop)
        std::memcpy(out.row(p, y), other.row(p, y), static_cast<size_t>(bytes));
  }
  return out;
}

// Rows of the field that is not `keepTop`: a sample that combs against its
// vertical neighbours by more than t is interpolated from them, along the
// edge direction with the smallest difference within `reach` samples.
void RepairCombs(Frame &f, bool keepTop, int t, int reach) {
  const Frame src = f;
  for (int p = 0; p < PlaneCount(f.format); ++p) {
    const int rows = PlaneRows(f, p);
    const int bytes = PlaneRowBytes(f, p);
    const int step = SampleStep(f.format, p);
    for (int y = 0; y < rows; ++y) {
      if (TopRow(y) == keepTop)
        continue;
      // At the picture's edge the one neighbour stands in for both.
      const std::uint8_t *above = src.row(p, y > 0 ? y - 1 : y + 1);
      const std::uint8_t *below = src.row(p, y + 1 < rows ? y + 1 : y - 1);
      const std::uint8_t *own = src.row(p, y);
      std::uint8_t *out = f.row(p, y);
      for (int x = 0; x < bytes; ++x) {
        if (!Combs(above[x], own[x], below[x], t))
          continue;
        int best = std::abs(above[x] - below[x]);
        int value = (above[x] + below[x] + 1) >> 1;
        for (int d = 1; d <= reach; ++d) {
          for (int sign : {-1, 1}) {
            const int xa = x + sign * d * step, xb = x - sign * d * step;
            if (xa < 0 || xb < 0 || xa >= bytes || xb >= bytes)
              continue;
            const int diff = std::abs(above[xa] - below[xb]);
            if (diff < best) {
              best = diff;
              value = (above[xa] + below[xb] + 1) >> 1;
            }
          }
        }
        out[x] = static_cast<std::uint8_t>(value);
      }
    }
  }
}

// Where a sample combs, it and its neighbours' mean are mixed: both fields
// meet half way, so the comb gives way to a soft double picture.
void BlendCombs(Frame &f, int t) {
  const Frame src = f;
  for (int p = 0; p < PlaneCount(f.format); ++p) {
    const int rows = PlaneRows(f, p);
    const int bytes = PlaneRowBytes(f, p);
    for (int y = 1; y + 1 < rows; ++y) {
      const std::uint8_t *above = src.row(p, y - 1), *own = src.row(p, y), *below = src.row(p, y + 1);
      std::uint8_t *out = f.row(p, y);
      for (int x = 0; x < bytes; ++x)
        if (Combs(above[x], own[x], below[x], t))
          out[x] = static_cast<std::uint8_t>((above[x] + 2 * own[x] + below[x] + 2) >> 2);
    }
  }
}

bool FirstFieldTop(const Clip &child, int order) {
  if (order == 0 || order == 1)
    return order == 1;
  return child.info().parity == FieldParity::Top;
}

// Neighbouring frames are read more than once: a few are kept.
ClipPtr Cached(ClipPtr clip) { return std::make_shared<FrameCache>(std::move(clip), 8); }

class Telecide : public Filter {
public:
  Telecide(ClipPtr child, const TelecideParams &p)
      : Filter(Cached(std::move(child))), p_(p), keepTop_(FirstFieldTop(*child_, p.order)) {}

  FramePtr frame(int n) override {
    FramePtr cur = childFrame(n);
    Frame best;
    int bestMetric = std::numeric_limits<int>::max();
    // The current frame's own other field first: it wins ties.
    for (int k : {n, n - 1, n + 1}) {
      if (k < 0 || k >= vi_.frameCount)
        continue;
      Frame woven = k == n ? *cur : Weave(*cur, keepTop_, *childFrame(k));
      const int metric = CombMetric(woven, kMatchThreshold);
      if (metric < bestMetric) {
        bestMetric = metric;
        best = std::move(woven);
      }
    }
    // post 0 leaves the matched frame alone and 1 only measures it; from 2
    // on, a frame that no field match could clean is deinterlaced.
    if (p_.post >= 2 && bestMetric > p_.vthresh)
      RepairCombs(best, keepTop_, p_.dthresh, 0);
    return std::make_shared<Frame>(std::move(best));
  }

private:
  static constexpr int kMatchThreshold = 10; // above the noise of a decoded picture
  TelecideParams p_;
  bool keepTop_;
};

class TomsMoComp : public Filter {
public:
  TomsMoComp(ClipPtr child, int topFirst, int searchEffort)
      : Filter(std::move(child)), keepTop_(FirstFieldTop(*child_, topFirst)),
        reach_(std::clamp(searchEffort / 5 + 1, 1, 4)) {}
  FramePtr frame(int n) override {
    Frame f = *childFrame(n);
    RepairCombs(f, keepTop_, kThreshold, reach_);
    return std::make_shared<Frame>(std::move(f));
  }

private:
  static constexpr int kThreshold = 8;
  bool keepTop_;
  int reach_;
};

class FieldDeinterlace : public Filter {
public:
  FieldDeinterlace(ClipPtr child, const FieldDeinterlaceParams &p)
      : Filter(std::move(child)), p_(p), keepTop_(FirstFieldTop(*child_, -1)) {}
  FramePtr frame(int n) override {
    FramePtr src = childFrame(n);
    if (!p_.full && CombMetric(*src, p_.dthreshold) <= p_.threshold)
      return src;
    Frame f = *src;
    if (p_.blend)
      BlendCombs(f, p_.dthreshold);
    else
      RepairCombs(f, keepTop_, p_.dthreshold, 0);
    return std::make_shared<Frame>(std::move(f));
  }

private:
  FieldDeinterlaceParams p_;
  bool keepTop_;
};

class SmoothDeinterlace : public Filter {
public:
  SmoothDeinterlace(ClipPtr child, int tff, bool doubleRate, int lacethresh)
      : Filter(std::move(child)), top_(FirstFieldTop(*child_, tff)), double_(doubleRate),
        lacethresh_(lacethresh) {
    vi_.parity = top_ ? FieldParity::Top : FieldParity::Bottom;
    if (double_) {
      if (vi_.frameCount > std::numeric_limits<int>::max() / 2)
        throw EngineError("SmoothDeinterlace: the clip has too many frames");
      vi_.frameCount *= 2;
      ScaleRate(vi_, 2, 1);
    }
  }
  FramePtr frame(int n) override {
    Frame f = *childFrame(double_ ? n / 2 : n);
    RepairCombs(f, topField(n), lacethresh_, 1);
    return std::make_shared<Frame>(std::move(f));
  }
  // The field a frame keeps: the first of its source frame, then the second.
  bool topField(int n) const override { return double_ && (n & 1) ? !top_ : top_; }

private:
  bool top_;
  bool double_;
  int lacethresh_;
};

class Repal : public Filter {
public:
  explicit Repal(ClipPtr child) : Filter(std::move(child)) {
    vi_.frameCount = std::max(1, static_cast<int>(static_cast<long long>(vi_.frameCount) * 5 / 12));
    ScaleRate(vi_, 5, 12);
  }
  FramePtr frame(int n) override { return childFrame(sourceOf(n)); }
  bool topField(int n) const override { return TopFieldOf(*child_, sourceOf(n)); }

private:
  // Five frames spread evenly over each twelve.
  static int sourceOf(int n) {
    static const int kPick[5] = {1, 3, 6, 8, 10};
    return static_cast<int>(static_cast<long long>(n / 5) * 12 + kPick[n % 5]);
  }
};

} // namespace

int CombMetric(const Frame &f, int threshold) {
  const int rows = PlaneRows(f, 0);
  const int bytes = PlaneRowBytes(f, 0);
  // Luma only: every second byte of YUY2, and no alpha in RGB32.
  const int step = f.format == PixelFormat::YUY2 ? 2 : 1;
  long long combed = 0, total = 0;
  for (int y = 1; y + 1 < rows; ++y) {
    const std::uint8_t *a = f.row(0, y - 1), *b = f.row(0, y), *c = f.row(0, y + 1);
    for (int x = 0; x < bytes; x += step) {
      if (f.format == PixelFormat::RGB32 && (x & 3) == 3)
        continue;
      ++total;
      if (Combs(a[x], b[x], c[x], threshold))
        ++combed;
    }
  }
  return total == 0 ? 0 : static_cast<int>(combed * 10000 / total);
}

ClipPtr MakeTelecide(ClipPtr child, const TelecideParams &p) {
  CheckFields("Telecide", child->info());
  if (p.order < -1 || p.order > 1)
    throw EngineError("Telecide: order must be 0 (bottom field first) or 1 (top field first), not " + Str(p.order));
  if (p.post < 0 || p.post > 5)
    throw EngineError("Telecide: post must lie between 0 and 5 (it is " + Str(p.post) + ")");
  if (p.vthresh < 0 || p.dthresh < 0)
    throw EngineError("Telecide: the thresholds must not be negative");
  return std::make_shared<Telecide>(std::move(child), p);
}

ClipPtr MakeTomsMoComp(ClipPtr child, int topFirst, int searchEffort) {
  CheckFields("TomsMoComp", child->info());
  if (topFirst < -1 || topFirst > 1)
    throw EngineError("TomsMoComp: TopFirst must be -1, 0 or 1 (it is " + Str(topFirst) + ")");
  if (searchEffort < -1 || searchEffort > 45)
    throw EngineError("TomsMoComp: SearchEffort must lie between -1 and 45 (it is " + Str(searchEffort) + ")");
  return std::make_shared<TomsMoComp>(std::move(child), topFirst, searchEffort);
}

ClipPtr MakeFieldDeinterlace(ClipPtr child, const FieldDeinterlaceParams &p) {
  CheckFields("FieldDeinterlace", child->info());
  if (p.threshold < 0 || p.dthreshold < 0)
    throw EngineError("FieldDeinterlace: the thresholds must not be negative");
  return std::make_shared<FieldDeinterlace>(std::move(child), p);
}

ClipPtr MakeSmoothDeinterlace(ClipPtr child, int tff, bool doubleRate, int lacethresh) {
  CheckFields("SmoothDeinterlace", child->info());
  if (lacethresh < 0 || lacethresh > 255)
    throw EngineError("SmoothDeinterlace: lacethresh must lie between 0 and 255 (it is " + Str(lacethresh) + ")");
  return std::make_shared<SmoothDeinterlace>(std::move(child), tff, doubleRate, lacethresh);
}

ClipPtr MakeRepal(ClipPtr child) {
  if (child->info().frameCount <= 0)
    throw EngineError("Repal: the clip has no frames");
  return std::make_shared<Repal>(std::move(child));
}

} // namespace reelwork::engine::filters
