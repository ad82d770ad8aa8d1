// reelwork-cli: the frame engine from the command line. Its output lines are
// read by other programs; keep their form.
//
//   reelwork-cli info SCRIPT          width=W height=H frames=N fps=NUM/DEN
//                                     then, each only when not empty:
//                                     approximated=NAME,...
//                                     not-previewed=NAME,...
//                                     missing-import=PATH (one line each)
//                                     damaged=A-B,C-D (frames from 0)
//   reelwork-cli frame SCRIPT N OUT   frame N as RGB24 into OUT (.ppm or .png)
//   reelwork-cli sample DIR [--ntsc | --film] [--seconds S]
//                                     (--film: NTSC film with pulldown flags)
//   reelwork-cli crop | resize | interlace | light | round | titles | bitrate ...
//                                     the tools' measurements (see each command)

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <cstddef>

#include "cli/calc_command.h"
#include "cli/crop_command.h"
#include "cli/d2v_command.h"
#include "cli/image_files.h"
#include "cli/resize_command.h"
#include "cli/search_commands.h"
#include "cli/titles_command.h"
#include "common/number.h"
#include "engine/sample_media.h"
#include "engine/video.h"

namespace {

using namespace reelwork;

int Usage(const char *problem) {
  if (problem)
    std::fprintf(stderr, "reelwork-cli: %s\n", problem);
  std::fprintf(stderr,
               "usage: reelwork-cli info SCRIPT\n"
               "       reelwork-cli frame SCRIPT N OUT.ppm|OUT.png\n"
               "       reelwork-cli sample DIR [--ntsc | --film] [--seconds S]\n"
               "       reelwork-cli crop SCRIPT N [--balance B] [--no-align]\n"
               "       reelwork-cli resize auto|exact|manual ...\n"
               "       reelwork-cli interlace SCRIPT [--sens S] [--seed K]\n"
               "       reelwork-cli light SCRIPT [--sens S] [--seed K]\n"
               "       reelwork-cli round SCRIPT N X Y [--sens S]\n"
               "       reelwork-cli titles SCRIPT [--seed K]\n"
               "       reelwork-cli bitrate --size TEXT ...\n");
  return 2;
}

bool EndsWithNoCase(const std::string &s, const std::string &suffix) {
  if (s.size() < suffix.size())
    return false;
  for (size_t i = 0; i < suffix.size(); ++i) {
    char c = s[s.size() - suffix.size() + i];
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i])
      return false;
  }
  return true;
}

int Info(const std::string &script) {
  auto video = engine::ScriptVideo::open(script);
  const auto &p = video->properties();
  std::printf("width=%d height=%d frames=%d fps=%d/%d\n", p.width, p.height, p.frameCount, p.rateNum, p.rateDen);
  const engine::PreviewNotes &notes = video->notes();
  const auto list = [](const char *key, const std::vector<std::string> &names) {
    if (names.empty())
      return;
    std::string line = key;
    for (size_t i = 0; i < names.size(); ++i)
      line += (i ? "," : "=") + names[i];
    std::printf("%s\n", line.c_str());
  };
  list("approximated", notes.approximated);
  list("not-previewed", notes.notPreviewed);
  for (const std::string &path : notes.missingImports)
    std::printf("missing-import=%s\n", path.c_str());
  if (!notes.damaged.empty()) {
    std::string line = "damaged";
    for (size_t i = 0; i < notes.damaged.size(); ++i) {
      line += i ? ',' : '=';
      line += std::to_string(notes.damaged[i].first);
      line += '-';
      line += std::to_string(notes.damaged[i].last);
    }
    std::printf("%s\n", line.c_str());
  }
  return 0;
}

int FrameCommand(const std::string &script, int n, const std::string &out) {
  auto video = engine::ScriptVideo::open(script);
  RgbImage image;
  video->frame(n, image);
  std::string error;
  const bool ok = EndsWithNoCase(out, ".png") ? cli::WritePng(out, image, &error) : cli::WritePpm(out, image, &error);
  if (!ok) {
    std::fprintf(stderr, "reelwork-cli: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

int Sample(const std::string &dir, bool ntsc, bool film, double seconds) {
  engine::SampleOptions options;
  options.ntsc = ntsc;
  options.softPulldown = film;
  options.seconds = seconds;
  const auto rip = engine::WriteSampleRip(dir, options);
  std::printf("%s\n", rip.d2v.string().c_str());
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty())
    return Usage(nullptr);
  const std::string &command = args[0];
  using ToolCommand = int (*)(const std::vector<std::string> &);
  const std::pair<const char *, ToolCommand> tools[] = {
      {"crop", RunCropCommand},           {"resize", RunResizeCommand}, {"interlace", RunInterlaceCommand},
      {"light", RunLightCommand},         {"round", RunRoundCommand},   {"bitrate", RunBitrateCommand},
      {"d2v", RunD2vCommand},
      {"titles", RunTitlesCommand},
  };
  try {
    for (const auto &[name, run] : tools)
      if (command == name)
        return run(std::vector<std::string>(args.begin() + 1, args.end()));
    if (command == "info") {
      if (args.size() != 2)
        return Usage("info takes one script");
      return Info(args[1]);
    }
    if (command == "frame") {
      if (args.size() != 4)
        return Usage("frame takes a script, a frame number and an output file");
      int n = 0;
      if (!StrToIntStrict(args[2], n) || n < 0)
        return Usage("the frame number must be a whole number from 0");
      if (!EndsWithNoCase(args[3], ".ppm") && !EndsWithNoCase(args[3], ".png"))
        return Usage("the output file must end in .ppm or .png");
      return FrameCommand(args[1], n, args[3]);
    }
    if (command == "sample") {
      if (args.size() < 2)
        return Usage("sample takes a folder");
      bool ntsc = false, film = false;
      double seconds = 30;
      for (size_t i = 2; i < args.size(); ++i) {
        if (args[i] == "--ntsc") {
          ntsc = true;
        } else if (args[i] == "--film") {
          film = true;
        } else if (args[i] == "--seconds" && i + 1 < args.size()) {
          float value = 0;
          if (!ParseNumber(args[++i], value) || !(value > 0) || value > 4 * 3600)
            return Usage("--seconds takes a positive number of seconds");
          seconds = value;
        } else {
          return Usage(("unknown option " + args[i]).c_str());
        }
      }
      return Sample(args[1], ntsc, film, seconds);
    }
    return Usage(("unknown command " + command).c_str());
  } catch (const std::exception &e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
