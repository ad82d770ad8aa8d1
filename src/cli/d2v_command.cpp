#include "cli/d2v_command.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <system_error>

#include "engine/d2v_writer.h"
#include "engine/dvd_folder.h"

namespace fs = std::filesystem;

namespace reelwork {

namespace {

int Usage(const std::string &problem) {
  std::fprintf(stderr, "reelwork-cli: %s\nusage: reelwork-cli d2v OUT.d2v VOB... | VIDEO_TS\n", problem.c_str());
  return 2;
}

} // namespace

int RunD2vCommand(const std::vector<std::string> &args) {
  if (args.size() < 2)
    return Usage("d2v takes the project to write and the VOB files or a VIDEO_TS folder");
  for (const auto &arg : args)
    if (arg.size() > 1 && arg.rfind("--", 0) == 0)
      return Usage("unknown option " + arg);
  const fs::path out = args[0];
  std::vector<fs::path> vobs;
  std::error_code ec;
  if (args.size() == 2 && fs::is_directory(args[1], ec)) {
    const auto title = engine::LargestTitleSet(args[1]);
    if (!title) {
      std::fprintf(stderr, "reelwork-cli: %s holds no title VOBs (VTS_nn_1.VOB onwards)\n", args[1].c_str());
      return 1;
    }
    std::fprintf(stderr, "title set %02d:", title->number);
    for (const auto &vob : title->vobs)
      std::fprintf(stderr, " %s", vob.filename().string().c_str());
    std::fprintf(stderr, "\n");
    vobs = title->vobs;
  } else {
    for (size_t i = 1; i < args.size(); ++i) {
      if (!fs::is_regular_file(args[i], ec)) {
        std::fprintf(stderr, "reelwork-cli: cannot find the video file %s\n", args[i].c_str());
        return 1;
      }
      vobs.emplace_back(args[i]);
    }
  }

  int shown = -1;
  const auto progress = [&shown](double fraction) {
    const int percent = static_cast<int>(fraction * 100);
    if (percent != shown) {
      shown = percent;
      std::fprintf(stderr, "\rindexing %3d%%", percent);
      std::fflush(stderr);
    }
  };
  try {
    const auto summary = engine::WriteD2vProject(out, vobs, {}, progress);
    std::fprintf(stderr, "\n");
    if (summary.droppedLeading > 0)
      std::fprintf(stderr, "%d pictures before the first I-picture cannot be decoded and are left out\n",
                   summary.droppedLeading);
    std::printf("frames=%d gops=%d film=%s\n", summary.pictures, summary.gops,
                engine::FormatHundredths(summary.filmHundredths).c_str());
    std::fflush(stdout);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "\nreelwork-cli: %s\n", e.what());
    return 1;
  }
  return 0;
}

} // namespace reelwork
