#pragma once
// DVD2AVI / DGIndex project files: the list of VOB files a project decodes.

#include <cstdint>
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

// One data line of a DGIndex project (format 16): a group of pictures as the
// indexer found it.
struct D2vGop {
  std::uint32_t info = 0;     // bits: 0x400 closed group, 0x200 progressive sequence, 0x100 starts a new group
  int matrix = 0;             // matrix_coefficients in force
  int file = 0;               // index into the project's file list
  std::uint64_t position = 0; // byte position in that file of the pack where the group starts
  int skip = 0;
  int vob = 0;
  int cell = 0;
  std::vector<std::uint8_t> flags; // one a picture: 0x01 repeat first field, 0x02 top field first,
                                   // 0x30 picture type, 0x40 progressive frame, 0x80 decodable
                                   // without the previous group
};

// The data lines after a project's file list and settings, in order; empty
// when there are none. The end-of-stream flag (ff) that closes the last line
// is not kept; `ended`, when given, says whether it was there. Throws
// EngineError("mpeg2source: ...") for a damaged line.
std::vector<D2vGop> ParseD2vDataLines(std::string_view text, bool *ended = nullptr);

// The numbers of a project's "Location=" setting (first file, its first
// sector, last file, its last sector; the sectors in hex), empty when the
// line is missing or not four numbers.
std::vector<std::uint64_t> ParseD2vLocation(std::string_view text);

struct D2vProject {
  std::vector<std::filesystem::path> files; // resolved, in the project's order
  int fieldOperation = 0;                   // see ParseD2vFieldOperation
  std::vector<D2vGop> gops;                 // the groups it lists (format 16 only), else empty
  bool gopsEnded = false;                   // the last group ends with the stream's end mark
  std::vector<std::uint64_t> location;      // see ParseD2vLocation
  std::filesystem::file_time_type written{}; // the project file's modification time
};

// Reads the project file at `d2vPath` (found without regard to case if it
// does not exist as written). Its text is decoded as DecodeProjectText says
// (Windows-1251, UTF-8 with or without a byte-order mark) and each listed path
// is found by FindNamedFile below the project's folder. Throws EngineError
// naming the missing file.
D2vProject ReadD2vProjectFile(const std::filesystem::path &d2vPath);

// The resolved files alone; `fieldOperation`, when given, receives the
// project's field operation.
std::vector<std::filesystem::path> ReadD2vProject(const std::filesystem::path &d2vPath, int *fieldOperation = nullptr);

// How the project shows film stored with pulldown flags, from its
// "Field_Operation=" line: 0 as the flags say (the default when the line is
// missing), 1 the stored film frames ("Force Film"), 2 the stored frames at
// the sequence header's rate (flags ignored).
int ParseD2vFieldOperation(std::string_view text);

} // namespace reelwork::engine
