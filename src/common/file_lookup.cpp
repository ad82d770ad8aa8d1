#include "common/file_lookup.h"

#include <algorithm>
#include <system_error>

namespace fs = std::filesystem;

namespace reelwork {

namespace {
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
} // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

bool MatchesWildcardNoCase(std::string_view name, std::string_view pattern) {
  // Iterative matcher with one backtrack point for the last "*".
  size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || Lower(pattern[p]) == Lower(name[n]))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*')
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

std::string BaseNameAnySeparator(std::string_view path) {
  const size_t cut = path.find_last_of("/\\");
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

} // namespace reelwork
