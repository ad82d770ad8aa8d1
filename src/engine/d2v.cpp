#include "engine/d2v.h"

#include <fstream>
#include <sstream>
#include <system_error>

#include "common/file_lookup.h"
#include "common/text_codec.h"
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

std::string_view WithoutBom(std::string_view text) {
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  if (text.substr(0, kBom.size()) == kBom)
    text.remove_prefix(kBom.size());
  return text;
}

// The next blank-separated token of `line` from `at`, advancing `at`.
std::string_view NextToken(std::string_view line, size_t &at) {
  while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
    ++at;
  const size_t start = at;
  while (at < line.size() && line[at] != ' ' && line[at] != '\t')
    ++at;
  return line.substr(start, at - start);
}

// A whole token as a number in `base` no larger than `max`.
bool ReadNumber(std::string_view token, int base, std::uint64_t max, std::uint64_t &value) {
  if (token.empty() || token.size() > 18) // 18 digits cannot overflow 64 bits
    return false;
  value = 0;
  for (char c : token) {
    unsigned digit = 99;
    if (c >= '0' && c <= '9')
      digit = static_cast<unsigned>(c - '0');
    else if (c >= 'a' && c <= 'f')
      digit = static_cast<unsigned>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
      digit = static_cast<unsigned>(c - 'A' + 10);
    if (digit >= static_cast<unsigned>(base))
      return false;
    value = value * static_cast<std::uint64_t>(base) + digit;
  }
  return value <= max;
}

bool ParseDataLine(std::string_view line, D2vGop &gop) {
  size_t at = 0;
  std::uint64_t v[7] = {};
  if (!ReadNumber(NextToken(line, at), 16, 0xFFFFFFFFu, v[0]))
    return false;
  for (int i = 1; i < 7; ++i)
    if (!ReadNumber(NextToken(line, at), 10, i == 3 ? (1ull << 62) : 0x7FFFFFFFu, v[i]))
      return false;
  gop.info = static_cast<std::uint32_t>(v[0]);
  gop.matrix = static_cast<int>(v[1]);
  gop.file = static_cast<int>(v[2]);
  gop.position = v[3];
  gop.skip = static_cast<int>(v[4]);
  gop.vob = static_cast<int>(v[5]);
  gop.cell = static_cast<int>(v[6]);
  gop.flags.clear();
  gop.flags.reserve(18);
  for (std::string_view token = NextToken(line, at); !token.empty(); token = NextToken(line, at)) {
    std::uint64_t flag = 0;
    if (!ReadNumber(token, 16, 0xFF, flag))
      return false;
    gop.flags.push_back(static_cast<std::uint8_t>(flag));
  }
  return !gop.flags.empty();
}

} // namespace

std::vector<D2vGop> ParseD2vDataLines(std::string_view text, bool *ended) {
  if (ended)
    *ended = false;
  text = WithoutBom(text);
  const auto lines = SplitLines(text, std::string_view::npos);
  size_t at = 1;
  // The file list, then a blank line, the settings ("key=value") and
  // another blank line; then a line for each group.
  long count = 0;
  if (at < lines.size()) {
    for (char c : lines[at].substr(0, 6))
      if (IsDigit(c))
        count = count * 10 + (c - '0');
    at += 1 + static_cast<size_t>(count);
  }
  while (at < lines.size() && lines[at].empty())
    ++at;
  while (at < lines.size() && lines[at].find('=') != std::string_view::npos)
    ++at;
  while (at < lines.size() && lines[at].empty())
    ++at;
  std::vector<D2vGop> gops;
  for (; at < lines.size() && !lines[at].empty(); ++at) {
    D2vGop gop;
    if (!ParseDataLine(lines[at], gop))
      Fail("the project file's line " + std::to_string(at + 1) + " is no group of pictures");
    gops.push_back(std::move(gop));
  }
  if (!gops.empty() && gops.back().flags.back() == 0xFF) {
    if (ended)
      *ended = true;
    gops.back().flags.pop_back();
    if (gops.back().flags.empty())
      gops.pop_back(); // a line holding the end mark alone
  }
  for (size_t i = 0; i < gops.size(); ++i)
    for (std::uint8_t flag : gops[i].flags)
      if (flag == 0xFF)
        Fail("the project file's group " + std::to_string(i + 1) + " ends the stream before the last group");
  return gops;
}

std::vector<std::string> ParseD2vFileList(std::string_view text) {
  text = WithoutBom(text);
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

std::vector<std::uint64_t> ParseD2vLocation(std::string_view text) {
  constexpr std::string_view kKey = "Location=";
  for (size_t at = text.find(kKey); at != std::string_view::npos; at = text.find(kKey, at + 1)) {
    if (at != 0 && text[at - 1] != '\n')
      continue;
    std::string_view value = text.substr(at + kKey.size());
    value = value.substr(0, value.find_first_of("\r\n"));
    std::vector<std::uint64_t> numbers;
    for (size_t from = 0; from <= value.size() && numbers.size() < 5;) {
      const size_t comma = std::min(value.find(',', from), value.size());
      std::uint64_t number = 0;
      if (!ReadNumber(value.substr(from, comma - from), numbers.size() % 2 ? 16 : 10, 1ull << 50, number))
        return {};
      numbers.push_back(number);
      from = comma + 1;
    }
    return numbers.size() == 4 ? numbers : std::vector<std::uint64_t>{};
  }
  return {};
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

D2vProject ReadD2vProjectFile(const fs::path &d2vGiven) {
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
  // A project lists a line for every group of pictures: a few MiB for a
  // whole disc. Far more is no project.
  constexpr size_t kMaxBytes = 256u << 20;
  std::string bytes;
  char buffer[1 << 16];
  while (in.read(buffer, sizeof(buffer)) || in.gcount() > 0) {
    bytes.append(buffer, static_cast<size_t>(in.gcount()));
    if (bytes.size() > kMaxBytes)
      Fail("the project file " + d2vPath.string() + " is too large to be a project");
  }
  const std::string text = DecodeProjectText(bytes);
  D2vProject project;
  const auto listed = ParseD2vFileList(text);
  project.fieldOperation = ParseD2vFieldOperation(text);
  // Only format 16 is known to carry the groups in the form read here.
  if (text.rfind("DGIndexProjectFile16", 0) == 0) {
    project.gops = ParseD2vDataLines(text, &project.gopsEnded);
    project.location = ParseD2vLocation(text);
  }
  project.written = fs::last_write_time(d2vPath, ec);

  const fs::path folder = d2vPath.parent_path();
  for (const auto &entry : listed) {
    auto found = FindNamedFile(folder, entry);
    if (!found || !fs::is_regular_file(*found, ec))
      Fail("cannot find the video file " + entry + " (nor " + BaseNameAnySeparator(entry) +
           " below the project's folder)");
    project.files.push_back(*found);
  }
  for (size_t i = 0; i < project.gops.size(); ++i)
    if (project.gops[i].file < 0 || static_cast<size_t>(project.gops[i].file) >= project.files.size())
      Fail("the project file's group " + std::to_string(i + 1) + " names file " +
           std::to_string(project.gops[i].file) + ", which it does not list");
  return project;
}

std::vector<fs::path> ReadD2vProject(const fs::path &d2vPath, int *fieldOperation) {
  D2vProject project = ReadD2vProjectFile(d2vPath);
  if (fieldOperation)
    *fieldOperation = project.fieldOperation;
  return std::move(project.files);
}

} // namespace reelwork::engine
