#pragma once
// File names on disk matched without regard to case, as users expect from
// DVD folders copied off Windows discs (VIDEO_TS/vts_01_1.vob and the like).

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace reelwork {

// Equality of two names (UTF-8) without regard to case, for Cyrillic and
// Latin-1 letters as for ASCII.
bool EqualsNoCase(std::string_view a, std::string_view b);

// Wildcard match ("*" any run, "?" one character) without regard to case.
bool MatchesWildcardNoCase(std::string_view name, std::string_view pattern);

// The entry of `dir` whose name equals `name` without regard to case; the exact
// name wins when several differ only in case. Empty when there is none.
std::optional<std::filesystem::path> FindFileNoCase(const std::filesystem::path &dir,
                                                    std::string_view name);

// Resolves every component of `path` without regard to case, starting from the
// first one that exists as written. Empty when some component cannot be found.
std::optional<std::filesystem::path> ResolvePathNoCase(const std::filesystem::path &path);

// The regular files of `dir` (and its folders too, with `withFolders`) whose
// names match `pattern` (see MatchesWildcardNoCase), sorted by name. Empty
// when the folder cannot be read.
std::vector<std::string> ListFilesNoCase(const std::filesystem::path &dir, std::string_view pattern,
                                         bool withFolders = false);

// A file named in a script or a project, as the frame engine and the windows
// both find it. `written` may be relative to `folder`, absolute, or a Windows
// path ("D:\\MOVIE\\VIDEO_TS\\VTS_01_1.VOB", "VIDEO_TS\\VTS_01_1.VOB"). Tried
// in order: as written (relative paths below `folder`), each component
// matched without regard to case; then its trailing components below
// `folder`, longest first (VIDEO_TS/VTS_01_1.VOB), down to the bare name.
// Folders are never the result. Empty when nothing is found.
std::optional<std::filesystem::path> FindNamedFile(const std::filesystem::path &folder, std::string_view written);

// The file name of a path written with either "\" or "/" separators.
std::string BaseNameAnySeparator(std::string_view path);

} // namespace reelwork
