#include "cli/titles_command.h"

#include <cstdio>

#include "app/language.h"
#include "calculator/calculator_searches.h"
#include "cli/command_support.h"

namespace reelwork {

namespace {

int Usage(const std::string &problem) {
  std::fprintf(stderr, "reelwork-cli: %s\nusage: reelwork-cli titles SCRIPT [--seed K]\n", problem.c_str());
  return 2;
}

} // namespace

int RunTitlesCommand(const std::vector<std::string> &args) {
  if (args.empty())
    return Usage("titles takes a script");
  std::uint32_t seed = 1;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] != "--seed")
      return Usage("unknown option " + args[i]);
    const auto parsed = i + 1 < args.size() ? cli::ParseSeed(args[++i]) : std::nullopt;
    if (!parsed)
      return Usage("--seed takes a whole number from 0 to 4294967295");
    seed = *parsed;
  }

  SharedState state;
  state.Language = English;
  state.Random.seed(seed);
  auto preview = cli::OpenScript(state, args[0]);
  if (!preview)
    return 1;
  const int frames = state.FrameCount;
  const auto start = FindTitleStart(*preview, frames);
  if (!preview->isOpen())
    return cli::ReportFailedFrame(args[0], *preview);
  // A start on or past the last frame (no frame black enough) leaves no
  // title frames to count.
  if (!start || *start >= frames) {
    std::printf("titles=0\n");
    cli::StderrDialogs().showMessage(MessageText(MsgNoTitles, English));
    return 0;
  }
  std::printf("titles=%d start=%d\n", frames - *start, *start);
  return 0;
}

} // namespace reelwork
