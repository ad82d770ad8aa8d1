#include "cli/crop_command.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "common/number.h"
#include "crop/crop_detection.h"
#include "engine/video.h"

namespace reelwork {

namespace {

// The crop dialog's spin ranges: 0..100 for X1 and X2, 0..200 for Y1 and Y2.
constexpr int kMaxHorizontal = 100;
constexpr int kMaxVertical = 200;

int Usage(const std::string &problem) {
  std::fprintf(stderr, "reelwork-cli: %s\nusage: reelwork-cli crop SCRIPT N [--balance B] [--no-align]\n",
               problem.c_str());
  return 2;
}

} // namespace

int RunCropCommand(const std::vector<std::string> &args) {
  std::string script;
  std::string frameText;
  std::string balance = "0";
  bool align = true;
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--balance") {
      if (i + 1 >= args.size())
        return Usage("--balance takes a value (-4, -2, 0, +2 or +4)");
      balance = args[++i];
    } else if (args[i] == "--no-align") {
      align = false;
    } else if (args[i].size() > 1 && args[i].rfind("--", 0) == 0) {
      return Usage("unknown option " + args[i]);
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 2)
    return Usage("crop takes a script and a frame number");
  script = positional[0];
  int n = 0;
  if (!StrToIntStrict(positional[1], n) || n < 0)
    return Usage("the frame number must be a whole number from 0");

  RgbImage picture;
  try {
    auto video = engine::ScriptVideo::open(script);
    const auto &p = video->properties();
    if (n >= p.frameCount) {
      std::fprintf(stderr, "reelwork-cli: frame %d is past the end (%d frames)\n", n, p.frameCount);
      return 1;
    }
    video->frame(n, picture);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "reelwork-cli: %s\n", e.what());
    return 1;
  }

  CropAmounts crop = DetectCrop(picture, picture.width, picture.height, CropBalanceFromSetting(balance));
  if (align && NeedsAlignToFour(crop.X1, crop.X2))
    AlignCropToFour(crop.X1, crop.X2);
  std::printf("X1=%d X2=%d Y1=%d Y2=%d\n", crop.X1, crop.X2, crop.Y1, crop.Y2);
  const int left = std::clamp(crop.X1, 0, kMaxHorizontal);
  const int right = std::clamp(crop.X2, 0, kMaxHorizontal);
  const int top = std::clamp(crop.Y1, 0, kMaxVertical);
  const int bottom = std::clamp(crop.Y2, 0, kMaxVertical);
  // The line as Make Crop writes it: right and bottom after a minus sign.
  std::printf("Crop(%d,%d,-%d,-%d)\n", left, top, right, bottom);
  std::fflush(stdout);
  return 0;
}

} // namespace reelwork
