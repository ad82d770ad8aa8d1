#pragma once
// reelwork-cli resize: the automatic, exact and manual resize arithmetic for
// batch use. `args` are the words after "resize"; prints one result line to
// stdout, reasons to stderr. Returns 0 ok, 1 a value that does not convert,
// 2 usage.

#include <string>
#include <vector>

namespace reelwork {

int RunResizeCommand(const std::vector<std::string> &args);

} // namespace reelwork
