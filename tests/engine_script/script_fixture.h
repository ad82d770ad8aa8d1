#pragma once
// Helpers for the script and filter tests: a synthetic source whose pixels
// tell which frame and which row they came from, and a script runner that
// opens that source for every mpeg2source line.

#include <gtest/gtest.h>

#include <string>

#include "engine/clip.h"
#include "engine/script/evaluator.h"

namespace reelwork::engine::test {

// YV12 frames where luma at (x, y) of frame n is (n * 4 + y) & 255, chroma
// U = n & 255 and V = 255 - (n & 255). Parity and size as asked.
class NumberedClip : public Clip {
public:
  NumberedClip(int width, int height, int frames, int rateNum, int rateDen, FieldParity parity) {
    vi_.width = width;
    vi_.height = height;
    vi_.frameCount = frames;
    vi_.rateNum = rateNum;
    vi_.rateDen = rateDen;
    vi_.parity = parity;
    vi_.format = PixelFormat::YV12;
  }
  const ClipInfo &info() const override { return vi_; }
  FramePtr frame(int n) override {
    ++requests;
    auto f = std::make_shared<Frame>();
    f->allocate(PixelFormat::YV12, vi_.width, vi_.height);
    for (int y = 0; y < vi_.height; ++y)
      for (int x = 0; x < vi_.width; ++x)
        f->row(0, y)[x] = static_cast<std::uint8_t>((n * 4 + y) & 255);
    for (int y = 0; y < (vi_.height + 1) / 2; ++y)
      for (int x = 0; x < (vi_.width + 1) / 2; ++x) {
        f->row(1, y)[x] = static_cast<std::uint8_t>(n & 255);
        f->row(2, y)[x] = static_cast<std::uint8_t>(255 - (n & 255));
      }
    return f;
  }
  int requests = 0;

private:
  ClipInfo vi_;
};

inline int LumaRow(const Frame &f, int y) { return f.row(0, y)[0]; }

// The DVD-like source every mpeg2source line opens in these tests: 720x576,
// 25 fps, top field first, 100 frames (NTSC: 720x480, 30000/1001).
struct FakeSource {
  int width = 720, height = 576, frames = 100, rateNum = 25, rateDen = 1;
  FieldParity parity = FieldParity::Top;
  std::string lastPath;
};

// An NTSC source: 720x480 at 30000/1001.
inline FakeSource NtscSource(int frames = 300) {
  FakeSource s;
  s.height = 480;
  s.rateNum = 30000;
  s.rateDen = 1001;
  s.frames = frames;
  return s;
}

inline script::ScriptResult RunScript(const std::string &text, FakeSource *source = nullptr,
                                      const std::string &folder = "/films") {
  static FakeSource defaults;
  FakeSource *src = source ? source : &defaults;
  script::ScriptContext ctx;
  ctx.folder = folder;
  ctx.mpeg2 = [src](const std::string &path, const ProgressFn &) -> ClipPtr {
    src->lastPath = path;
    return std::make_shared<NumberedClip>(src->width, src->height, src->frames, src->rateNum, src->rateDen,
                                          src->parity);
  };
  return script::EvaluateScript(text, ctx);
}

inline ClipPtr Build(const std::string &text) { return RunScript(text).clip; }

// The message of the error the script raises, or "" when it runs.
inline std::string ErrorOf(const std::string &text, FakeSource *source = nullptr) {
  try {
    RunScript(text, source);
  } catch (const EngineError &e) {
    return e.what();
  }
  return "";
}

} // namespace reelwork::engine::test
