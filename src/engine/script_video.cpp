// ScriptVideo: a script opened as video, its frames converted to RGB24.

#include "engine/clip.h"
#include "engine/mpeg2_source.h"
#include "engine/rgb_output.h"
#include "engine/script/evaluator.h"
#include "engine/video.h"

namespace reelwork::engine {

namespace {

class ClipVideo : public ScriptVideo {
public:
  ClipVideo(ClipPtr clip, PreviewNotes notes, std::vector<ClipPtr> sources)
      : clip_(std::move(clip)), properties_(clip_->info()), notes_(std::move(notes)), sources_(std::move(sources)),
        indexChanges_(SourceIndexChanges()) {
    if (properties_.frameCount <= 0 || properties_.width <= 0 || properties_.height <= 0)
      throw EngineError("the script's video has no frames");
  }

  const VideoProperties &properties() const override { return properties_; }

  // A source opened from a project's data lines meets damage only when it
  // decodes the group; then the full index serves it and names the damaged
  // frames, which the notes take up from then on.
  const PreviewNotes &notes() const override {
    if (const std::uint64_t changes = SourceIndexChanges(); changes != indexChanges_) {
      indexChanges_ = changes;
      std::vector<FrameRange> damaged;
      for (const ClipPtr &source : sources_)
        for (const FrameRange &r : DamagedFramesOf(*source))
          damaged.push_back(r);
      notes_.damaged = std::move(damaged);
    }
    return notes_;
  }

  void frame(int n, RgbImage &out) override {
    const int last = properties_.frameCount - 1;
    const int clamped = n < 0 ? 0 : (n > last ? last : n);
    FramePtr f;
    try {
      f = clip_->frame(clamped);
    } catch (const EngineError &) {
      throw;
    } catch (const std::exception &e) { // out of memory and the like: one kind of failure for the caller
      throw EngineError("frame " + std::to_string(clamped) + ": " + e.what());
    }
    if (!f)
      throw EngineError("frame " + std::to_string(clamped) + " could not be made");
    FrameToRgb(*f, out);
  }

private:
  ClipPtr clip_;
  VideoProperties properties_;
  mutable PreviewNotes notes_;
  std::vector<ClipPtr> sources_;
  mutable std::uint64_t indexChanges_ = 0;
};

} // namespace

std::unique_ptr<ScriptVideo> ScriptVideo::open(const std::string &scriptPath, const ProgressFn &progress) {
  script::ScriptResult result;
  try {
    result = script::EvaluateScriptFile(scriptPath, progress);
  } catch (const EngineError &) {
    throw;
  } catch (const std::exception &e) {
    throw EngineError(e.what());
  }
  if (!result.clip)
    throw EngineError("the script gives no video");
  return std::make_unique<ClipVideo>(std::move(result.clip), std::move(result.notes), std::move(result.sources));
}

} // namespace reelwork::engine
