#pragma once
// reelwork-cli bitrate: the calculator's arithmetic without a window.
//
//   reelwork-cli bitrate --size TEXT [--preset P] (--time T | --frames N)
//       [--rate R] [--audio A1[,A2[,A3]]] [--titles TT [--title-rate BT]]
//       [--width X --height Y]
//
// Prints "bitrate=B quality=Q" as the calculator shows them, or "refused"
// (exit 1) when the size cannot be read or nothing can be computed.

#include <string>
#include <vector>

namespace reelwork {

// `args` are the words after "bitrate". Returns 0, 1 (refused) or 2 (usage).
int RunBitrateCommand(const std::vector<std::string> &args);

} // namespace reelwork
