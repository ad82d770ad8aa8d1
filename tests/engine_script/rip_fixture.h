#pragma once
// A suite fixture over one real MPEG-2 rip made by the sample maker (720x576,
// 25 fps, 25 frames, top field first, with grain so that neighbouring pixels
// differ): scripts are written beside its D2V and run after an mpeg2source line.

#include <gtest/gtest.h>

#include <fstream>

#include "engine/script/evaluator.h"
#include "support/media_fixture.h"

namespace reelwork::engine::test {

class OneSecondRip : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    cache_ = new testing::IsolatedIndexCache();
    folder_ = new testing::TempFolder();
    SampleOptions o;
    o.width = 720;
    o.height = 576;
    o.seconds = 1; // 25 frames
    o.grain = 6;   // texture, so that resampling and pixel moves show
    rip_ = new SampleRip(testing::MakeTestRip(folder_->path(), o));
  }
  static void TearDownTestSuite() {
    delete rip_;
    delete folder_;
    delete cache_;
  }
  static script::ScriptResult Run(const std::string &lines) {
    const std::filesystem::path p = folder_->path() / "movie.avs";
    std::ofstream(p, std::ios::binary) << "mpeg2source(\"" << rip_->d2v.filename().string() << "\")\n" << lines;
    return script::EvaluateScriptFile(p.string());
  }
  static ClipPtr Open(const std::string &lines) { return Run(lines).clip; }
  static std::string ErrorOf(const std::string &lines) {
    try {
      Run(lines);
    } catch (const EngineError &e) {
      return e.what();
    }
    return "(no error)";
  }

  inline static testing::IsolatedIndexCache *cache_ = nullptr;
  inline static testing::TempFolder *folder_ = nullptr;
  inline static SampleRip *rip_ = nullptr;
};

} // namespace reelwork::engine::test
