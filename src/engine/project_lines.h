#pragma once
// Opening a project from its own data lines: the lines say where each group
// of pictures starts in the files and list its pictures' types and field
// flags, so the source can start without scanning the files. The exact bytes
// of a group's pictures are found by a scan of that group alone, the first
// time it is decoded, and checked against what its line lists.

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/d2v.h"
#include "engine/mpeg2_index.h"

namespace reelwork::engine {

class ConcatenatedFiles;

// Thrown by LocateGroupOf when the files do not hold, at a line's place, the
// pictures the line lists: the project must be served from a full index.
struct ProjectLinesWrong {};

struct ProjectLines {
  // Every listed picture's type, fields, frame and seek point, in decode
  // order; a picture's place in the files is filled in when its group is
  // located (until then its packetPos is its line's position).
  std::shared_ptr<Mpeg2Index> index;
  std::vector<std::uint32_t> groupStart; // first picture of each line, then the picture count
  std::vector<std::uint64_t> position;   // each line's position in the files read as one
  std::vector<int> skip;                 // each line's I-pictures to pass over from there
  std::vector<bool> located;
  std::vector<bool> wrong; // groups the files do not hold as their lines list them
  long groupsLocated = 0;
};

// The skeleton index of a project from its data lines, with its first and last
// groups located; null when the project is not one to open this way. The
// rule, so that a wrong line can be told from a right one without scanning
// the files:
// - a DGIndex project of format 16 whose data lines are complete (the last
//   ends with the stream's end mark) and cover all of its files (its
//   Location runs from the first byte of the first file to the last sector
//   of the last, as the files are now);
// - written no earlier than any of its files was last changed;
// - lines in the order of their positions, each within its file, each with
//   one I-picture and its pictures in an order decoders can follow;
// - its first line is the first I-picture of the files, and its first and
//   last groups hold the pictures the lines list (the last ending the
//   stream).
// Every other group is checked the same way when it is first decoded.
std::shared_ptr<ProjectLines> OpenProjectLines(const D2vProject &project, const ConcatenatedFiles &files);

// Fills in the places of the pictures of the group holding decode index `d`
// (once). Throws ProjectLinesWrong when the files do not hold there the
// pictures the line lists, or the line's group does not end where the next
// line starts (and from then on for that group).
void LocateGroupOf(ProjectLines &lines, const ConcatenatedFiles &files, std::uint32_t d);

// Whether decode index `d` is the I-picture that starts a line's group.
bool StartsGroup(const ProjectLines &lines, std::uint32_t d);

} // namespace reelwork::engine
