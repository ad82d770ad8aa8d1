#pragma once
// reelwork-cli titles: the calculator's "Find Titles" without a window.
//
//   reelwork-cli titles SCRIPT [--seed K]     titles=N start=F
//
// F is the first frame of the end titles and N the frames from there to the
// end, both as the calculator counts them (frames from 1, N = frames - F).
// When the search finds no titles it prints titles=0 and the calculator's
// message on stderr. K seeds the random pixel samples (1 when not given).
// Exit code: 0 done, 1 the script or a frame could not be used, 2 wrong
// arguments.

#include <string>
#include <vector>

namespace reelwork {

int RunTitlesCommand(const std::vector<std::string> &args);

} // namespace reelwork
