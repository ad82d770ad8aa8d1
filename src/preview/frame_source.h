#pragma once
// The frame source: a script opened as video through the frame engine, with
// the figures the main window shows (size, frame count, rate, ticks).

#include <QString>
#include <QVector>
#include <functional>
#include <memory>

#include "app/shared_state.h"
#include "common/rgb_image.h"
#include "engine/video.h"

namespace reelwork {

// "25,0" for 25 fps, "29,97" for 30000/1001, "23,97" for 24000/1001.
QString FpsTextFor(float frameRate);

// Trackbar positions (1..frameCount) that mark every ten minutes of film.
QVector<int> TenMinuteTicks(int frameCount, float frameRate);

// The window caption while a video is open.
QString VideoCaption(const SharedState &state);

// The caption before any video is open.
inline constexpr char kBaseCaption[] = "Reelwork (build 201105)";

// Told how far the index build of an opening is (0..1); returns false to
// stop the opening.
using OpenProgress = std::function<bool(double fraction)>;

class FrameSource {
public:
  // Closes any open video, clears VideoOpen, then opens `path`. On success
  // sets the video figures in `state` and VideoOpen; on failure returns false
  // with the reason in `error` and leaves no video open. `progress` hears of
  // an index build; when it answers false the opening stops, no index is
  // kept, and cancelled() is true until the next opening.
  bool OpenVideo(const QString &path, SharedState &state, QString *error, const OpenProgress &progress = {});
  bool cancelled() const { return cancelled_; }

  // Frame n (numbered from 0; past the end gives the last frame). False with
  // the reason when no video is open or the frame cannot be decoded.
  bool GetFrame(int n, RgbImage &out, QString *error = nullptr);

  void CloseVideo() { video_.reset(); }
  bool isOpen() const { return video_ != nullptr; }

  // What the open video's preview cannot show exactly (empty when none is open).
  const engine::PreviewNotes &notes() const;

private:
  std::unique_ptr<engine::ScriptVideo> video_;
  bool cancelled_ = false;
};

} // namespace reelwork
