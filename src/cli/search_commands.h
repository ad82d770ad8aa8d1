#pragma once
// reelwork-cli's searches: the main window's Find Interlace, Find Light and
// Test Round run over the frame engine without a window.
//
//   reelwork-cli interlace SCRIPT [--sens S] [--seed K]   frame=F score=S
//   reelwork-cli light SCRIPT [--sens S] [--seed K]       frame=F brightness=B
//   reelwork-cli round SCRIPT N X Y [--sens S]            circle=CX,CY,R | none
//
// Frames are numbered from 1 as in the preview. S is read as the sensitivity
// setting is (a decimal 0..10, anything else counts as 5); K seeds the random
// generator (1 when not given), so a run can be repeated exactly. Messages the
// window would show go to stderr. Each returns the exit code: 0 done, 1 the
// script, a frame or the click could not be used, 2 wrong arguments.

#include <string>
#include <vector>

namespace reelwork {

int RunInterlaceCommand(const std::vector<std::string> &args);
int RunLightCommand(const std::vector<std::string> &args);
int RunRoundCommand(const std::vector<std::string> &args);

} // namespace reelwork
