#pragma once
// A preview without a window: frames come straight from the frame engine, so
// the tool flows run from the command line exactly as in the main window.

#include <memory>
#include <string>

#include "engine/video.h"
#include "tools/workbench.h"

namespace reelwork {

class EnginePreview : public FramePreview {
public:
  // Opens the script and fills the video's figures into `state` (VideoOpen,
  // size, frame count, rate, CurrentFrame 1). Throws engine::EngineError when
  // the script cannot be run. `state` must outlive the preview.
  EnginePreview(SharedState &state, const std::string &scriptPath);

  // Asks the engine for frame n as the main window does (n as it stands,
  // past the end gives the last). A frame that cannot be decoded closes the
  // video: the picture is kept, later requests do nothing, and error() says why.
  void ShowFrame(int n) override;
  void SetTrackBarPosition(int n) override;
  int TrackBarPosition() const override { return position_; }
  QVector<int> TrackBarTicks() const override { return {}; }
  const RgbImage &ShownPicture() const override { return shown_; }
  int AverageBrightness() override;
  void ShowPicture(const RgbImage &picture) override { shown_ = picture; }
  void SetBusy(bool) override {}

  bool isOpen() const { return video_ != nullptr; }
  const std::string &error() const { return error_; }

private:
  SharedState &state_;
  std::unique_ptr<engine::ScriptVideo> video_;
  RgbImage shown_;
  int position_ = 1;
  std::string error_;
};

} // namespace reelwork
