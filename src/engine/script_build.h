#pragma once
// Turns a script file into the clip it describes.

#include <string>

#include "engine/clip.h"

namespace reelwork::engine {

// Reads the script at `scriptPath` and builds its clip; relative paths in it
// are taken from the script's folder. Throws EngineError with the reason.
ClipPtr BuildScriptClip(const std::string &scriptPath, const ProgressFn &progress);

} // namespace reelwork::engine
