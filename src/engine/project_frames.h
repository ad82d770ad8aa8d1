#pragma once
// The frames a project serves, numbered as the project's readers number them
// for the encoder: the groups of pictures its data lines list (all of the
// video when it lists none), with the leading B-pictures of an open first
// group counted as frames.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "engine/clip.h"
#include "engine/d2v.h"
#include "engine/mpeg2_index.h"
#include "engine/pulldown.h"

namespace reelwork::engine {

// Project frame k shows source frame `start` while k < lead, and source
// frame start + k - lead after that.
struct ProjectFrameMap {
  int lead = 0;  // leading B-pictures of an open first group: shown as the group's I-picture
  int start = 0; // source frame of the first frame after them
  int count = 0; // frames the project serves, lead included

  int sourceFrame(int k) const { return k < lead ? start : start + k - lead; }
  // Whether the project serves the source's frames unchanged.
  bool identity(int sourceFrames) const { return lead == 0 && start == 0 && count == sourceFrames; }
};

// Maps a project onto the index of its files (`fileSizes` in the project's
// order). Without groups the whole video is served. Throws
// EngineError("mpeg2source: ...") when the first listed group is no
// I-picture of the files.
ProjectFrameMap MapProjectFrames(const Mpeg2Index &index, const std::vector<std::uint64_t> &fileSizes,
                                 const std::vector<D2vGop> &gops);

// Damaged ranges of the source's frames (`stored`) in the project's numbering:
// every project frame that shows a stored frame of a range; ranges the
// project does not serve are left out.
std::vector<FrameRange> MapDamageToProject(const ProjectFrameMap &map, const std::vector<FrameRange> &stored);

// The frame map of `clip` when it is a project's view of its source's frames.
const ProjectFrameMap *ProjectMapOf(const Clip &clip);

// The source's frames as the map gives them. Reached by IndexOfSource and
// StatsOfSource as any other view of the stored frames.
ClipPtr MakeProjectFramesClip(ClipPtr source, const ProjectFrameMap &map);

// A copy of the index whose frame list follows the map (for the pulldown,
// which reads each shown picture's field flags).
Mpeg2Index IndexOfProjectFrames(const Mpeg2Index &index, const ProjectFrameMap &map);

} // namespace reelwork::engine
