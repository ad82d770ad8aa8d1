#include "engine/dvd_folder.h"

#include <map>
#include <system_error>

#include "common/file_lookup.h"

namespace fs = std::filesystem;

namespace reelwork::engine {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads nn and k from "VTS_nn_k.VOB" (any case); k may have more digits.
bool ParseTitleVobName(const std::string &name, int &set, int &part) {
  if (name.size() < 12 || !EqualsNoCase(name.substr(0, 4), "VTS_") || !IsDigit(name[4]) || !IsDigit(name[5]) ||
      name[6] != '_' || !EqualsNoCase(name.substr(name.size() - 4), ".VOB"))
    return false;
  const std::string digits = name.substr(7, name.size() - 11);
  if (digits.empty() || digits.size() > 3)
    return false;
  for (char c : digits)
    if (!IsDigit(c))
      return false;
  set = (name[4] - '0') * 10 + (name[5] - '0');
  part = std::stoi(digits);
  return true;
}

fs::path DvdFolderOf(const fs::path &folder) {
  std::error_code ec;
  if (auto inner = FindFileNoCase(folder, "VIDEO_TS"); inner && fs::is_directory(*inner, ec))
    return *inner;
  return folder;
}

} // namespace

std::vector<TitleSet> ListTitleSets(const fs::path &given) {
  const fs::path folder = DvdFolderOf(given);
  std::map<int, std::map<int, fs::path>> parts;
  for (const std::string &name : ListFilesNoCase(folder, "VTS_*.VOB")) {
    int set = 0, part = 0;
    if (ParseTitleVobName(name, set, part) && part >= 1)
      parts[set].emplace(part, folder / name);
  }
  std::vector<TitleSet> sets;
  for (const auto &[number, files] : parts) {
    TitleSet title;
    title.number = number;
    int expected = 1;
    for (const auto &[part, path] : files) {
      if (part != expected++)
        break; // a gap: what follows belongs to no continuous stream
      std::error_code ec;
      const auto size = fs::file_size(path, ec);
      title.bytes += ec ? 0 : size;
      title.vobs.push_back(path);
    }
    if (!title.vobs.empty())
      sets.push_back(std::move(title));
  }
  return sets;
}

std::optional<TitleSet> LargestTitleSet(const fs::path &folder) {
  std::optional<TitleSet> best;
  for (auto &set : ListTitleSets(folder))
    if (!best || set.bytes > best->bytes)
      best = std::move(set);
  return best;
}

std::vector<fs::path> TitleVobsOf(const fs::path &vob) {
  int set = 0, part = 0;
  if (ParseTitleVobName(vob.filename().string(), set, part) && part >= 1)
    for (auto &title : ListTitleSets(vob.parent_path()))
      if (title.number == set)
        return std::move(title.vobs);
  return {vob};
}

} // namespace reelwork::engine
