#include "cli/search_commands.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>

#include "cli/command_support.h"
#include "common/number.h"
#include "tools/frame_searches.h"
#include "tools/round_test.h"

namespace reelwork {

using cli::OpenScript;
using cli::ReportFailedFrame;
using cli::StderrDialogs;

namespace {

int Usage(const std::string &problem) {
  std::fprintf(stderr, "reelwork-cli: %s\n", problem.c_str());
  std::fprintf(stderr, "usage: reelwork-cli interlace SCRIPT [--sens S] [--seed K]\n"
                       "       reelwork-cli light SCRIPT [--sens S] [--seed K]\n"
                       "       reelwork-cli round SCRIPT N X Y [--sens S]\n");
  return 2;
}

struct Options {
  std::string script;
  std::vector<std::string> positional;
  QString sensitivity = "5";
  std::uint32_t seed = 1;
};

// Reads SCRIPT, `positionalCount` further arguments and the options allowed.
// Returns the exit code of a usage error, or nothing when all is well.
std::optional<int> ReadOptions(const std::string &command, const std::vector<std::string> &args,
                               size_t positionalCount, bool seedAllowed, Options &options) {
  if (args.size() < 1 + positionalCount)
    return Usage(command + " takes a script" + (positionalCount ? ", a frame number and a point" : ""));
  options.script = args[0];
  options.positional.assign(args.begin() + 1, args.begin() + 1 + static_cast<long>(positionalCount));
  for (size_t i = 1 + positionalCount; i < args.size(); ++i) {
    if (args[i] == "--sens" && i + 1 < args.size()) {
      options.sensitivity = QString::fromStdString(args[++i]);
    } else if (seedAllowed && args[i] == "--seed" && i + 1 < args.size()) {
      const auto seed = cli::ParseSeed(args[++i]);
      if (!seed)
        return Usage("--seed takes a whole number from 0 to 4294967295");
      options.seed = *seed;
    } else {
      return Usage("unknown option " + args[i]);
    }
  }
  return std::nullopt;
}

void PrepareState(SharedState &state, const Options &options) {
  state.Language = 0;
  state.Random.seed(options.seed);
}

} // namespace

int RunInterlaceCommand(const std::vector<std::string> &args) {
  Options options;
  if (auto usage = ReadOptions("interlace", args, 0, true, options))
    return *usage;
  SharedState state;
  PrepareState(state, options);
  state.settings[Setting::InterlaceSens] = options.sensitivity;
  auto preview = OpenScript(state, options.script);
  if (!preview)
    return 1;
  StderrDialogs dialogs;
  const SearchResult result = RunInterlaceSearch(state, *preview, dialogs);
  if (result.outcome == SearchOutcome::Refused)
    return 1;
  if (result.outcome == SearchOutcome::Failed)
    return ReportFailedFrame(options.script, *preview);
  std::printf("frame=%d score=%d\n", result.frame, result.value);
  return 0;
}

int RunLightCommand(const std::vector<std::string> &args) {
  Options options;
  if (auto usage = ReadOptions("light", args, 0, true, options))
    return *usage;
  SharedState state;
  PrepareState(state, options);
  state.settings[Setting::LightSens] = options.sensitivity;
  auto preview = OpenScript(state, options.script);
  if (!preview)
    return 1;
  StderrDialogs dialogs;
  const SearchResult result = RunLightSearch(state, *preview, dialogs);
  if (result.outcome == SearchOutcome::Refused)
    return 1;
  if (result.outcome == SearchOutcome::Failed)
    return ReportFailedFrame(options.script, *preview);
  std::printf("frame=%d brightness=%d\n", result.frame, result.value);
  return 0;
}

int RunRoundCommand(const std::vector<std::string> &args) {
  Options options;
  if (auto usage = ReadOptions("round", args, 3, false, options))
    return *usage;
  int frame = 0, x = 0, y = 0;
  if (!StrToIntStrict(options.positional[0], frame) || frame < 1)
    return Usage("the frame number must be a whole number from 1");
  if (!StrToIntStrict(options.positional[1], x) || !StrToIntStrict(options.positional[2], y))
    return Usage("the point must be two whole numbers, X and Y");
  SharedState state;
  PrepareState(state, options);
  state.settings[Setting::RoundSens] = options.sensitivity;
  auto preview = OpenScript(state, options.script);
  if (!preview)
    return 1;
  preview->ShowFrame(frame);
  if (!preview->isOpen())
    return ReportFailedFrame(options.script, *preview);

  // The click as the preview records it: the point, marked red on the picture.
  state.ClickX = x;
  state.ClickY = y;
  RgbImage marked = preview->ShownPicture();
  if (x >= 0 && y >= 0 && x < marked.width && y < marked.height) {
    std::uint8_t *p = marked.at(x, y);
    p[0] = 255;
    p[1] = 0;
    p[2] = 0;
    preview->ShowPicture(marked);
  }

  StderrDialogs dialogs;
  const bool clicked = HasClickPoint(state, preview->ShownPicture());
  const auto circle = RunRoundTest(state, *preview, dialogs);
  if (!clicked)
    return 1; // message 7 said why
  if (circle)
    std::printf("circle=%d,%d,%d\n", circle->centerX, circle->centerY, circle->radius);
  else
    std::printf("none\n");
  return 0;
}

} // namespace reelwork
