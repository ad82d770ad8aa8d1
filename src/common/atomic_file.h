#pragma once
// Writes that never destroy the old file before the new one is complete.

#include <filesystem>
#include <string>
#include <string_view>

namespace reelwork {

// Writes `bytes` to a new file beside `path`, flushes it to disk and renames it
// over `path`. On failure the old file is untouched, the temporary file is
// removed and `error` (if given) receives the reason.
bool WriteFileAtomically(const std::filesystem::path &path, std::string_view bytes,
                         std::string *error = nullptr);

} // namespace reelwork
