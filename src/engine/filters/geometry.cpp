// Filters that change the picture's geometry, the frame count or the field
// structure without touching pixel values: Crop, field and frame selection,
// Trim, Decimate, and the field-order assumptions.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>
#include <mutex>

#include "engine/filters/filter_base.h"
#include "engine/filters/filters.h"
#include "engine/filters/frame_ops.h"

namespace reelwork::engine::filters {

namespace {

std::string Str(int v) { return std::to_string(v); }

// ---- Crop -------------------------------------------------------------------

class Crop : public Filter {
public:
  Crop(ClipPtr child, int left, int top, int w, int h) : Filter(std::move(child)), left_(left), top_(top) {
    vi_.width = w;
    vi_.height = h;
  }
  FramePtr frame(int n) override {
    FramePtr src = childFrame(n);
    auto out = std::make_shared<Frame>();
    out->allocate(vi_.format, vi_.width, vi_.height);
    for (int p = 0; p < PlaneCount(vi_.format); ++p) {
      const int xoff = PlaneXBytes(vi_.format, p, left_);
      const int bytes = PlaneRowBytes(*out, p);
      const int y0 = PlaneY(vi_.format, p, top_);
      for (int y = 0; y < PlaneRows(*out, p); ++y)
        std::memcpy(out->row(p, y), src->row(p, y0 + y) + xoff, bytes);
    }
    return out;
  }

private:
  int left_, top_;
};

// ---- field order and structure ---------------------------------------------------

class AssumeParity : public Filter {
public:
  AssumeParity(ClipPtr child, FieldParity parity) : Filter(std::move(child)) { vi_.parity = parity; }
  FramePtr frame(int n) override { return child_->frame(n); }
  bool topField(int n) const override { return InfoTopField(vi_, n); }
};

class AssumeFieldBased : public Filter {
public:
  AssumeFieldBased(ClipPtr child, bool fieldBased) : Filter(std::move(child)) { vi_.fieldBased = fieldBased; }
  FramePtr frame(int n) override { return child_->frame(n); }
  bool topField(int n) const override { return InfoTopField(vi_, n); }
};

// One field of a frame: every second row, starting with row 0 for the top field.
Frame ExtractField(const Frame &src, bool top) {
  Frame out;
  out.allocate(src.format, src.width, src.height / 2);
  for (int p = 0; p < PlaneCount(src.format); ++p) {
    const int bytes = PlaneRowBytes(out, p);
    for (int y = 0; y < PlaneRows(out, p); ++y)
      std::memcpy(out.row(p, y), src.row(p, 2 * y + (top ? 0 : 1)), bytes);
  }
  return out;
}

void CheckFieldHeight(const std::string &name, const ClipInfo &vi) {
  if (vi.height & 1)
    throw EngineError(name + ": the height (" + Str(vi.height) + ") must be even");
  if (vi.height % (2 * HeightMultiple(vi.format)))
    throw EngineError(name + ": " + FormatName(vi.format) + " height must be a multiple of 4 (it is " +
                      Str(vi.height) + ")");
}

void CheckDoubling(const std::string &name, const ClipInfo &vi) {
  if (vi.frameCount > std::numeric_limits<int>::max() / 2)
    throw EngineError(name + ": the clip has too many frames");
}

class SeparateFields : public Filter {
public:
  explicit SeparateFields(ClipPtr child) : Filter(std::move(child)) {
    if (vi_.fieldBased)
      throw EngineError("SeparateFields: the clip is already field-based");
    CheckDoubling("SeparateFields", vi_);
    CheckFieldHeight("SeparateFields", vi_);
    vi_.height /= 2;
    vi_.frameCount *= 2;
    ScaleRate(vi_, 2, 1);
    vi_.fieldBased = true;
  }
  FramePtr frame(int n) override {
    FramePtr src = childFrame(n >> 1);
    return std::make_shared<Frame>(ExtractField(*src, topField(n)));
  }
  bool topField(int n) const override { return TopFieldOf(*child_, n >> 1) != ((n & 1) != 0); }
};

// Frame n weaves fields step*n and step*n + 1: Weave takes fields in pairs
// (step 2), DoubleWeave every neighbouring pair (step 1, count and rate kept).
class Weave : public Filter {
public:
  explicit Weave(ClipPtr child, int step = 2) : Filter(std::move(child)), step_(step) {
    if (!vi_.fieldBased)
      throw EngineError("Weave: the clip is not field-based (separate its fields or use AssumeFieldBased first)");
    vi_.height *= 2;
    if (step_ == 2) {
      vi_.frameCount = (vi_.frameCount + 1) / 2;
      ScaleRate(vi_, 1, 2);
    }
    vi_.fieldBased = false;
    vi_.parity = TopFieldOf(*child_, 0) ? FieldParity::Top : FieldParity::Bottom;
  }
  FramePtr frame(int n) override {
    FramePtr a = childFrame(step_ * n);
    FramePtr b = childFrame(step_ * n + 1);
    const bool aTop = TopFieldOf(*child_, step_ * n);
    auto out = std::make_shared<Frame>();
    out->allocate(vi_.format, vi_.width, vi_.height);
    for (int p = 0; p < PlaneCount(vi_.format); ++p) {
      const int bytes = PlaneRowBytes(*out, p);
      for (int y = 0; y < PlaneRows(*a, p); ++y) {
        std::memcpy(out->row(p, 2 * y + (aTop ? 0 : 1)), a->row(p, y), bytes);
        std::memcpy(out->row(p, 2 * y + (aTop ? 1 : 0)), b->row(p, y), bytes);
      }
    }
    return out;
  }
  bool topField(int n) const override { return TopFieldOf(*child_, step_ * n); }

private:
  int step_;
};

// Each field becomes a full frame: its rows keep their place in the frame and
// the rows of the other field are interpolated from their neighbours.
class Bob : public Filter {
public:
  explicit Bob(ClipPtr child) : Filter(std::move(child)) {
    fieldInput_ = vi_.fieldBased;
    if (!fieldInput_) {
      CheckFieldHeight("Bob", vi_);
      CheckDoubling("Bob", vi_);
      vi_.frameCount *= 2;
      ScaleRate(vi_, 2, 1);
    } else {
      vi_.height *= 2;
    }
    vi_.fieldBased = false;
  }
  FramePtr frame(int n) override {
    Frame field;
    bool top;
    if (fieldInput_) {
      field = *childFrame(n);
      top = TopFieldOf(*child_, n);
    } else {
      top = topField(n);
      field = ExtractField(*childFrame(n >> 1), top);
    }
    auto out = std::make_shared<Frame>();
    out->allocate(vi_.format, vi_.width, vi_.height);
    for (int p = 0; p < PlaneCount(vi_.format); ++p) {
      const int rows = PlaneRows(field, p);
      const int bytes = PlaneRowBytes(field, p);
      for (int y = 0; y < rows; ++y) {
        const int own = 2 * y + (top ? 0 : 1);
        std::memcpy(out->row(p, own), field.row(p, y), bytes);
        // The row of the other field below (top) or above (bottom) this one.
        const int other = top ? own + 1 : own - 1;
        const int ny = top ? std::min(y + 1, rows - 1) : std::max(y - 1, 0);
        const std::uint8_t *r0 = field.row(p, y);
        const std::uint8_t *r1 = field.row(p, ny);
        std::uint8_t *d = out->row(p, other);
        for (int x = 0; x < bytes; ++x)
          d[x] = static_cast<std::uint8_t>((r0[x] + r1[x] + 1) >> 1);
      }
    }
    return out;
  }
  bool topField(int n) const override {
    if (fieldInput_)
      return TopFieldOf(*child_, n);
    return TopFieldOf(*child_, n >> 1) != ((n & 1) != 0);
  }

private:
  bool fieldInput_ = false;
};

// ---- frame selection ---------------------------------------------------------

// Output frame n is child frame map(n); the parity of frame 0 becomes the
// clip's parity.
class Remap : public Filter {
public:
  explicit Remap(ClipPtr child) : Filter(std::move(child)) {}
  FramePtr frame(int n) override { return childFrame(map(n)); }
  bool topField(int n) const override { return TopFieldOf(*child_, map(n)); }

protected:
  virtual int map(int n) const = 0;
  void settle() { vi_.parity = TopFieldOf(*child_, map(0)) ? FieldParity::Top : FieldParity::Bottom; }
};

class Trim : public Remap {
public:
  Trim(ClipPtr child, int first, int count) : Remap(std::move(child)), first_(first) {
    vi_.frameCount = count;
    settle();
  }

protected:
  int map(int n) const override { return n + first_; }

private:
  int first_;
};

class SelectEvery : public Remap {
public:
  SelectEvery(ClipPtr child, int every, int offset) : Remap(std::move(child)), every_(every), offset_(offset) {
    const int n = vi_.frameCount;
    vi_.frameCount = n > offset ? (n - 1 - offset) / every + 1 : 0;
    ScaleRate(vi_, 1, every);
    settle();
  }

protected:
  int map(int n) const override { return n * every_ + offset_; }

private:
  int every_, offset_;
};

class Reverse : public Remap {
public:
  explicit Reverse(ClipPtr child) : Remap(std::move(child)) { settle(); }

protected:
  int map(int n) const override { return vi_.frameCount - 1 - n; }
};

class ChangeFps : public Remap {
public:
  ChangeFps(ClipPtr child, int num, int den) : Remap(std::move(child)) {
    // frames at the new rate covering the same running time
    oldNum_ = vi_.rateNum;
    oldDen_ = vi_.rateDen;
    vi_.rateNum = num;
    vi_.rateDen = den;
    ScaleRate(vi_, 1, 1);
    const double frames = std::floor(static_cast<double>(vi_.frameCount) * vi_.rateNum * oldDen_ /
                                         (static_cast<double>(vi_.rateDen) * oldNum_) + 0.5);
    if (frames > std::numeric_limits<int>::max())
      throw EngineError("ChangeFPS: the clip would have too many frames");
    vi_.frameCount = static_cast<int>(frames);
    settle();
  }

protected:
  int map(int n) const override {
    const double src = std::floor(static_cast<double>(n) * oldNum_ * vi_.rateDen /
                                  (static_cast<double>(oldDen_) * vi_.rateNum));
    return static_cast<int>(std::min<double>(src, vi_.frameCount > 0 ? child_->info().frameCount - 1 : 0));
  }

private:
  int oldNum_, oldDen_;
};

class AssumeFps : public Filter {
public:
  AssumeFps(ClipPtr child, int num, int den) : Filter(std::move(child)) {
    vi_.rateNum = num;
    vi_.rateDen = den;
    ScaleRate(vi_, 1, 1);
  }
  FramePtr frame(int n) override { return child_->frame(n); }
};

class FlipVertical : public Filter {
public:
  explicit FlipVertical(ClipPtr child) : Filter(std::move(child)) {}
  FramePtr frame(int n) override {
    FramePtr src = childFrame(n);
    auto out = std::make_shared<Frame>(*src);
    for (int p = 0; p < PlaneCount(vi_.format); ++p) {
      const int rows = PlaneRows(*out, p);
      for (int y = 0; y < rows; ++y)
        std::memcpy(out->row(p, y), src->row(p, rows - 1 - y), PlaneRowBytes(*out, p));
    }
    return out;
  }
};

// `drop` frames of every cycle are dropped: those that differ least from the
// frame before them (the duplicates that telecine leaves behind).
class Decimate : public Filter {
public:
  Decimate(ClipPtr child, int cycle, int drop) : Filter(std::move(child)), cycle_(cycle), keep_(cycle - drop) {
    vi_.frameCount = static_cast<int>(static_cast<long long>(vi_.frameCount) * keep_ / cycle);
    ScaleRate(vi_, keep_, cycle);
  }
  FramePtr frame(int n) override { return childFrame(sourceOf(n)); }
  bool topField(int n) const override {
    return TopFieldOf(*child_, static_cast<int>(static_cast<long long>(n) * cycle_ / keep_));
  }

private:
  int sourceOf(int n) {
    const int c = n / keep_;
    int i = n % keep_;
    const std::vector<int> &drops = dropped(c);
    const int start = c * cycle_;
    for (int j = start; j < start + cycle_; ++j) {
      if (std::binary_search(drops.begin(), drops.end(), j))
        continue;
      if (i-- == 0)
        return j;
    }
    return start + cycle_ - 1;
  }
  static double Difference(const Frame &a, const Frame &b) {
    const int step = a.format == PixelFormat::YUY2 ? 2 : 1;
    const int bytes = PlaneRowBytes(a, 0);
    long long sum = 0;
    for (int y = 0; y < a.height; ++y) {
      const std::uint8_t *pa = a.row(0, y), *pb = b.row(0, y);
      for (int x = 0; x < bytes; x += step)
        sum += std::abs(pa[x] - pb[x]);
    }
    return static_cast<double>(sum);
  }
  // The child frame numbers dropped from cycle c, in order.
  const std::vector<int> &dropped(int c) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = drops_.find(c);
      if (it != drops_.end())
        return it->second;
    }
    const int start = c * cycle_;
    const int end = std::min(start + cycle_, child_->info().frameCount);
    std::vector<std::pair<double, int>> diffs;
    FramePtr prev = start > 0 ? child_->frame(start - 1) : nullptr;
    for (int j = start; j < end; ++j) {
      FramePtr cur = child_->frame(j);
      diffs.emplace_back(prev ? Difference(*cur, *prev) : std::numeric_limits<double>::max(), j);
      prev = cur;
    }
    std::stable_sort(diffs.begin(), diffs.end());
    std::vector<int> drops;
    for (size_t k = 0; k < diffs.size() && k < static_cast<size_t>(cycle_ - keep_); ++k)
      drops.push_back(diffs[k].second);
    std::sort(drops.begin(), drops.end());
    std::lock_guard<std::mutex> lock(mutex_);
    return drops_.emplace(c, std::move(drops)).first->second;
  }

  int cycle_, keep_;
  std::mutex mutex_;
  std::map<int, std::vector<int>> drops_;
};

class AddBorders : public Filter {
public:
  AddBorders(ClipPtr child, int left, int top, int right, int bottom, unsigned color)
      : Filter(std::move(child)), left_(left), top_(top) {
    vi_.width += left + right;
    vi_.height += top + bottom;
    blank_ = MakeBlankClip({1, vi_.width, vi_.height, vi_.format, 25, 1, color, std::nullopt,
                            FieldParity::Bottom, false});
  }
  FramePtr frame(int n) override {
    FramePtr src = childFrame(n);
    auto out = std::make_shared<Frame>(*blank_->frame(0));
    for (int p = 0; p < PlaneCount(vi_.format); ++p) {
      const int xoff = PlaneXBytes(vi_.format, p, left_);
      const int y0 = PlaneY(vi_.format, p, top_);
      const int bytes = PlaneRowBytes(*src, p);
      for (int y = 0; y < PlaneRows(*src, p); ++y)
        std::memcpy(out->row(p, y0 + y) + xoff, src->row(p, y), bytes);
    }
    return out;
  }

private:
  int left_, top_;
  ClipPtr blank_;
};

class ComplementParity : public Filter {
public:
  explicit ComplementParity(ClipPtr child) : Filter(std::move(child)) {
    vi_.parity = vi_.parity == FieldParity::Top ? FieldParity::Bottom : FieldParity::Top;
  }
  FramePtr frame(int n) override { return child_->frame(n); }
  bool topField(int n) const override { return !TopFieldOf(*child_, n); }
};

class SwapFields : public Filter {
public:
  explicit SwapFields(ClipPtr child) : Filter(std::move(child)) {}
  FramePtr frame(int n) override {
    FramePtr src = childFrame(n);
    auto out = std::make_shared<Frame>(*src);
    for (int p = 0; p < PlaneCount(vi_.format); ++p) {
      const int rows = PlaneRows(*src, p) & ~1;
      for (int y = 0; y < rows; ++y)
        std::memcpy(out->row(p, y), src->row(p, y ^ 1), PlaneRowBytes(*src, p));
    }
    return out;
  }
};

// Output frame n shows child frame map(n) for an arbitrary map.
class FrameMap : public Remap {
public:
  FrameMap(ClipPtr child, int count, std::function<int(int)> f) : Remap(std::move(child)), f_(std::move(f)) {
    vi_.frameCount = count;
    if (count > 0)
      settle();
  }

protected:
  int map(int n) const override { return f_(n); }

private:
  std::function<int(int)> f_;
};

class Stack : public ParityClip {
public:
  Stack(std::vector<ClipPtr> clips, bool horizontal)
      : clips_(std::move(clips)), horizontal_(horizontal), vi_(clips_[0]->info()) {
    for (size_t k = 1; k < clips_.size(); ++k) {
      const ClipInfo &o = clips_[k]->info();
      if (horizontal_)
        vi_.width += o.width;
      else
        vi_.height += o.height;
      vi_.frameCount = std::max(vi_.frameCount, o.frameCount);
    }
  }
  const ClipInfo &info() const override { return vi_; }
  bool topField(int n) const override { return TopFieldOf(*clips_[0], n); }
  FramePtr frame(int n) override {
    auto out = std::make_shared<Frame>();
    out->allocate(vi_.format, vi_.width, vi_.height);
    int offset = 0;
    for (const ClipPtr &c : clips_) {
      FramePtr f = c->frame(std::min(n, c->info().frameCount - 1));
      for (int p = 0; p < PlaneCount(vi_.format); ++p) {
        const int bytes = PlaneRowBytes(*f, p);
        const int xoff = horizontal_ ? PlaneXBytes(vi_.format, p, offset) : 0;
        const int yoff = horizontal_ ? 0 : PlaneY(vi_.format, p, offset);
        for (int y = 0; y < PlaneRows(*f, p); ++y)
          std::memcpy(out->row(p, y + yoff) + xoff, f->row(p, y), bytes);
      }
      offset += horizontal_ ? f->width : f->height;
    }
    return out;
  }

private:
  std::vector<ClipPtr> clips_;
  bool horizontal_;
  ClipInfo vi_;
};

class Splice : public ParityClip {
public:
  Splice(ClipPtr a, ClipPtr b) : a_(std::move(a)), b_(std::move(b)), vi_(a_->info()) {
    vi_.frameCount = a_->info().frameCount + b_->info().frameCount;
  }
  const ClipInfo &info() const override { return vi_; }
  FramePtr frame(int n) override {
    const int na = a_->info().frameCount;
    if (n < na)
      return a_->frame(n);
    return b_->frame(std::min(n - na, b_->info().frameCount - 1));
  }
  bool topField(int n) const override {
    const int na = a_->info().frameCount;
    return n < na ? TopFieldOf(*a_, n) : TopFieldOf(*b_, n - na);
  }

private:
  ClipPtr a_, b_;
  ClipInfo vi_;
};

} // namespace

ClipPtr MakeCrop(ClipPtr child, int left, int top, int width, int height) {
  const ClipInfo &vi = child->info();
  if (left < 0 || top < 0)
    throw EngineError("Crop: left and top must not be negative");
  const long long lw = width <= 0 ? static_cast<long long>(vi.width) - left + width : width;
  const long long lh = height <= 0 ? static_cast<long long>(vi.height) - top + height : height;
  if (lw <= 0 || lh <= 0 || left + lw > vi.width || top + lh > vi.height)
    throw EngineError("Crop: cropping " + Str(left) + "," + Str(top) + " to " + std::to_string(lw) + "x" +
                      std::to_string(lh) + " does not fit inside the " + Str(vi.width) + "x" + Str(vi.height) +
                      " picture");
  const int w = static_cast<int>(lw), h = static_cast<int>(lh);
  const char *fmt = FormatName(vi.format);
  // Chroma samples are never split: YV12 by 2x2, YV16 and YUY2 by pairs across.
  const int mx = WidthMultiple(vi.format), my = HeightMultiple(vi.format);
  if (left % mx)
    throw EngineError(std::string("Crop: ") + fmt + " can only be cropped by even numbers (left is " + Str(left) +
                      ")");
  if (w % mx)
    throw EngineError(std::string("Crop: ") + fmt + " width must be even (it would be " + Str(w) + ")");
  if (top % my)
    throw EngineError(std::string("Crop: ") + fmt + " can only be cropped by even numbers (top is " + Str(top) + ")");
  if (h % my)
    throw EngineError(std::string("Crop: ") + fmt + " height must be even (it would be " + Str(h) + ")");
  return std::make_shared<Crop>(std::move(child), left, top, w, h);
}

ClipPtr MakeAssumeParity(ClipPtr child, FieldParity parity) {
  return std::make_shared<AssumeParity>(std::move(child), parity);
}
ClipPtr MakeAssumeFieldBased(ClipPtr child, bool fieldBased) {
  return std::make_shared<AssumeFieldBased>(std::move(child), fieldBased);
}
ClipPtr MakeSeparateFields(ClipPtr child) { return std::make_shared<SeparateFields>(std::move(child)); }
ClipPtr MakeWeave(ClipPtr child) { return std::make_shared<Weave>(std::move(child)); }
ClipPtr MakeDoubleWeave(ClipPtr child) {
  if (!child->info().fieldBased)
    child = MakeSeparateFields(std::move(child));
  return std::make_shared<Weave>(std::move(child), 1);
}
ClipPtr MakeBob(ClipPtr child) { return std::make_shared<Bob>(std::move(child)); }

ClipPtr MakeTrim(ClipPtr child, int first, int last) {
  const int count = child->info().frameCount;
  if (first < 0 || first >= count)
    throw EngineError("Trim: the first frame " + Str(first) + " is outside the clip (frames 0 to " + Str(count - 1) +
                      ")");
  long long end;
  if (last == 0)
    end = count - 1;
  else if (last < 0)
    end = static_cast<long long>(first) - last - 1;
  else
    end = last;
  if (end < first)
    throw EngineError("Trim: the last frame " + std::to_string(end) + " lies before the first frame " + Str(first));
  end = std::min<long long>(end, count - 1);
  return std::make_shared<Trim>(std::move(child), first, static_cast<int>(end - first + 1));
}

ClipPtr MakeSelectEvery(ClipPtr child, int every, int offset, const std::string &name) {
  if (every <= 0)
    throw EngineError(name + ": the step must be greater than 0");
  if (offset < 0 || offset >= every)
    throw EngineError(name + ": the offset must lie between 0 and " + Str(every - 1));
  return std::make_shared<SelectEvery>(std::move(child), every, offset);
}

ClipPtr MakeDecimate(ClipPtr child, int cycle) {
  if (cycle < 2 || cycle > 25)
    throw EngineError("Decimate: the cycle must lie between 2 and 25 (it is " + Str(cycle) + ")");
  return std::make_shared<Decimate>(std::move(child), cycle, 1);
}

ClipPtr MakeDecimateCycle(ClipPtr child, int cycle, int drop, const std::string &name) {
  if (cycle < 1 || cycle > 1000)
    throw EngineError(name + ": the cycle must lie between 1 and 1000 (it is " + Str(cycle) + ")");
  if (drop < 0 || drop >= cycle)
    throw EngineError(name + ": the frames dropped from each cycle must lie between 0 and " + Str(cycle - 1) +
                      " (it is " + Str(drop) + ")");
  if (drop == 0)
    return child;
  return std::make_shared<Decimate>(std::move(child), cycle, drop);
}

ClipPtr MakeReverse(ClipPtr child) { return std::make_shared<Reverse>(std::move(child)); }
ClipPtr MakeFlipVertical(ClipPtr child) { return std::make_shared<FlipVertical>(std::move(child)); }

ClipPtr MakeAssumeFps(ClipPtr child, int num, int den) {
  if (num <= 0 || den <= 0)
    throw EngineError("AssumeFPS: the frame rate must be greater than 0");
  return std::make_shared<AssumeFps>(std::move(child), num, den);
}

ClipPtr MakeChangeFps(ClipPtr child, int num, int den) {
  if (num <= 0 || den <= 0)
    throw EngineError("ChangeFPS: the frame rate must be greater than 0");
  return std::make_shared<ChangeFps>(std::move(child), num, den);
}

ClipPtr MakeAddBorders(ClipPtr child, int left, int top, int right, int bottom, unsigned color) {
  const ClipInfo &vi = child->info();
  if (left < 0 || top < 0 || right < 0 || bottom < 0)
    throw EngineError("AddBorders: the borders must not be negative");
  const long long w = static_cast<long long>(vi.width) + left + right;
  const long long h = static_cast<long long>(vi.height) + top + bottom;
  if (w > kMaxSide || h > kMaxSide || SizeTooLarge(static_cast<int>(w), static_cast<int>(h)))
    throw EngineError("AddBorders: the picture would be too large");
  if ((left % WidthMultiple(vi.format)) || (right % WidthMultiple(vi.format)))
    throw EngineError(std::string("AddBorders: ") + FormatName(vi.format) +
                      " borders on the left and right must be even");
  if ((top % HeightMultiple(vi.format)) || (bottom % HeightMultiple(vi.format)))
    throw EngineError(std::string("AddBorders: ") + FormatName(vi.format) +
                      " borders at the top and bottom must be even");
  return std::make_shared<AddBorders>(std::move(child), left, top, right, bottom, color);
}

ClipPtr MakeComplementParity(ClipPtr child) { return std::make_shared<ComplementParity>(std::move(child)); }
ClipPtr MakeSwapFields(ClipPtr child) { return std::make_shared<SwapFields>(std::move(child)); }

ClipPtr MakeStack(const std::vector<ClipPtr> &clips, bool horizontal, const std::string &name) {
  if (clips.empty())
    throw EngineError(name + ": there are no clips to stack");
  const ClipInfo &first = clips[0]->info();
  long long along = 0;
  for (const ClipPtr &c : clips) {
    const ClipInfo &o = c->info();
    if (o.format != first.format)
      throw EngineError(name + ": the clips differ in pixel format");
    if (horizontal ? o.height != first.height : o.width != first.width)
      throw EngineError(name + (horizontal ? ": the clips differ in height" : ": the clips differ in width"));
    if (o.frameCount <= 0)
      throw EngineError(name + ": a clip has no frames");
    along += horizontal ? o.width : o.height;
  }
  if (along > kMaxSide ||
      SizeTooLarge(horizontal ? static_cast<int>(along) : first.width, horizontal ? first.height : static_cast<int>(along)))
    throw EngineError(name + ": the picture would be too large");
  return std::make_shared<Stack>(clips, horizontal);
}

ClipPtr MakeDeleteFrame(ClipPtr child, int n) {
  const int count = child->info().frameCount;
  if (n < 0 || n >= count)
    throw EngineError("DeleteFrame: frame " + Str(n) + " is outside the clip (frames 0 to " + Str(count - 1) + ")");
  return std::make_shared<FrameMap>(std::move(child), count - 1, [n](int k) { return k < n ? k : k + 1; });
}

ClipPtr MakeDuplicateFrame(ClipPtr child, int n) {
  const int count = child->info().frameCount;
  if (n < 0 || n >= count)
    throw EngineError("DuplicateFrame: frame " + Str(n) + " is outside the clip (frames 0 to " + Str(count - 1) +
                      ")");
  if (count == std::numeric_limits<int>::max())
    throw EngineError("DuplicateFrame: the clip has too many frames");
  return std::make_shared<FrameMap>(std::move(child), count + 1, [n](int k) { return k <= n ? k : k - 1; });
}

ClipPtr MakeFreezeFrame(ClipPtr child, int first, int last, int source) {
  const int count = child->info().frameCount;
  if (source < 0 || source >= count)
    throw EngineError("FreezeFrame: the source frame " + Str(source) + " is outside the clip");
  return std::make_shared<FrameMap>(std::move(child), count,
                                    [=](int k) { return k >= first && k <= last ? source : k; });
}

ClipPtr MakeSplice(ClipPtr a, ClipPtr b, const std::string &name) {
  const ClipInfo &x = a->info(), &y = b->info();
  if (x.width != y.width || x.height != y.height || x.format != y.format)
    throw EngineError(name + ": the clips differ in size or pixel format (" + Str(x.width) + "x" + Str(x.height) + " " +
                      FormatName(x.format) + " and " + Str(y.width) + "x" + Str(y.height) + " " +
                      FormatName(y.format) + ")");
  if (static_cast<long long>(x.rateNum) * y.rateDen != static_cast<long long>(y.rateNum) * x.rateDen)
    throw EngineError(name + ": the clips differ in frame rate");
  if (static_cast<long long>(x.frameCount) + y.frameCount > std::numeric_limits<int>::max())
    throw EngineError(name + ": the joined clip would have too many frames");
  return std::make_shared<Splice>(std::move(a), std::move(b));
}

} // namespace reelwork::engine::filters
