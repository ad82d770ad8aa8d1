#pragma once
// reelwork-cli d2v OUT.d2v VOB... | VIDEO_TS
//
// Writes the DGIndex project (format 16) for the VOB files, read in the order
// given as one stream, and prints
//   frames=N gops=G film=P
// the coded pictures listed, the data lines (one per I-picture) and the share
// of film with pulldown flags in percent with two decimals. Given a folder
// instead of VOBs (a VIDEO_TS folder or the disc's root), it takes the title
// VOBs of its largest title set and names them on stderr. Progress goes to
// stderr as well.

#include <string>
#include <vector>

namespace reelwork {

// `args` are the words after "d2v". Returns 0 on success, 1 when the files
// cannot be read or the project cannot be written (reason on stderr), 2 on
// wrong usage.
int RunD2vCommand(const std::vector<std::string> &args);

} // namespace reelwork
