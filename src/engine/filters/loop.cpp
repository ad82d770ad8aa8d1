// Loop: frames start..end played a number of times in place of once.

#include <algorithm>
#include <limits>

#include "engine/filters/filter_base.h"
#include "engine/filters/filters.h"

namespace reelwork::engine::filters {

namespace {

class Loop : public Filter {
public:
  Loop(ClipPtr child, long long times, int start, int end) : Filter(std::move(child)), start_(start) {
    length_ = end - start + 1;
    const long long total = static_cast<long long>(vi_.frameCount) + (times - 1) * length_;
    // An endless loop still has a frame count: as many as an int holds.
    vi_.frameCount = static_cast<int>(std::min<long long>(total, std::numeric_limits<int>::max()));
    loopEnd_ = static_cast<long long>(start) + times * length_;
    shift_ = (times - 1) * length_;
  }
  FramePtr frame(int n) override { return childFrame(map(n)); }
  bool topField(int n) const override { return TopFieldOf(*child_, map(n)); }

private:
  int map(int n) const {
    if (n < start_)
      return n;
    if (n < loopEnd_)
      return start_ + (n - start_) % length_;
    return static_cast<int>(n - shift_);
  }
  int start_;
  int length_;
  long long loopEnd_, shift_;
};

} // namespace

ClipPtr MakeLoop(ClipPtr child, int times, int start, int end) {
  const int count = child->info().frameCount;
  if (count <= 0)
    return child;
  // A negative count loops "endlessly": ten million times.
  const long long rounds = times < 0 ? 10000000LL : times;
  start = std::clamp(start, 0, count - 1);
  end = std::clamp(end, start, count - 1);
  return std::make_shared<Loop>(std::move(child), rounds, start, end);
}

} // namespace reelwork::engine::filters
