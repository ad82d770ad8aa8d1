#include "engine/frame_cache.h"

namespace reelwork::engine {

FramePtr FrameCache::frame(int n) {
  for (auto it = recent_.begin(); it != recent_.end(); ++it) {
    if (it->first == n) {
      recent_.splice(recent_.begin(), recent_, it);
      return it->second;
    }
  }
  FramePtr f = child_->frame(n);
  recent_.emplace_front(n, f);
  if (recent_.size() > capacity_)
    recent_.pop_back();
  return f;
}

} // namespace reelwork::engine
