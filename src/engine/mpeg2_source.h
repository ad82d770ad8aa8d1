#pragma once
// mpeg2source: the frames of a DVD2AVI project's VOB files, decoded as one
// continuous MPEG-2 stream with frame-exact random access through the index.

#include <cstdint>
#include <string>

#include "engine/clip.h"
#include "engine/mpeg2_index.h"

namespace reelwork::engine {

// Reads the project, finds or builds the index (reporting progress), and
// returns the source wrapped in a small frame cache. Frames are YV12. A
// project whose data lines cover its files (one Reelwork made) opens from its
// lines without a scan when no index of the files is kept (see
// OpenProjectLines). Throws EngineError("mpeg2source: <reason>").
ClipPtr MakeMpeg2Source(const std::string &d2vPath, const ProgressFn &progress);

// The source over files already resolved, without the cache (tests and the
// benchmark look at it directly).
std::shared_ptr<Clip> MakeMpeg2SourceFromFiles(const std::vector<std::filesystem::path> &files,
                                               const ProgressFn &progress);

// The index a source made by the functions above uses, or null for other clips.
IndexPtr IndexOfSource(const Clip &clip);

// The frame ranges of the clip near damage in the source's files (in the
// clip's own numbering, with pulldown applied), empty for other clips.
std::vector<FrameRange> DamagedFramesOf(const Clip &clip);

// Counts the times a source took another index while serving frames (an
// index found wrong and built again, a project's data lines given up for the
// full index of its files): the damaged frames known may have changed.
std::uint64_t SourceIndexChanges();

// What a source has done so far: decoder restarts (seeks) and pictures fed to
// the decoder. Zero for other clips.
struct SourceStats {
  long seeks = 0;
  long picturesDecoded = 0;
  long rebuilds = 0; // indexes found wrong by a frame lookup and built again
  long groupsLocated = 0; // groups of a project's data lines scanned (a source opened from them)
};
SourceStats StatsOfSource(const Clip &clip);

} // namespace reelwork::engine
