#include "app/shared_state.h"

namespace reelwork {

int LanguageFromSetting(const QString &value) { return value == QLatin1String("0") ? 0 : 1; }

} // namespace reelwork
