#pragma once
// The frame engine's public face: open a script as video and pull RGB frames.
// Knows nothing of Qt; every failure is an EngineError with a readable reason.

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/rgb_image.h"

namespace reelwork::engine {

// A reason the user can read, e.g. "mpeg2source: cannot open D:\RIP\x.d2v".
class EngineError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

enum class FieldParity { Bottom, Top };

struct VideoProperties {
  int width = 0;
  int height = 0;
  int frameCount = 0;
  int rateNum = 25; // frames per second = rateNum / rateDen, in lowest terms
  int rateDen = 1;
  FieldParity parity = FieldParity::Bottom;
  bool fieldBased = false;
};

// Called while a source index is built: fraction done in 0..1.
using ProgressFn = std::function<void(double fraction)>;

// Frames first..last (numbered from 0, both included).
struct FrameRange {
  int first = 0;
  int last = 0;
  bool operator==(const FrameRange &) const = default;
};

// What the preview cannot show exactly, for the user to see beside the picture.
// Names are as the script spells them, each once, in order of first use.
struct PreviewNotes {
  std::vector<std::string> approximated;   // known plugin functions: exact geometry, pixels from the nearest filter
  std::vector<std::string> notPreviewed;   // unknown functions, shown as their input
  std::vector<std::string> missingImports; // Import files that are not there, as the script names them
  std::vector<FrameRange> damaged;         // source frames near damage in the source files
  bool empty() const {
    return approximated.empty() && notPreviewed.empty() && missingImports.empty() && damaged.empty();
  }
};

class ScriptVideo {
public:
  virtual ~ScriptVideo() = default;

  // Opens an AviSynth-syntax script file. Throws EngineError with the reason
  // when the script cannot be run (parse error, missing D2V or VOB, no MPEG-2).
  static std::unique_ptr<ScriptVideo> open(const std::string &scriptPath, const ProgressFn &progress = {});

  virtual const VideoProperties &properties() const = 0;

  // Functions of the script that the engine cannot show and passed through
  // unchanged, each named once, in the order they first appear.
  const std::vector<std::string> &passedThrough() const { return notes().notPreviewed; }

  // Everything the preview shows other than the encoder would get.
  virtual const PreviewNotes &notes() const = 0;

  // Frame n (numbered from 0) as RGB24, BT.601 with TV range expanded to full
  // range. n past the end gives the last frame, n below 0 the first. Throws
  // EngineError when the frame cannot be decoded; the video stays usable.
  virtual void frame(int n, RgbImage &out) = 0;
};

} // namespace reelwork::engine
