// The language's own functions: values, strings, control of the script.

#include "engine/script/functions.h"

namespace reelwork::engine::script {

void AddLanguageFunctions(FunctionTable &) {}

} // namespace reelwork::engine::script
