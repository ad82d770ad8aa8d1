#pragma once
// DVD2AVI / DGIndex project files: the list of VOB files a project decodes.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace reelwork::engine {

// Reads the file list of a project's text. The first line starts with
// "DVD2AVIProjectFile" or "DGIndexProjectFile", the second holds the number of
// files, then one path a line, optionally after a decimal character count and
// a blank. Paths are returned as written (a Windows path stays one).
// Throws EngineError("mpeg2source: ...") when the text is no project file.
std::vector<std::string> ParseD2vFileList(std::string_view text);

// Reads the project file at `d2vPath` (found without regard to case if it
// does not exist as written) and resolves each listed path: as
// written if it exists, otherwise by its file name in the project's folder
// without regard to case. Throws EngineError naming the missing file.
// `fieldOperation`, when given, receives the project's field operation.
std::vector<std::filesystem::path> ReadD2vProject(const std::filesystem::path &d2vPath, int *fieldOperation = nullptr);

// How the project shows film stored with pulldown flags, from its
// "Field_Operation=" line: 0 as the flags say (the default when the line is
// missing), 1 the stored film frames ("Force Film"), 2 the stored frames at
// the sequence header's rate (flags ignored).
int ParseD2vFieldOperation(std::string_view text);

} // namespace reelwork::engine
