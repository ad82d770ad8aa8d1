#include "engine/pulldown.h"

#include <algorithm>
#include <cstring>

namespace reelwork::engine {

namespace {

// Shown frames woven from the stored frames' fields.
class PulldownClip : public PulldownShown {
public:
  PulldownClip(ClipPtr source, const Mpeg2Index &index)
      : PulldownShown(std::move(source)), pairs_(PulldownFrames(index)) {
    info_.frameCount = static_cast<int>(pairs_.size());
    // The stored rate is the film's; the sequence header gave 30000/1001.
    if (info_.rateNum == 24000 && info_.rateDen == 1001)
      info_.rateNum = 30000;
    if (!index.frames.empty()) {
      const bool top = index.pictures[index.frames.front()].fields & kTopFieldFirst;
      info_.parity = top ? FieldParity::Top : FieldParity::Bottom;
    }
  }

  FramePtr frame(int n) override {
    if (n < 0 || n >= info_.frameCount)
      throw EngineError("mpeg2source: frame " + std::to_string(n) + " does not exist");
    const auto [topFrom, bottomFrom] = pairs_[static_cast<size_t>(n)];
    FramePtr top = source_->frame(static_cast<int>(topFrom));
    if (topFrom == bottomFrom)
      return top;
    FramePtr bottom = source_->frame(static_cast<int>(bottomFrom));
    auto woven = std::make_shared<Frame>(*top);
    // Chroma rows of 4:2:0 video alternate between the fields as luma rows do.
    for (int p = 0; p < 3; ++p) {
      if (woven->planes[p].empty())
        continue;
      const int rows = static_cast<int>(woven->planes[p].size() / static_cast<size_t>(woven->stride[p]));
      for (int y = 1; y < rows; y += 2)
        std::memcpy(woven->row(p, y), bottom->row(p, y), static_cast<size_t>(woven->stride[p]));
    }
    return woven;
  }

private:
  std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs_;
};

class RateClip : public PulldownShown {
public:
  RateClip(ClipPtr source, int rateNum, int rateDen) : PulldownShown(std::move(source)) {
    info_.rateNum = rateNum;
    info_.rateDen = rateDen;
  }
  FramePtr frame(int n) override { return source_->frame(n); }
};

} // namespace

bool HasPulldown(const Mpeg2Index &index) {
  return std::any_of(index.frames.begin(), index.frames.end(),
                     [&](std::uint32_t d) { return index.pictures[d].fields & kRepeatFirstField; });
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> PulldownFrames(const Mpeg2Index &index) {
  struct Field {
    std::uint32_t frame;
    bool top;
  };
  std::vector<Field> fields;
  fields.reserve(index.frames.size() * 5 / 2 + 2);
  for (std::uint32_t f = 0; f < index.frames.size(); ++f) {
    const std::uint8_t flags = index.pictures[index.frames[f]].fields;
    const bool first = flags & kTopFieldFirst;
    fields.push_back({f, first});
    fields.push_back({f, !first});
    if (flags & kRepeatFirstField)
      fields.push_back({f, first});
  }
  std::vector<std::pair<std::uint32_t, std::uint32_t>> frames;
  frames.reserve(fields.size() / 2);
  for (size_t i = 0; i + 1 < fields.size(); i += 2) {
    const Field &a = fields[i], &b = fields[i + 1];
    if (a.top != b.top)
      frames.emplace_back(a.top ? a.frame : b.frame, a.top ? b.frame : a.frame);
    else
      frames.emplace_back(a.frame, a.frame); // flags out of step: the first field's picture whole
  }
  return frames;
}

ClipPtr MakePulldownClip(ClipPtr source, const Mpeg2Index &index) {
  return std::make_shared<PulldownClip>(std::move(source), index);
}

ClipPtr MakeRateClip(ClipPtr source, int rateNum, int rateDen) {
  return std::make_shared<RateClip>(std::move(source), rateNum, rateDen);
}

} // namespace reelwork::engine
