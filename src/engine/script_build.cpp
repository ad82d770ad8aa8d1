#include "engine/script_build.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/mpeg2_source.h"

namespace fs = std::filesystem;

namespace reelwork::engine {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The first double-quoted argument of an mpeg2source( call on a line that is
// not commented out before it; empty when the line holds none.
std::string SourceArgument(const std::string &line) {
  std::string lower(line);
  for (char &c : lower)
    c = Lower(c);
  const size_t comment = lower.find('#');
  size_t at = lower.find("mpeg2source");
  while (at != std::string::npos && at < comment) {
    size_t p = at + 11;
    while (p < lower.size() && (lower[p] == ' ' || lower[p] == '\t'))
      ++p;
    if (p < lower.size() && lower[p] == '(') {
      ++p;
      while (p < lower.size() && (lower[p] == ' ' || lower[p] == '\t'))
        ++p;
      if (p < lower.size() && line[p] == '"') {
        const size_t close = line.find('"', p + 1);
        if (close != std::string::npos && close > p + 1)
          return line.substr(p + 1, close - p - 1);
      }
    }
    at = lower.find("mpeg2source", at + 1);
  }
  return {};
}

} // namespace

ClipPtr BuildScriptClip(const std::string &scriptPath, const ProgressFn &progress) {
  std::ifstream in(scriptPath, std::ios::binary);
  if (!in)
    throw EngineError("cannot read the script " + scriptPath);
  std::string line;
  std::string d2v;
  while (d2v.empty() && std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    d2v = SourceArgument(line);
  }
  if (d2v.empty())
    throw EngineError("the script has no mpeg2source(\"...d2v\") line");
  fs::path path(d2v);
  if (path.is_relative())
    path = fs::path(scriptPath).parent_path() / path;
  return MakeMpeg2Source(path.string(), progress);
}

} // namespace reelwork::engine
