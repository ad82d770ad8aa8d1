#include "tools/frame_searches.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "app/language.h"
#include "common/number.h"
#include "tools/search_support.h"

namespace reelwork {

int SensitivityFromText(const QString &text) {
  float value = 0;
  if (!ParseNumber(text.toStdString(), value))
    return 5;
  // Checked before rounding so that huge values and infinities stay out of
  // the integer conversion.
  if (!(value >= -0.5f && value <= 10.5f))
    return 5;
  const long long s = RoundHalfEven(value);
  return s >= 0 && s <= 10 ? static_cast<int>(s) : 5;
}

InterlaceSearchParams InterlaceParamsFor(int sensitivity) {
  return {10 * sensitivity + 25, 25 - sensitivity};
}

LightSearchParams LightParamsFor(int sensitivity) {
  LightSearchParams p;
  p.triesPerStep = 10 * sensitivity + 5;
  p.limits[0] = 150 - 5 * sensitivity;
  p.limits[1] = 110 - 3 * sensitivity;
  p.limits[2] = 80 - 3 * sensitivity;
  return p;
}

int CombScore(const RgbImage &picture, int width, int height, std::mt19937 &random) {
  width = std::min(width, picture.width);
  height = std::min(height, picture.height);
  if (width < 3 || height < 3)
    return 0;
  std::uniform_int_distribution<int> xs(0, width - 3);
  std::uniform_int_distribution<int> ys(0, height - 3);
  int total = 0;
  for (int i = 0; i < 100; ++i) {
    const int x = xs(random) + 1;
    const int y = ys(random) + 1;
    const std::uint8_t *p = picture.at(x, y);
    const std::uint8_t *below = picture.at(x, y + 1);
    for (int c = 0; c < 3; ++c)
      total += std::abs(p[c] - below[c]);
  }
  return total / 300;
}

QString VideoTooSmallText(int language) {
  return language == English
             ? QString::fromUtf8("The video is too small to search: it needs at least 2 frames of 3 x 3 pixels.")
             : QString::fromUtf8("Видео слишком мало для поиска: нужно не меньше 2 кадров размером 3 x 3 пикселя.");
}

namespace {

// The random ranges of the searches need two frames and a picture of 3 x 3.
bool RefuseTinyVideo(const SharedState &state, UserDialogs &dialogs) {
  if (state.FrameCount >= 2 && state.VideoWidth >= 3 && state.VideoHeight >= 3)
    return false;
  dialogs.showMessage(VideoTooSmallText(state.Language));
  return true;
}

} // namespace

SearchResult RunInterlaceSearch(SharedState &state, FramePreview &preview, UserDialogs &dialogs) {
  SearchResult result;
  if (RefuseTinyVideo(state, dialogs))
    return result;
  const auto params = InterlaceParamsFor(SensitivityFromText(state.settings[Setting::InterlaceSens]));
  const int n = params.framesPerPass;
  const int count = state.FrameCount;
  // Frames from the middle 80 % of the video.
  std::uniform_int_distribution<int> frames(0, static_cast<int>(8LL * count / 10) - 1);

  BusyCursor busy(preview);
  std::vector<int> sampled(static_cast<size_t>(n));
  std::vector<int> scores(static_cast<size_t>(n));
  int best = 0;
  int bestFrame = 0;
  const int shownBefore = state.CurrentFrame;
  for (int pass = 0; pass < 3 && best < params.threshold; ++pass) {
    for (int k = 0; k < n; ++k) {
      if (!preview.ReportProgress(WindowText::InterlaceSearch, (pass * n + k) / (3.0 * n))) {
        ShowSampledFrame(state, preview, shownBefore);
        result.outcome = SearchOutcome::Cancelled;
        result.frame = state.CurrentFrame;
        return result;
      }
      // Under 10 frames the range starts at 0, which is no frame: frames
      // are numbered from 1.
      const int f = std::max(1, frames(state.Random) + count / 10);
      if (!ShowSampledFrame(state, preview, f)) {
        result.outcome = SearchOutcome::Failed;
        return result;
      }
      sampled[k] = f;
      scores[k] = CombScore(preview.ShownPicture(), state.VideoWidth, state.VideoHeight, state.Random);
    }
    // Each pass chooses afresh; the first of equal scores wins. When no
    // score is above 0 the last frame sampled stays the choice.
    best = 0;
    bestFrame = sampled[n - 1];
    for (int k = 0; k < n; ++k) {
      if (scores[k] > best) {
        best = scores[k];
        bestFrame = sampled[k];
      }
    }
  }

  if (!ShowSampledFrame(state, preview, bestFrame)) {
    result.outcome = SearchOutcome::Failed;
    return result;
  }
  result.frame = bestFrame;
  result.value = best;
  result.outcome = best < params.threshold ? SearchOutcome::NotFound : SearchOutcome::Found;
  if (result.outcome == SearchOutcome::NotFound) {
    busy.release();
    dialogs.showMessage(MessageText(MsgNoInterlace, state.Language));
  }
  return result;
}

SearchResult RunLightSearch(SharedState &state, FramePreview &preview, UserDialogs & /*nothing to tell*/) {
  SearchResult result;
  // Any video with a frame can be searched for light, one frame or one pixel
  // as well: there is nothing to refuse.
  if (state.FrameCount < 1)
    return result;
  const auto params = LightParamsFor(SensitivityFromText(state.settings[Setting::LightSens]));
  std::uniform_int_distribution<int> frames(1, state.FrameCount);

  BusyCursor busy(preview);
  result.outcome = SearchOutcome::NotFound;
  for (int limit : params.limits) {
    for (int k = 0; k < params.triesPerStep; ++k) {
      const int f = frames(state.Random);
      if (!ShowSampledFrame(state, preview, f)) {
        result.outcome = SearchOutcome::Failed;
        return result;
      }
      result.frame = f;
      result.value = preview.AverageBrightness();
      if (result.value > limit) {
        result.outcome = SearchOutcome::Found;
        return result;
      }
    }
  }
  return result;
}

SearchResult FindInterlacedFrame(Workbench &bench) {
  if (!bench.script.CheckScriptOpen())
    return {};
  return RunInterlaceSearch(bench.state, bench.preview, bench.dialogs);
}

SearchResult FindLightFrame(Workbench &bench) {
  if (!bench.script.CheckScriptOpen())
    return {};
  return RunLightSearch(bench.state, bench.preview, bench.dialogs);
}

} // namespace reelwork
