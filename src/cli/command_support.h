#pragma once
// What reelwork-cli's tool commands share: the window's message boxes as
// lines on stderr, reading --seed, and opening a script as the preview does.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/shared_state.h"
#include "script/script_host.h"
#include "tools/engine_preview.h"

namespace reelwork::cli {

// The window's message boxes as lines on stderr; questions are answered No.
class StderrDialogs : public UserDialogs {
public:
  using UserDialogs::showMessage;
  void showMessage(const QString &text) override;
  bool askYesNo(const QString &text) override;
  std::optional<QString> askSaveFileName(const QString &) override { return std::nullopt; }
  std::optional<QString> askOpenFileName(const QString &) override { return std::nullopt; }
  QStringList runFileChooser(const QString &, int &) override { return {}; }
};

// A random seed: a whole number from 0 to 4294967295, nothing else.
std::optional<std::uint32_t> ParseSeed(const std::string &text);

// Opens the script into `state`; prints the reason and gives nothing when it
// cannot be run.
std::unique_ptr<EnginePreview> OpenScript(SharedState &state, const std::string &script);

// Says on stderr that a frame of the script could not be read; gives exit code 1.
int ReportFailedFrame(const std::string &script, const EnginePreview &preview);

} // namespace reelwork::cli
