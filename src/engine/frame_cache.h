#pragma once
// A clip that keeps the last frames its child delivered, so that stepping back
// and forth over a few frames does not decode them again.

#include <list>
#include <utility>

#include "engine/clip.h"

namespace reelwork::engine {

class FrameCache : public Clip {
public:
  FrameCache(ClipPtr child, size_t capacity) : child_(std::move(child)), capacity_(capacity) {}
  const ClipInfo &info() const override { return child_->info(); }
  FramePtr frame(int n) override;
  const ClipPtr &child() const { return child_; }

private:
  ClipPtr child_;
  size_t capacity_;
  std::list<std::pair<int, FramePtr>> recent_; // most recently used first
};

} // namespace reelwork::engine
