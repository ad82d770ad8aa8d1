#include "calculator/calculator_searches.h"

#include <algorithm>

#include "calculator/bitrate_model.h"
#include "tools/workbench.h"

namespace reelwork {

int AudioRateIndexFromName(const QString &name) {
  const QString upper = name.toUpper();
  const qsizetype marker = upper.indexOf("KBPS");
  if (marker < 0)
    return -1;
  qsizetype first = marker;
  while (first > 0 && upper[first - 1].unicode() >= u'0' && upper[first - 1].unicode() <= u'9')
    --first;
  // Rip tools write three digits at most; a longer run is no bitrate.
  const qsizetype count = marker - first;
  if (count == 0 || count > 9)
    return -1;
  const int kbps = upper.mid(first, count).toInt();
  for (size_t i = 0; i < AudioRates.size(); ++i)
    if (AudioRates[i] == kbps)
      return static_cast<int>(i);
  return -1;
}

namespace {

// Thresholds of the mean channel value: end titles are black with light
// text, the film before them brighter.
constexpr int kDarkEnd = 32;    // each of the last frames is at most this
constexpr int kFilmLight = 48;  // a film frame is brighter than this
constexpr int kTitleDark = 16;  // the first title frame is darker than this

int MeanOfTwo(FramePreview &preview) {
  const int first = preview.AverageBrightness();
  const int second = preview.AverageBrightness();
  return (first + second) / 2;
}

} // namespace

std::optional<int> FindTitleStart(FramePreview &preview, int frames, bool *cancelled) {
  if (cancelled)
    *cancelled = false;
  if (frames < 1)
    return std::nullopt;
  // At most 6 + 201 + 101 frames are examined.
  int examined = 0;
  const auto show = [&](int f) {
    if (!preview.ReportProgress(WindowText::TitleSearch, examined++ / 308.0)) {
      if (cancelled)
        *cancelled = true;
      return false;
    }
    preview.ShowFrame(f);
    return true;
  };
  // The last six frames must all be dark (fewer when the video is shorter).
  for (int f = frames; f >= std::max(1, frames - 5); --f) {
    if (!show(f))
      return std::nullopt;
    if (preview.AverageBrightness() > kDarkEnd)
      return std::nullopt;
  }
  // Backwards in steps of a hundred frames to the last light film frame.
  const int lower = frames > 20000 ? frames - 20000 : 1;
  int dark = frames;
  for (int f = frames - frames % 100; f >= lower && f > 0; f -= 100) {
    if (!show(f))
      return std::nullopt;
    if (MeanOfTwo(preview) > kFilmLight)
      break;
    dark = f;
  }
  // Forwards over the last hundred frames before it to the first black one.
  int f = dark > 100 ? dark - 100 : 1;
  for (; f <= dark; ++f) {
    if (!show(f))
      return std::nullopt;
    if (MeanOfTwo(preview) < kTitleDark)
      break;
  }
  return f;
}

} // namespace reelwork
