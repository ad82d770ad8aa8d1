#include "engine/script_build.h"

#include "engine/script/evaluator.h"

namespace reelwork::engine {

ClipPtr BuildScriptClip(const std::string &scriptPath, const ProgressFn &progress) {
  return script::EvaluateScriptFile(scriptPath, progress).clip;
}

} // namespace reelwork::engine
