#include "common/file_lookup.h"

#include <algorithm>
#include <system_error>

#include "common/text_codec.h"

namespace fs = std::filesystem;

namespace reelwork {

namespace {

// A name as folded code points, for comparisons without regard to case.
std::u32string Folded(std::string_view name) {
  std::u32string out;
  out.reserve(name.size());
  for (size_t at = 0; at < name.size();)
    out += FoldCase(NextCodePoint(name, at));
  return out;
}

} // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) { return Folded(a) == Folded(b); }

bool MatchesWildcardNoCase(std::string_view nameText, std::string_view patternText) {
  const std::u32string name = Folded(nameText), pattern = Folded(patternText);
  // Iterative matcher with one backtrack point for the last "*".
  size_t n = 0, p = 0, starP = std::u32string::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == U'*') {
      starP = p++;
      starN = n;
    } else if (starP != std::u32string::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == U'*')
    ++p;
  return p == pattern.size();
}

std::optional<fs::path> FindFileNoCase(const fs::path &dir, std::string_view name) {
  std::error_code ec;
  const fs::path base = dir.empty() ? fs::path(".") : dir;
  const fs::path exact = base / fs::path(std::string(name));
  if (fs::exists(exact, ec))
    return dir.empty() ? fs::path(std::string(name)) : exact;
  std::optional<fs::path> found;
  for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string entry = it->path().filename().string();
    if (EqualsNoCase(entry, name) && (!found || entry < found->filename().string()))
      found = dir.empty() ? fs::path(entry) : it->path();
  }
  return found;
}

std::optional<fs::path> ResolvePathNoCase(const fs::path &path) {
  std::error_code ec;
  if (fs::exists(path, ec))
    return path;
  // Walk up to the deepest ancestor that exists as written, then back down.
  std::vector<fs::path> missing;
  fs::path head = path;
  while (!head.empty() && !fs::exists(head, ec)) {
    missing.push_back(head.filename());
    const fs::path parent = head.parent_path();
    if (parent == head)
      break;
    head = parent;
  }
  fs::path current = head;
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (it->empty() || *it == ".")
      continue;
    auto next = FindFileNoCase(current, it->string());
    if (!next)
      return std::nullopt;
    current = *next;
  }
  return current;
}

std::vector<std::string> ListFilesNoCase(const fs::path &dir, std::string_view pattern, bool withFolders) {
  std::vector<std::string> names;
  std::error_code ec;
  const fs::path base = dir.empty() ? fs::path(".") : dir;
  for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeEc;
    if (!it->is_regular_file(typeEc) && !(withFolders && it->is_directory(typeEc)))
      continue;
    std::string entry = it->path().filename().string();
    if (MatchesWildcardNoCase(entry, pattern))
      names.push_back(std::move(entry));
  }
  std::sort(names.begin(), names.end());
  return names;
}

namespace {

// The components of a path written with either separator, without a drive
// ("D:"), empty components and ".".
std::vector<std::string> Components(std::string_view path, bool &absolute) {
  absolute = false;
  if (path.size() >= 2 && path[1] == ':' &&
      ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
    path.remove_prefix(2);
    absolute = true;
  }
  if (!path.empty() && (path[0] == '/' || path[0] == '\\'))
    absolute = true;
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of("/\\", start);
    if (end == std::string_view::npos)
      end = path.size();
    const std::string_view part = path.substr(start, end - start);
    if (!part.empty() && part != ".")
      parts.emplace_back(part);
    start = end + 1;
  }
  return parts;
}

// `parts` below `folder`, each matched without regard to case.
std::optional<fs::path> Descend(const fs::path &folder, const std::vector<std::string> &parts, size_t first) {
  fs::path current = folder;
  for (size_t i = first; i < parts.size(); ++i) {
    if (parts[i] == "..")
      return std::nullopt;
    auto next = FindFileNoCase(current, parts[i]);
    if (!next)
      return std::nullopt;
    current = std::move(*next);
  }
  return current;
}

bool IsFileEntry(const fs::path &p) {
  std::error_code ec;
  return fs::exists(p, ec) && !fs::is_directory(p, ec);
}

} // namespace

std::optional<fs::path> FindNamedFile(const fs::path &folder, std::string_view written) {
  if (written.empty() || written.find('\0') != std::string_view::npos)
    return std::nullopt;
  const bool windows = written.find('\\') != std::string_view::npos ||
                       (written.size() > 1 && written[1] == ':');
  if (!windows) {
    fs::path asWritten{std::string(written)};
    if (asWritten.is_relative() && !folder.empty())
      asWritten = folder / asWritten;
    if (auto found = ResolvePathNoCase(asWritten); found && IsFileEntry(*found))
      return found;
  }
  bool absolute = false;
  const auto parts = Components(written, absolute);
  if (parts.empty())
    return std::nullopt;
  // A relative path with ".." is meant from its own folder: tried as written.
  if (windows && !absolute) {
    fs::path current = folder.empty() ? fs::path(".") : folder;
    bool ok = true;
    for (const auto &part : parts) {
      auto next = part == ".." ? std::optional<fs::path>(current / "..") : FindFileNoCase(current, part);
      if (!next) {
        ok = false;
        break;
      }
      current = std::move(*next);
    }
    if (ok && IsFileEntry(current))
      return current;
  }
  // Its trailing components below the folder, longest first, then the bare name.
  size_t first = 0;
  for (size_t i = 0; i < parts.size(); ++i)
    if (parts[i] == "..")
      first = i + 1;
  for (size_t from = first; from < parts.size(); ++from)
    if (auto found = Descend(folder.empty() ? fs::path(".") : folder, parts, from); found && IsFileEntry(*found))
      return found;
  return std::nullopt;
}

std::string BaseNameAnySeparator(std::string_view path) {
  const size_t cut = path.find_last_of("/\\");
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

} // namespace reelwork
