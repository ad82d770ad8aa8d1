#include "cli/calc_command.h"

#include <cstdio>
#include <map>
#include <optional>

#include "calculator/bitrate_model.h"
#include "common/number.h"

namespace reelwork {

namespace {

int Usage(const std::string &problem) {
  std::fprintf(stderr, "reelwork-cli bitrate: %s\n", problem.c_str());
  std::fprintf(stderr, "usage: reelwork-cli bitrate --size TEXT [--preset P] (--time T | --frames N) [--rate R]\n"
                       "         [--audio A1[,A2[,A3]]] [--titles TT [--title-rate BT]] [--width X --height Y]\n");
  return 2;
}

int Refused(const char *reason) {
  std::printf("refused\n");
  std::fprintf(stderr, "reelwork-cli bitrate: %s\n", reason);
  return 1;
}

// A whole number within [low, high].
bool ReadInt(const std::string &text, int low, int high, int &value) {
  return StrToIntStrict(text, value) && value >= low && value <= high;
}

} // namespace

int RunBitrateCommand(const std::vector<std::string> &args) {
  static const char *const known[] = {"--size",   "--preset", "--time",       "--frames", "--rate",
                                      "--audio",  "--titles", "--title-rate", "--width",  "--height"};
  std::map<std::string, std::string> options;
  for (size_t i = 0; i < args.size(); i += 2) {
    bool isKnown = false;
    for (const char *name : known)
      isKnown = isKnown || args[i] == name;
    if (!isKnown)
      return Usage("unknown argument '" + args[i] + "'");
    if (i + 1 >= args.size())
      return Usage(args[i] + " needs a value");
    if (!options.emplace(args[i], args[i + 1]).second)
      return Usage(args[i] + " given twice");
  }
  auto given = [&](const char *name) { return options.count(name) > 0; };

  if (!given("--size"))
    return Usage("--size is required");
  if (given("--time") == given("--frames"))
    return Usage("give either --time or --frames");
  if (given("--title-rate") && !given("--titles"))
    return Usage("--title-rate needs --titles");
  if (given("--width") != given("--height"))
    return Usage("give --width and --height together");

  float rate = 25.0f;
  if (given("--rate") && !ParseNumber(options["--rate"], rate))
    return Usage("--rate is not a number");

  int time = 0;
  if (given("--time")) {
    if (!ReadInt(options["--time"], 0, kMaxSeconds, time))
      return Usage("--time must be whole seconds from 0 to 24000");
  } else {
    int frames = 0;
    if (!ReadInt(options["--frames"], 0, 2147483647, frames))
      return Usage("--frames must be a whole number of frames");
    const auto filmTime = FramesToTime(frames, rate);
    if (!filmTime)
      return Refused("no running time at this rate");
    if (filmTime->total > kMaxSeconds)
      return Usage("the frames run longer than 24000 seconds");
    time = static_cast<int>(filmTime->total);
  }

  std::array<int, 3> audio{448, 0, 0};
  if (given("--audio")) {
    audio = {0, 0, 0};
    const std::string &list = options["--audio"];
    size_t start = 0;
    for (size_t k = 0;; ++k) {
      const size_t comma = list.find(',', start);
      const std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
      if (k >= audio.size() || !ReadInt(item, 0, 100000, audio[k]))
        return Usage("--audio takes up to three bitrates in kbps, separated by commas");
      if (comma == std::string::npos)
        break;
      start = comma + 1;
    }
  }

  BitrateInputs in;
  in.time = time;
  in.audio = audio;
  if (given("--titles")) {
    in.useTitles = true;
    in.titleRate = 500;
    if (!ReadInt(options["--titles"], 0, kMaxSeconds, in.titleTime))
      return Usage("--titles must be whole seconds from 0 to 24000");
    if (given("--title-rate") && !ReadInt(options["--title-rate"], 0, 100000, in.titleRate))
      return Usage("--title-rate must be a bitrate in kbps");
  }

  int width = 640, height = 480;
  if (given("--width") &&
      (!ReadInt(options["--width"], 1, 100000, width) || !ReadInt(options["--height"], 1, 100000, height)))
    return Usage("--width and --height must be positive whole numbers");

  const bool sizeRead = ParseNumber(options["--size"], in.size);
  if (given("--preset")) {
    if (!ReadInt(options["--preset"], 0, kSizeBarMax, in.position))
      return Usage("--preset must be a size slider position from 0 to 4480");
  }
  if (!sizeRead)
    return Refused("the size is not a number");
  if (!given("--preset"))
    in.position = SnapToPreset(in.size);

  const auto bitrate = ComputeBitrate(in);
  if (!bitrate)
    return Refused(in.time == 0                         ? "no running time"
                   : in.useTitles && in.titleTime >= in.time ? "the end titles are as long as the video or longer"
                                                             : "no bitrate can be computed for this size");
  const auto quality = ComputeQuality(*bitrate, rate, width, height);
  if (!quality)
    return Refused("no quality at this rate");
  std::printf("bitrate=%s quality=%s\n", FormatBitrate(*bitrate).c_str(), FormatQuality(*quality).c_str());
  return 0;
}

} // namespace reelwork
