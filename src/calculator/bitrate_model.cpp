#include "calculator/bitrate_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace reelwork {

namespace {

constexpr double kBytesPerMegabyte = 1024.0 * 1024.0;

// The values the calculator keeps are single precision; intermediate steps of
// one expression are not.
float Single(double value) { return static_cast<float>(value); }

// Nearest whole number, halves to the even neighbour, without leaving double.
double RoundWhole(double value) { return std::nearbyint(value) + 0.0; }

} // namespace

float AudioMegabytes(int kbps, int seconds) {
  return Single(static_cast<double>(kbps) * seconds / 8 / 1024 / 1024 * 1000);
}

int AllowanceFor(int position) {
  switch (position) {
  case 700:
    return 5;
  case 1400:
    return 10;
  case 2100:
    return 15;
  case 2800:
    return 20;
  case 3500:
    return 25;
  case 4200:
    return 30;
  default:
    return 5;
  }
}

int SnapToPreset(double position) {
  int best = SizePresets.front().megabytes;
  double bestDistance = std::fabs(best - position);
  for (const SizePreset &preset : SizePresets) {
    const double distance = std::fabs(preset.megabytes - position);
    if (distance < bestDistance) { // presets ascend: a tie keeps the smaller
      best = preset.megabytes;
      bestDistance = distance;
    }
  }
  return best;
}

int PresetIndex(int megabytes) {
  for (size_t i = 0; i < SizePresets.size(); ++i)
    if (SizePresets[i].megabytes == megabytes)
      return static_cast<int>(i);
  return -1;
}

std::optional<float> ComputeBitrate(const BitrateInputs &in) {
  if (in.time <= 0)
    return std::nullopt;
  float audio = 0;
  for (int kbps : in.audio)
    audio = Single(static_cast<double>(audio) + AudioMegabytes(kbps, in.time));
  const float video = Single(static_cast<double>(in.size) - audio - AllowanceFor(in.position));
  float bitrate;
  if (!in.useTitles) {
    bitrate = Single(static_cast<double>(video) * kBytesPerMegabyte * 8 / (static_cast<double>(in.time) * 1000));
  } else {
    if (in.titleTime >= in.time)
      return std::nullopt;
    // The audio still runs the full time; the titles take their own share.
    const long long mainTime = static_cast<long long>(in.time) - in.titleTime;
    const float titles = Single(static_cast<double>(in.titleRate) * in.titleTime * 1000 / 8388608);
    bitrate = Single((static_cast<double>(video) - titles) * kBytesPerMegabyte * 8 /
                     (static_cast<double>(mainTime) * 1000));
  }
  if (!std::isfinite(bitrate))
    return std::nullopt;
  return bitrate;
}

std::optional<PresetResult> PresetBitrate(int position, int time, const std::array<int, 3> &audio) {
  BitrateInputs in;
  in.size = static_cast<float>(position);
  in.position = position;
  in.time = time;
  in.audio = audio;
  const auto bitrate = ComputeBitrate(in);
  if (!bitrate)
    return std::nullopt;
  return PresetResult{*bitrate, static_cast<long long>(RoundWhole(*bitrate))};
}

std::optional<float> ComputeQuality(float bitrate, float rate, int width, int height) {
  if (!(rate > 0) || width <= 0 || height <= 0)
    return std::nullopt;
  const float quality = Single(static_cast<double>(bitrate) * 1000 / rate / width / height);
  if (!std::isfinite(quality))
    return std::nullopt;
  return quality;
}

std::optional<FilmTime> FramesToTime(long long frames, float rate) {
  if (!(rate > 0) || !std::isfinite(rate))
    return std::nullopt;
  const float minutes = Single(static_cast<double>(frames) / rate / 60);
  if (!(std::fabs(minutes) < 1e9f))
    return std::nullopt;
  FilmTime t;
  t.minutes = static_cast<long long>(std::trunc(minutes));
  const float seconds = Single((static_cast<double>(minutes) - static_cast<double>(t.minutes)) * 60);
  t.seconds = static_cast<long long>(RoundWhole(seconds));
  t.total = t.minutes * 60 + t.seconds;
  return t;
}

double TimeToFrames(long long seconds, float rate) {
  return RoundWhole(static_cast<double>(seconds) * static_cast<double>(rate));
}

int NearestListHeight(int height) {
  int best = 0;
  long long bestDistance = 1000;
  for (size_t i = 0; i < HeightTable.size(); ++i) {
    const long long distance = std::llabs(static_cast<long long>(HeightTable[i]) - height);
    if (distance < bestDistance) {
      best = static_cast<int>(i);
      bestDistance = distance;
    }
  }
  return best;
}

StartPreset ChooseStartPreset(int time, const std::array<int, 3> &audio) {
  StartPreset start;
  for (int position : {1400, 2100, 2800, 3500, 4200}) {
    start.position = position;
    const auto result = PresetBitrate(position, time, audio);
    if (!result) {
      // No running time: nothing to spread, so the first preset holds it.
      start.bitrate.reset();
      break;
    }
    start.bitrate = result->exact;
    if (result->rounded >= 1000)
      break;
  }
  return start;
}

FrameSize ChooseStartFrameSize(int videoWidth, int videoHeight, int aspectCode, std::optional<float> bitrate,
                               float rate, int currentHeight) {
  FrameSize size;
  size.height = currentHeight;
  bool widthFound = false;
  bool heightFound = false;
  for (int w : WidthTable)
    if (w == videoWidth) {
      size.width = w;
      widthFound = true;
    }
  for (int h : HeightTable)
    if (h == videoHeight) {
      size.height = h;
      heightFound = true;
    }
  if (!widthFound) {
    size.width = 640;
    size.height = 480;
  }
  if (!heightFound) {
    if (aspectCode == 2)
      size.height = HeightTable[NearestListHeight(size.width * 3 / 4)];
    else if (aspectCode == 3)
      size.height = HeightTable[NearestListHeight(size.width * 100 / 185)];
  }
  if (widthFound || !bitrate)
    return size;

  // Narrower frames until each pixel gets enough bits (here codes 0 and 2
  // both mean 4:3).
  auto lowQuality = [&] {
    const auto quality = ComputeQuality(*bitrate, rate, size.width, size.height);
    return quality && IsLowQuality(*quality);
  };
  auto narrowTo = [&](int width) {
    size.width = width;
    if (aspectCode == 0 || aspectCode == 2)
      size.height = HeightTable[NearestListHeight(width * 3 / 4)];
    else if (aspectCode == 3)
      size.height = HeightTable[NearestListHeight(width * 100 / 185)];
  };
  if (lowQuality()) {
    narrowTo(608);
    if (lowQuality())
      narrowTo(576);
  }
  return size;
}

std::string WholeNumberText(double value) {
  if (!std::isfinite(value))
    return "0";
  char text[400];
  std::snprintf(text, sizeof text, "%.0f", RoundWhole(value));
  return text;
}

std::string FormatBitrate(float bitrate) { return WholeNumberText(bitrate); }

std::string FormatQuality(float quality) {
  // A float times 100 is exact in double, so halves are seen as halves.
  const double hundredths = std::fabs(RoundWhole(static_cast<double>(quality) * 100));
  if (!std::isfinite(hundredths))
    return "0,00";
  const double whole = std::trunc(hundredths / 100);
  const int rest = static_cast<int>(std::clamp(hundredths - whole * 100, 0.0, 99.0));
  const bool negative = quality < 0 && hundredths != 0;
  char text[400];
  std::snprintf(text, sizeof text, "%s%.0f,%02d", negative ? "-" : "", whole, rest);
  return text;
}

int RateIndexFor(float rate) {
  for (size_t i = 0; i < RateTable.size(); ++i)
    if (std::fabs(static_cast<double>(RateTable[i]) - rate) < 0.01)
      return static_cast<int>(i);
  return -1;
}

std::string RateText(float rate) {
  if (!std::isfinite(rate))
    return "0.000";
  const double value = std::fabs(static_cast<double>(rate));
  const double whole = std::trunc(value);
  const int thousandths = static_cast<int>(std::trunc((value - whole) * 1000));
  char decimals[8];
  std::snprintf(decimals, sizeof decimals, ".%03d", thousandths);
  std::string text = rate < 0 ? "-" : "";
  text.append(WholeNumberText(whole));
  text.append(decimals);
  return text;
}

} // namespace reelwork
