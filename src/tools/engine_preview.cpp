#include "tools/engine_preview.h"

#include <utility>

#include "preview/preview_display.h"

namespace reelwork {

EnginePreview::EnginePreview(SharedState &state, const std::string &scriptPath)
    : state_(state), video_(engine::ScriptVideo::open(scriptPath)) {
  const auto &p = video_->properties();
  state_.VideoOpen = true;
  state_.VideoWidth = p.width;
  state_.VideoHeight = p.height;
  state_.FrameCount = p.frameCount;
  state_.FrameRate = p.rateDen > 0 ? static_cast<float>(p.rateNum) / static_cast<float>(p.rateDen) : 0.0f;
  state_.CurrentFrame = 1;
}

void EnginePreview::ShowFrame(int n) {
  if (!video_)
    return;
  RgbImage picture;
  try {
    video_->frame(n, picture);
  } catch (const std::exception &e) {
    error_ = e.what();
    video_.reset();
    return;
  }
  state_.PreviewBitmap = picture;
  shown_ = std::move(picture);
  state_.CurrentFrame = n;
  position_ = n;
}

void EnginePreview::SetTrackBarPosition(int n) {
  if (n == position_)
    return;
  position_ = n;
  if (state_.VideoOpen)
    ShowFrame(n);
}

int EnginePreview::AverageBrightness() {
  return reelwork::AverageBrightness(shown_, state_.VideoWidth, state_.VideoHeight, state_.Random);
}

} // namespace reelwork
