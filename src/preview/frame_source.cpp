#include "preview/frame_source.h"

#include <cmath>

namespace reelwork {

QString FpsTextFor(float frameRate) {
  const double rate = frameRate;
  const double whole = std::trunc(rate);
  const double hundredths = std::trunc((rate - whole) * 100.0);
  return QString::number(static_cast<long long>(whole)) + ',' + QString::number(static_cast<long long>(hundredths));
}

QVector<int> TenMinuteTicks(int frameCount, float frameRate) {
  QVector<int> ticks;
  const double period = 600.0 * static_cast<double>(frameRate);
  if (!(period > 0))
    return ticks;
  float counter = 0; // a single-precision counter, as the tick rule counts
  for (int i = 1; i <= frameCount; ++i) {
    counter += 1.0f;
    if (counter > period) {
      ticks.append(i);
      counter = static_cast<float>(counter - period);
    }
  }
  return ticks;
}

QString VideoCaption(const SharedState &state) {
  return QString("%1 - [%2] - %3 / %4 fps  / %5 x %6")
      .arg(kBaseCaption, state.ScriptName, state.TvSystem, state.FpsText)
      .arg(state.VideoWidth)
      .arg(state.VideoHeight);
}

namespace {

// Thrown from the engine's progress report to stop an index build; the
// engine lets it through as a failure of the opening.
struct StopOpening : std::exception {
  const char *what() const noexcept override { return "cancelled"; }
};

} // namespace

bool FrameSource::OpenVideo(const QString &path, SharedState &state, QString *error, const OpenProgress &progress) {
  CloseVideo();
  state.VideoOpen = false;
  cancelled_ = false;
  engine::ProgressFn report;
  if (progress)
    report = [this, &progress](double fraction) {
      if (!progress(fraction)) {
        cancelled_ = true;
        throw StopOpening();
      }
    };
  try {
    video_ = engine::ScriptVideo::open(path.toStdString(), report);
  } catch (const std::exception &e) {
    video_.reset();
    if (error)
      *error = QString::fromStdString(e.what());
    return false;
  }
  const engine::VideoProperties &p = video_->properties();
  if (p.frameCount <= 0 || p.width <= 0 || p.height <= 0 || p.rateDen <= 0) {
    video_.reset();
    if (error)
      *error = "The script gives no video frames.";
    return false;
  }
  state.FrameCount = p.frameCount;
  state.FrameRate = static_cast<float>(static_cast<double>(static_cast<unsigned>(p.rateNum)) /
                                       static_cast<double>(static_cast<unsigned>(p.rateDen)));
  state.VideoWidth = p.width;
  state.VideoHeight = p.height;
  state.FpsText = FpsTextFor(state.FrameRate);
  state.VideoOpen = true;
  return true;
}

const engine::PreviewNotes &FrameSource::notes() const {
  static const engine::PreviewNotes none;
  return video_ ? video_->notes() : none;
}

bool FrameSource::GetFrame(int n, RgbImage &out, QString *error) {
  if (!video_) {
    if (error)
      *error = "No video is open.";
    return false;
  }
  try {
    video_->frame(n, out);
    return true;
  } catch (const std::exception &e) {
    if (error)
      *error = QString::fromStdString(e.what());
    return false;
  }
}

} // namespace reelwork
