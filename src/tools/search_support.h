#pragma once
// Small pieces shared by the searches and the round test.

#include "tools/workbench.h"

namespace reelwork {

// Holds the wait cursor from construction until release() or destruction.
class BusyCursor {
public:
  explicit BusyCursor(FramePreview &preview) : preview_(preview) { preview_.SetBusy(true); }
  ~BusyCursor() { release(); }
  BusyCursor(const BusyCursor &) = delete;
  BusyCursor &operator=(const BusyCursor &) = delete;
  void release() {
    if (held_) {
      held_ = false;
      preview_.SetBusy(false);
    }
  }

private:
  FramePreview &preview_;
  bool held_ = true;
};

// Shows frame n and tells whether the preview really shows it now: a frame the
// video cannot deliver leaves the current frame as it was, and a search must
// not go on measuring the old picture as if it were frame n.
inline bool ShowSampledFrame(SharedState &state, FramePreview &preview, int n) {
  const int before = state.CurrentFrame;
  state.CurrentFrame = 0;
  preview.ShowFrame(n);
  if (state.CurrentFrame == n)
    return true;
  state.CurrentFrame = before;
  return false;
}

} // namespace reelwork
