#include "engine/project_frames.h"

#include <algorithm>

namespace reelwork::engine {

namespace {

[[noreturn]] void Fail(const std::string &reason) { throw EngineError("mpeg2source: " + reason); }

class ProjectFramesClip : public PulldownShown {
public:
  ProjectFramesClip(ClipPtr source, const ProjectFrameMap &map) : PulldownShown(std::move(source)), map_(map) {
    info_.frameCount = map.count;
  }
  FramePtr frame(int n) override {
    if (n < 0 || n >= info_.frameCount)
      throw EngineError("mpeg2source: frame " + std::to_string(n) + " does not exist");
    return source_->frame(map_.sourceFrame(n));
  }

  const ProjectFrameMap &map() const { return map_; }

private:
  ProjectFrameMap map_;
};

// The frame numbering of a project's first group, as the project's readers
// serve it to the encoder. Every picture the project lists is a frame. The
// readers decode from the first listed group's own position, so the B-pictures
// that lead an open group there (shown before its I-picture, predicted from
// the group before) cannot be decoded; they still count, and each shows the
// first picture that decodes, the group's I-picture. Pictures before the
// first I-picture of the files are in no group and are not counted. A closed
// group's leading B-pictures decode and show themselves.
ProjectFrameMap NumberFirstGroup(const Mpeg2Index &index, std::uint32_t groupStart) {
  const IndexedPicture &intra = index.pictures[groupStart];
  if (intra.frame == kNotShown)
    Fail("the project's first group of pictures cannot be decoded");
  ProjectFrameMap map;
  int decodable = 0;
  for (size_t d = groupStart + 1; d < index.pictures.size() && index.pictures[d].type == kPictureB; ++d) {
    const IndexedPicture &b = index.pictures[d];
    if (b.frame == kNotShown || b.seekFrom < groupStart)
      ++map.lead;
    else
      ++decodable;
  }
  map.start = static_cast<int>(intra.frame) - decodable;
  return map;
}

} // namespace

ProjectFrameMap MapProjectFrames(const Mpeg2Index &index, const std::vector<std::uint64_t> &fileSizes,
                                 const std::vector<D2vGop> &gops) {
  const auto &pictures = index.pictures;
  std::uint32_t groupStart = 0;
  if (gops.empty()) {
    while (groupStart < pictures.size() && pictures[groupStart].type != kPictureI)
      ++groupStart;
  } else {
    // The group starts in the pack at its position: its I-picture is the
    // first one whose packet lies there or after.
    const D2vGop &first = gops.front();
    std::uint64_t position = first.position;
    for (int f = 0; f < first.file && static_cast<size_t>(f) < fileSizes.size(); ++f)
      position += fileSizes[static_cast<size_t>(f)];
    while (groupStart < pictures.size() &&
           (pictures[groupStart].type != kPictureI || pictures[groupStart].packetPos < position))
      ++groupStart;
    std::uint64_t next = ~std::uint64_t{0};
    if (gops.size() > 1) {
      next = gops[1].position;
      for (int f = 0; f < gops[1].file && static_cast<size_t>(f) < fileSizes.size(); ++f)
        next += fileSizes[static_cast<size_t>(f)];
    }
    if (groupStart >= pictures.size() || pictures[groupStart].packetPos >= next)
      Fail("the project's first group of pictures (file " + std::to_string(first.file + 1) + ", byte " +
           std::to_string(first.position) + ") starts no I-picture in the video files; "
           "the project does not belong to these files");
  }
  if (groupStart >= pictures.size())
    Fail("the video has no I-picture");
  ProjectFrameMap map = NumberFirstGroup(index, groupStart);
  const int available = map.lead + index.frameCount() - map.start;
  if (gops.empty()) {
    map.count = available;
  } else {
    size_t listed = 0;
    for (const auto &gop : gops)
      listed += gop.flags.size();
    map.count = static_cast<int>(std::min<size_t>(listed, static_cast<size_t>(available)));
  }
  if (map.count <= 0)
    Fail("the project lists no pictures");
  return map;
}

std::vector<FrameRange> MapDamageToProject(const ProjectFrameMap &map, const std::vector<FrameRange> &stored) {
  std::vector<FrameRange> ranges;
  const long long shift = static_cast<long long>(map.lead) - map.start; // project frame of a stored frame past the lead
  for (const FrameRange &r : stored) {
    if (r.last < map.start)
      continue;
    // The leading frames show the stored frame `start` too.
    const long long first = r.first <= map.start ? 0 : r.first + shift;
    const long long last = std::min<long long>(r.last + shift, map.count - 1LL);
    if (first > last)
      continue;
    if (!ranges.empty() && first <= ranges.back().last + 1LL)
      ranges.back().last = std::max(ranges.back().last, static_cast<int>(last));
    else
      ranges.push_back(FrameRange{static_cast<int>(first), static_cast<int>(last)});
  }
  return ranges;
}

const ProjectFrameMap *ProjectMapOf(const Clip &clip) {
  const auto *view = dynamic_cast<const ProjectFramesClip *>(&clip);
  return view ? &view->map() : nullptr;
}

ClipPtr MakeProjectFramesClip(ClipPtr source, const ProjectFrameMap &map) {
  return std::make_shared<ProjectFramesClip>(std::move(source), map);
}

Mpeg2Index IndexOfProjectFrames(const Mpeg2Index &index, const ProjectFrameMap &map) {
  Mpeg2Index shown = index;
  shown.repeatsFields = -1; // of other frames now
  shown.frames.resize(static_cast<size_t>(map.count));
  for (int k = 0; k < map.count; ++k)
    shown.frames[static_cast<size_t>(k)] = index.frames[static_cast<size_t>(map.sourceFrame(k))];
  return shown;
}

} // namespace reelwork::engine
