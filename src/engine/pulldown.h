#pragma once
// Film stored with pulldown flags (24 pictures a second, every other one
// repeating a field) shown as the player shows it: 30 frames a second, each
// woven from the fields in the order the flags give.

#include <cstdint>
#include <utility>
#include <vector>

#include "engine/clip.h"
#include "engine/mpeg2_index.h"

namespace reelwork::engine {

// For every shown frame, the stored frames its top and its bottom field come
// from. A stream without repeated fields gives every frame from itself.
std::vector<std::pair<std::uint32_t, std::uint32_t>> PulldownFrames(const Mpeg2Index &index);

// Whether any picture of the index repeats a field.
bool HasPulldown(const Mpeg2Index &index);

// A source's stored frames shown another way; `source()` is the source.
class PulldownShown : public Clip {
public:
  explicit PulldownShown(ClipPtr source) : source_(std::move(source)), info_(source_->info()) {}
  const ClipInfo &info() const override { return info_; }
  const ClipPtr &source() const { return source_; }

protected:
  ClipPtr source_;
  ClipInfo info_;
};

// The stored frames of `source` (a source over `index`) shown with the
// pulldown applied; the frame rate becomes that of the sequence header.
ClipPtr MakePulldownClip(ClipPtr source, const Mpeg2Index &index);

// The stored frames unchanged at the sequence header's rate (flags ignored).
ClipPtr MakeRateClip(ClipPtr source, int rateNum, int rateDen);

} // namespace reelwork::engine
