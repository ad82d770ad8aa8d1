#pragma once
// reelwork-cli crop SCRIPT N [--balance B] [--no-align]
//
// Measures the black borders of frame N (numbered from 0, as `frame` numbers
// them) of the script and prints
//   X1=a X2=b Y1=c Y2=d
//   Crop(a,c,-b,-d)
// the amounts after the balance B (the text of the auto-crop balance setting,
// default "0") and, unless --no-align, the four-multiple adjustment of X1 and
// X2; the second line is the Crop line Make Crop writes for them (within the
// crop dialog's ranges).

#include <string>
#include <vector>

namespace reelwork {

// `args` are the words after "crop". Returns 0 on success, 1 when the script
// or frame cannot be read (reason on stderr), 2 on wrong usage.
int RunCropCommand(const std::vector<std::string> &args);

} // namespace reelwork
