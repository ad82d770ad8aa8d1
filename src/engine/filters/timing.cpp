// Filters that build a clip's frames from the frames of other clips over
// time: Interleave, SelectRangeEvery, Dissolve (and the fades built on it)
// and ConvertFPS's blending.

#include <algorithm>
#include <limits>

#include "engine/filters/filter_base.h"
#include "engine/filters/filters.h"
#include "engine/filters/frame_ops.h"

namespace reelwork::engine::filters {

namespace {

std::string Str(long long v) { return std::to_string(v); }

// (a * (32768 - w) + b * w + 16384) >> 15 over every byte of every plane.
FramePtr WeightedMerge(const Frame &a, const Frame &b, int w) {
  auto out = std::make_shared<Frame>(a);
  const int inv = 32768 - w;
  for (int p = 0; p < PlaneCount(a.format); ++p) {
    const int bytes = PlaneRowBytes(a, p);
    for (int y = 0; y < PlaneRows(a, p); ++y) {
      const std::uint8_t *pa = a.row(p, y), *pb = b.row(p, y);
      std::uint8_t *d = out->row(p, y);
      for (int x = 0; x < bytes; ++x)
        d[x] = static_cast<std::uint8_t>((pa[x] * inv + pb[x] * w + 16384) >> 15);
    }
  }
  return out;
}

void CheckSameFormat(const std::string &name, const ClipInfo &x, const ClipInfo &y) {
  if (x.width != y.width || x.height != y.height)
    throw EngineError(name + ": the clips differ in size (" + Str(x.width) + "x" + Str(x.height) + " and " +
                      Str(y.width) + "x" + Str(y.height) + ")");
  if (x.format != y.format)
    throw EngineError(name + ": the clips differ in pixel format (" + FormatName(x.format) + " and " +
                      FormatName(y.format) + ")");
}

// Frame n comes from clip n % N, its frame n / N.
class Interleave : public ParityClip {
public:
  Interleave(std::vector<ClipPtr> clips, int count) : clips_(std::move(clips)), vi_(clips_[0]->info()) {
    vi_.frameCount = count;
    ScaleRate(vi_, static_cast<long long>(clips_.size()), 1);
  }
  const ClipInfo &info() const override { return vi_; }
  FramePtr frame(int n) override {
    const ClipPtr &c = clips_[static_cast<size_t>(n) % clips_.size()];
    const int k = std::min(n / static_cast<int>(clips_.size()), c->info().frameCount - 1);
    return c->frame(std::max(k, 0));
  }
  bool topField(int n) const override {
    const ClipPtr &c = clips_[static_cast<size_t>(n) % clips_.size()];
    return TopFieldOf(*c, n / static_cast<int>(clips_.size()));
  }

private:
  std::vector<ClipPtr> clips_;
  ClipInfo vi_;
};

// `length` frames of every `every`, from frame `offset` on.
class SelectRangeEvery : public Filter {
public:
  SelectRangeEvery(ClipPtr child, int every, int length, int offset, int count)
      : Filter(std::move(child)), every_(every), length_(length), offset_(offset) {
    vi_.frameCount = count;
    if (count > 0)
      vi_.parity = TopFieldOf(*child_, map(0)) ? FieldParity::Top : FieldParity::Bottom;
  }
  FramePtr frame(int n) override { return childFrame(map(n)); }
  bool topField(int n) const override { return TopFieldOf(*child_, map(n)); }

private:
  int map(int n) const {
    const long long k = static_cast<long long>(n / length_) * every_ + n % length_ + offset_;
    return static_cast<int>(std::min<long long>(k, std::numeric_limits<int>::max()));
  }
  int every_, length_, offset_;
};

// The last `overlap` frames of a blend into the first of b; the rest of b
// follows.
class Dissolve : public ParityClip {
public:
  Dissolve(ClipPtr a, ClipPtr b, int overlap) : a_(std::move(a)), b_(std::move(b)), overlap_(overlap), vi_(a_->info()) {
    start_ = std::max(0, a_->info().frameCount - overlap);
    end_ = a_->info().frameCount - 1;
    vi_.frameCount = start_ + b_->info().frameCount;
  }
  const ClipInfo &info() const override { return vi_; }
  FramePtr frame(int n) override {
    if (n < start_)
      return a_->frame(n);
    const int nb = std::min(n - start_, b_->info().frameCount - 1);
    if (n > end_)
      return b_->frame(nb);
    FramePtr fa = a_->frame(std::min(n, a_->info().frameCount - 1));
    FramePtr fb = b_->frame(nb);
    const double weight = (n - end_ + overlap_) / (overlap_ + 1.0);
    return WeightedMerge(*fa, *fb, static_cast<int>(static_cast<float>(weight) * 32768.0f + 0.5f));
  }
  bool topField(int n) const override { return n < start_ ? TopFieldOf(*a_, n) : TopFieldOf(*b_, n - start_); }

private:
  ClipPtr a_, b_;
  int overlap_;
  int start_ = 0, end_ = 0;
  ClipInfo vi_;
};

// Frames at the new rate, each a blend of the two source frames around its
// time (frames within 1/16 of a source frame show that frame).
class ConvertFps : public Filter {
public:
  ConvertFps(ClipPtr child, int num, int den, int count) : Filter(std::move(child)) {
    fa_ = static_cast<long long>(vi_.rateNum) * den;
    fb_ = static_cast<long long>(vi_.rateDen) * num;
    vi_.rateNum = num;
    vi_.rateDen = den;
    ScaleRate(vi_, 1, 1);
    vi_.frameCount = count;
  }
  FramePtr frame(int n) override {
    const long long src = n * fa_ / fb_;
    const double frac = static_cast<double>((n * fa_) % fb_) / static_cast<double>(fb_);
    const int s = static_cast<int>(src);
    constexpr double threshold = 1.0 / 16.0;
    if (frac < threshold)
      return childFrame(s);
    if (frac > 1.0 - threshold)
      return childFrame(s + 1);
    FramePtr a = childFrame(s), b = childFrame(s + 1);
    return WeightedMerge(*a, *b, static_cast<int>(static_cast<float>(frac) * 32768.0f + 0.5f));
  }
  bool topField(int n) const override { return TopFieldOf(*child_, static_cast<int>(n * fa_ / fb_)); }

private:
  long long fa_ = 1, fb_ = 1;
};

} // namespace

ClipPtr MakeInterleave(const std::vector<ClipPtr> &clips) {
  if (clips.empty())
    throw EngineError("Interleave: there are no clips");
  if (clips.size() == 1)
    return clips[0];
  const ClipInfo &first = clips[0]->info();
  const long long n = static_cast<long long>(clips.size());
  long long count = (static_cast<long long>(first.frameCount) - 1) * n + 1;
  for (size_t i = 1; i < clips.size(); ++i) {
    const ClipInfo &o = clips[i]->info();
    CheckSameFormat("Interleave", first, o);
    count = std::max(count, (static_cast<long long>(o.frameCount) - 1) * n + static_cast<long long>(i) + 1);
  }
  if (count > std::numeric_limits<int>::max())
    throw EngineError("Interleave: the clip would have too many frames");
  return std::make_shared<Interleave>(clips, static_cast<int>(std::max(count, 0LL)));
}

ClipPtr MakeSelectRangeEvery(ClipPtr child, int every, int length, int offset) {
  const int total = child->info().frameCount;
  if (total <= 0)
    return child;
  // The clip starts at `offset`, as after Trim(offset, 0).
  offset = std::clamp(offset, 0, total - 1);
  const int n = total - offset;
  every = std::clamp(every, 1, n);
  length = std::clamp(length, 1, every);
  const long long count = static_cast<long long>(n / every) * length + std::min(n % every, length);
  return std::make_shared<SelectRangeEvery>(std::move(child), every, length, offset, static_cast<int>(count));
}

ClipPtr MakeDissolve(ClipPtr a, ClipPtr b, int overlap, const std::string &name) {
  if (overlap < 0)
    throw EngineError(name + ": the overlap must not be negative");
  const ClipInfo &x = a->info(), &y = b->info();
  CheckSameFormat(name, x, y);
  if (static_cast<long long>(std::max(0, x.frameCount - overlap)) + y.frameCount > std::numeric_limits<int>::max())
    throw EngineError(name + ": the joined clip would have too many frames");
  return std::make_shared<Dissolve>(std::move(a), std::move(b), overlap);
}

ClipPtr MakeConvertFps(ClipPtr child, int num, int den, int zone) {
  const ClipInfo &vi = child->info();
  if (num <= 0 || den <= 0)
    throw EngineError("ConvertFPS: the frame rate must be greater than 0");
  if (zone >= 0 && vi.format != PixelFormat::YUY2)
    throw EngineError("ConvertFPS: zone >= 0 requires YUY2 input");
  const long long fa = static_cast<long long>(vi.rateNum) * den;
  const long long fb = static_cast<long long>(vi.rateDen) * num;
  if (zone < 0 && 3 * fb < 2 * fa)
    throw EngineError("ConvertFPS: the new frame rate is too small (it must be above two thirds of the old one, "
                      "or use zone=)");
  const long long count = (static_cast<long long>(vi.frameCount) * fb + (fa >> 1)) / fa;
  if (count > std::numeric_limits<int>::max())
    throw EngineError("ConvertFPS: the clip would have too many frames");
  return std::make_shared<ConvertFps>(std::move(child), num, den, static_cast<int>(count));
}

} // namespace reelwork::engine::filters
