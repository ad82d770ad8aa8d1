#include "cli/command_support.h"

#include <charconv>
#include <cstdio>
#include <exception>

namespace reelwork::cli {

void StderrDialogs::showMessage(const QString &text) { std::fprintf(stderr, "%s\n", text.toUtf8().constData()); }

bool StderrDialogs::askYesNo(const QString &text) {
  showMessage(text);
  return false;
}

std::optional<std::uint32_t> ParseSeed(const std::string &text) {
  std::uint32_t seed = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seed);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size())
    return std::nullopt;
  return seed;
}

std::unique_ptr<EnginePreview> OpenScript(SharedState &state, const std::string &script) {
  try {
    return std::make_unique<EnginePreview>(state, script);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "reelwork-cli: %s: %s\n", script.c_str(), e.what());
    return nullptr;
  }
}

int ReportFailedFrame(const std::string &script, const EnginePreview &preview) {
  std::fprintf(stderr, "reelwork-cli: a frame of %s could not be read: %s\n", script.c_str(),
               preview.error().c_str());
  return 1;
}

} // namespace reelwork::cli
