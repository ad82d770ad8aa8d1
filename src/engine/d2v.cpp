#include "engine/d2v.h"

#include <fstream>
#include <sstream>
#include <system_error>

#include "common/file_lookup.h"
#include "engine/video.h"

namespace fs = std::filesystem;

namespace reelwork::engine {

namespace {

// Real projects list a few dozen files at most; a larger count is garbage.
constexpr long kMaxFiles = 4096;
constexpr size_t kMaxPathLength = 4096;

[[noreturn]] void Fail(const std::string &reason) { throw EngineError("mpeg2source: " + reason); }

// Splits at LF, dropping one CR before it.
std::vector<std::string_view> SplitLines(std::string_view text, size_t maxLines) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start <= text.size() && lines.size() < maxLines) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos)
      end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    lines.push_back(line);
    if (end == text.size())
      break;
    start = end + 1;
  }
  return lines;
}

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The path of a list line: a leading character count and blank are dropped
// when the count matches the rest of the line, or when the rest does not look
// like a path of its own without them.
std::string_view PathOfLine(std::string_view line) {
  size_t digits = 0;
  while (digits < line.size() && IsDigit(line[digits]))
    ++digits;
  if (digits == 0 || digits >= line.size() || line[digits] != ' ' || digits > 6)
    return line;
  std::string_view rest = line.substr(digits + 1);
  size_t count = 0;
  for (size_t i = 0; i < digits; ++i)
    count = count * 10 + static_cast<size_t>(line[i] - '0');
  if (count == rest.size())
    return rest;
  // A count that disagrees (edited by hand, other encoding): still a count
  // when what follows starts like a path.
  if (!rest.empty() && (rest[0] == '/' || rest[0] == '\\' || rest[0] == '.' ||
                        (rest.size() > 1 && rest[1] == ':')))
    return rest;
  return line;
}

} // namespace

std::vector<std::string> ParseD2vFileList(std::string_view text) {
  if (!StartsWith(text, "DVD2AVIProjectFile") && !StartsWith(text, "DGIndexProjectFile"))
    Fail("not a DVD2AVI project file (its first line is no DVD2AVIProjectFile or DGIndexProjectFile)");
  const auto lines = SplitLines(text, static_cast<size_t>(kMaxFiles) + 2);
  if (lines.size() < 2)
    Fail("the project file has no file count");
  std::string_view countText = lines[1];
  while (!countText.empty() && (countText.back() == ' ' || countText.back() == '\t'))
    countText.remove_suffix(1);
  long count = 0;
  if (countText.empty())
    Fail("the project file has no file count");
  if (countText.size() > 6)
    Fail("the project file's file count is not a number");
  for (char c : countText) {
    if (!IsDigit(c))
      Fail("the project file's file count is not a number");
    count = count * 10 + (c - '0');
  }
  if (count == 0)
    Fail("the project file lists no video files");
  if (count > kMaxFiles)
    Fail("the project file's file count is too large");
  if (lines.size() < static_cast<size_t>(count) + 2)
    Fail("the project file lists fewer files than its count says");
  std::vector<std::string> files;
  files.reserve(static_cast<size_t>(count));
  for (long i = 0; i < count; ++i) {
    std::string_view path = PathOfLine(lines[static_cast<size_t>(i) + 2]);
    if (path.empty())
      Fail("the project file has an empty line where file " + std::to_string(i + 1) + " should be");
    if (path.size() > kMaxPathLength || path.find('\0') != std::string_view::npos)
      Fail("the project file's path of file " + std::to_string(i + 1) + " is not a path");
    files.emplace_back(path);
  }
  return files;
}

int ParseD2vFieldOperation(std::string_view text) {
  constexpr std::string_view kKey = "Field_Operation=";
  for (size_t at = text.find(kKey); at != std::string_view::npos; at = text.find(kKey, at + 1)) {
    if (at != 0 && text[at - 1] != '\n')
      continue;
    const char c = at + kKey.size() < text.size() ? text[at + kKey.size()] : '0';
    return c == '1' ? 1 : c == '2' ? 2 : 0;
  }
  return 0;
}

std::vector<fs::path> ReadD2vProject(const fs::path &d2vGiven, int *fieldOperation) {
  std::error_code ec;
  fs::path d2vPath = d2vGiven;
  if (!fs::is_regular_file(d2vPath, ec)) {
    // Names are matched without regard to case, as on the discs' home system.
    auto resolved = ResolvePathNoCase(d2vPath);
    if (!resolved || !fs::is_regular_file(*resolved, ec))
      Fail("cannot find the project file " + d2vGiven.string());
    d2vPath = *resolved;
  }
  std::ifstream in(d2vPath, std::ios::binary);
  if (!in)
    Fail("cannot read the project file " + d2vPath.string());
  // The file list sits at the top; the frame table after it can be large.
  std::string text(1 << 20, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  const auto listed = ParseD2vFileList(text);
  if (fieldOperation)
    *fieldOperation = ParseD2vFieldOperation(text);

  const fs::path folder = d2vPath.parent_path();
  std::vector<fs::path> files;
  for (const auto &entry : listed) {
    fs::path asWritten(entry);
    if (asWritten.is_relative())
      asWritten = folder / asWritten;
    if (entry.find('\\') == std::string::npos && fs::is_regular_file(asWritten, ec)) {
      files.push_back(asWritten);
      continue;
    }
    if (auto resolved = ResolvePathNoCase(asWritten); resolved && fs::is_regular_file(*resolved, ec)) {
      files.push_back(*resolved);
      continue;
    }
    const std::string name = BaseNameAnySeparator(entry);
    auto found = name.empty() ? std::nullopt : FindFileNoCase(folder, name);
    if (!found || !fs::is_regular_file(*found, ec))
      Fail("cannot find the video file " + entry + " (nor " + name + " beside the project file)");
    files.push_back(*found);
  }
  return files;
}

} // namespace reelwork::engine
