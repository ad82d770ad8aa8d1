#pragma once
// A whole workbench in memory: the script as a list of lines, a preview over
// synthetic frames, and scripted answers. Tool flows run end to end on it.

#include <functional>
#include <memory>

#include "support/fakes.h"
#include "tools/workbench.h"

namespace reelwork::test {

// A preview whose frames come from a function of the frame number.
class FakePreview : public FramePreview {
public:
  explicit FakePreview(SharedState &state) : state_(state) {}

  void ShowFrame(int n) override {
    shownFrames.append(n);
    if (failAt == n) {
      failed = true;
      return;
    }
    state_.PreviewBitmap = frames ? frames(n) : RgbImage{};
    shown_ = state_.PreviewBitmap;
    state_.CurrentFrame = n;
    position_ = n;
  }
  void SetTrackBarPosition(int n) override {
    if (state_.VideoOpen && n != position_) {
      position_ = n;
      ShowFrame(n);
    }
  }
  int TrackBarPosition() const override { return position_; }
  QVector<int> TrackBarTicks() const override { return ticks; }
  const RgbImage &ShownPicture() const override { return shown_; }
  int AverageBrightness() override {
    // The mean of the whole picture keeps tests independent of sampling.
    if (shown_.pixels.empty())
      return 0;
    long long sum = 0;
    for (auto v : shown_.pixels)
      sum += v;
    return static_cast<int>(sum / static_cast<long long>(shown_.pixels.size()));
  }
  void ShowPicture(const RgbImage &picture) override {
    shown_ = picture;
    ++picturesShown;
  }
  void SetBusy(bool busy) override { busyChanges.append(busy); }

  std::function<RgbImage(int)> frames;
  QVector<int> ticks;
  QList<int> shownFrames;
  QList<bool> busyChanges;
  int picturesShown = 0;
  int failAt = -1;
  bool failed = false;

private:
  SharedState &state_;
  RgbImage shown_;
  int position_ = 1;
};

// Everything a tool needs, wired together.
struct TestBench {
  SharedState state;
  LineListEditor editor;
  FakeDialogs dialogs;
  FakeView view{state};
  ScriptModel script{state, editor, dialogs, view};
  FilterList filters{state, script, editor};
  FakePreview preview{state};
  Workbench bench{state, editor, script, filters, dialogs, preview};

  // An open video of `frames` frames of width x height at `rate`.
  void openVideo(int frames, int width, int height, float rate = 25.0f) {
    state.VideoOpen = true;
    state.FrameCount = frames;
    state.VideoWidth = width;
    state.VideoHeight = height;
    state.FrameRate = rate;
    state.CurrentFrame = 1;
    state.Language = 0;
  }
};

} // namespace reelwork::test
