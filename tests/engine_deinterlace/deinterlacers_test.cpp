// The deinterlacing filters on real MPEG-2: interlaced pans lose their combs,
// telecined film comes back to its frames, and each filter keeps the frame
// count, rate and size that scripts expect of it.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>

#include "engine/filters/deinterlacers.h"
#include "engine/filters/filter_base.h"
#include "engine/filters/filters.h"
#include "engine/script/evaluator.h"
#include "engine/video.h"
#include "support/media_fixture.h"

namespace fs = std::filesystem;
using namespace reelwork;
using namespace reelwork::engine;

namespace {

// The interlace measure of the Find Interlace tool: over 100 random points,
// the sum of the three channels' differences to the pixel below, divided by
// 300. It calls a frame interlaced from 20 on (default sensitivity).
int CombScore(const RgbImage &img, std::mt19937 &random) {
  long total = 0;
  for (int k = 0; k < 100; ++k) {
    const int x = std::uniform_int_distribution<int>(0, img.width - 3)(random) + 1;
    const int y = std::uniform_int_distribution<int>(0, img.height - 3)(random) + 1;
    for (int c = 0; c < 3; ++c)
      total += std::abs(img.at(x, y)[c] - img.at(x, y + 1)[c]);
  }
  return static_cast<int>(total / 300);
}
constexpr int kInterlacedFrom = 20;

class Deinterlacers : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    folder_ = new reelwork::testing::TempFolder;
    SampleOptions o;
    o.seconds = 1.2;
    o.pan = true;
    pal_ = reelwork::testing::MakeTestRip(folder_->path() / "pal", o);
    o.ntsc = true;
    o.seconds = 2;
    ntsc_ = reelwork::testing::MakeTestRip(folder_->path() / "ntsc", o);
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }
  // A script over a rip: its source line and then `lines`.
  static std::string Script(const SampleRip &rip, const std::string &lines) {
    static int count = 0;
    std::string name = std::to_string(++count);
    name.insert(0, 1, 's'); // not "s" + ...: GCC 12 at -O3 warns falsely (-Wrestrict) on that
    const fs::path path = rip.d2v.parent_path() / (name + ".avs");
    std::ofstream(path, std::ios::binary) << "mpeg2source(\"" << rip.d2v.filename().string() << "\")\r\n"
                                          << lines << "\r\n";
    return path.string();
  }
  // Comb scores of the frames of the panning scene (the sample's first 80 %;
  // its last fifth is titles rolling over black).
  static std::vector<int> Scores(const std::string &lines) {
    auto video = ScriptVideo::open(Script(pal_, lines));
    std::mt19937 random(7);
    std::vector<int> scores;
    RgbImage image;
    for (int n = 0; n < video->properties().frameCount * 3 / 4; ++n) {
      video->frame(n, image);
      scores.push_back(CombScore(image, random));
    }
    return scores;
  }
  static ClipPtr Clip(const SampleRip &rip, const std::string &lines) {
    return script::EvaluateScriptFile(Script(rip, lines)).clip;
  }

  static reelwork::testing::TempFolder *folder_;
  static SampleRip pal_, ntsc_;
  reelwork::testing::IsolatedIndexCache cache_;
};

reelwork::testing::TempFolder *Deinterlacers::folder_ = nullptr;
SampleRip Deinterlacers::pal_, Deinterlacers::ntsc_;

int Mean(const std::vector<int> &v) {
  long sum = 0;
  for (int x : v)
    sum += x;
  return v.empty() ? 0 : static_cast<int>(sum / static_cast<long>(v.size()));
}

TEST_F(Deinterlacers, EachMethodRemovesTheCombsOfAPan) {
  const std::vector<int> source = Scores("");
  ASSERT_GT(*std::min_element(source.begin(), source.end()), kInterlacedFrom) << "every frame of the pan combs";
  // Field matching alone cannot help with true interlacing; post=1 only
  // measures the combs.
  EXPECT_GT(Mean(Scores("Telecide(order=1,post=0)")), kInterlacedFrom);
  EXPECT_GT(Mean(Scores("Telecide(order=1,post=1)")), kInterlacedFrom);
  for (const char *lines : {"Telecide(order=1,post=2)", "Telecide(order=0,post=2,vthresh=90)", "TomsMoComp(1,5,1)",
                            "Telecide(order=1,post=1)\r\nTomsMoComp(1,5,1)", "FieldDeinterlace()",
                            "FieldDeinterlace(blend=false)", "SmoothDeinterlace(tff=true,doublerate=true,lacethresh=24)",
                            "Bob()", "Bob()\r\nRepal()"}) {
    SCOPED_TRACE(lines);
    const std::vector<int> after = Scores(lines);
    EXPECT_LE(*std::max_element(after.begin(), after.end()), kInterlacedFrom / 2);
  }
}

TEST_F(Deinterlacers, FramesRateAndSizeAreTheOnesScriptsExpect) {
  const struct {
    const char *lines;
    int framesTimes12; // frame count relative to the source, in twelfths
    int rateNum, rateDen;
  } cases[] = {
      {"Telecide(order=1,post=2)", 12, 25, 1},
      {"TomsMoComp(-1,5,1)", 12, 25, 1},
      {"FieldDeinterlace()", 12, 25, 1},
      {"SmoothDeinterlace(tff=true,doublerate=true,lacethresh=24)", 24, 50, 1},
      {"SmoothDeinterlace(tff=false)", 12, 25, 1},
      {"Bob()", 24, 50, 1},
      {"Bob()\r\nRepal()", 10, 125, 6},
  };
  const int frames = pal_.frames;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.lines);
    ClipPtr clip = Clip(pal_, c.lines);
    const ClipInfo &vi = clip->info();
    EXPECT_EQ(vi.frameCount, frames * c.framesTimes12 / 12);
    EXPECT_EQ(vi.rateNum, c.rateNum);
    EXPECT_EQ(vi.rateDen, c.rateDen);
    EXPECT_EQ(vi.width, 352);
    EXPECT_EQ(vi.height, 288);
    EXPECT_FALSE(vi.fieldBased);
    const FramePtr last = clip->frame(vi.frameCount - 1);
    EXPECT_EQ(last->height, 288);
  }
  EXPECT_EQ(Clip(pal_, "Telecide(order=1,post=2)\r\nDecimate(5)")->info().frameCount, frames * 4 / 5);
  // The field order is the one asked for, or the source's (top first).
  EXPECT_EQ(Clip(pal_, "SmoothDeinterlace(tff=false,doublerate=true)")->info().parity, FieldParity::Bottom);
  EXPECT_EQ(Clip(pal_, "Telecide(order=1)")->info().parity, FieldParity::Top);
}

TEST_F(Deinterlacers, BadArgumentsAreRefusedWhenTheScriptIsBuilt) {
  const struct {
    const char *lines;
    const char *reason;
  } cases[] = {
      {"Telecide(order=2)", "Telecide: order must be 0"},
      {"SeparateFields()\r\nFieldDeinterlace()", "FieldDeinterlace: the clip is field-based"},
      {"Crop(0,0,0,-2)\r\nTelecide(order=1)", "Telecide: YV12 height must be a multiple of 4"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.lines);
    try {
      Clip(pal_, c.lines);
      ADD_FAILURE() << "built";
    } catch (const EngineError &e) {
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
    }
  }
}

// 3:2 pulldown of a progressive film clip: every four film frames give five
// video frames, the top fields A B B C D and the bottom fields A B C C D... in
// the usual pattern AA BB BC CD DD (top, bottom).
class Pulldown : public Clip {
public:
  explicit Pulldown(ClipPtr film) : film_(std::move(film)), vi_(film_->info()) {
    vi_.frameCount = vi_.frameCount / 4 * 5;
    filters::ScaleRate(vi_, 5, 4);
    vi_.parity = FieldParity::Top;
  }
  const ClipInfo &info() const override { return vi_; }
  FramePtr frame(int n) override {
    static const int kTop[5] = {0, 1, 1, 2, 3}, kBottom[5] = {0, 1, 2, 3, 3};
    const int group = n / 5 * 4;
    FramePtr top = film_->frame(group + kTop[n % 5]);
    FramePtr bottom = film_->frame(group + kBottom[n % 5]);
    auto out = std::make_shared<Frame>(*top);
    for (int p = 0; p < 3; ++p) {
      const int rows = p == 0 ? out->height : out->height / 2;
      const int bytes = p == 0 ? out->width : out->width / 2;
      for (int y = 1; y < rows; y += 2)
        std::copy_n(bottom->row(p, y), bytes, out->row(p, y));
    }
    return out;
  }

private:
  ClipPtr film_;
  ClipInfo vi_;
};

TEST_F(Deinterlacers, TelecineComesBackToItsFilmFramesWithTelecideAndDecimate) {
  // Film: one progressive picture per source frame, at the film rate.
  ClipPtr film = Clip(ntsc_, "Bob()\r\nSelectEven()\r\nAssumeFPS(24000,1001)");
  std::vector<int> filmNumbers;
  for (int n = 0; n < film->info().frameCount; ++n)
    filmNumbers.push_back(ReadFrameNumber(*film->frame(n)));
  ASSERT_EQ(filmNumbers.front(), 0);

  auto video = std::make_shared<Pulldown>(film);
  ASSERT_EQ(video->info().rateNum, 30000);
  filters::TelecideParams p;
  p.order = 1;
  ClipPtr matched = filters::MakeTelecide(video, p);
  ClipPtr decimated = filters::MakeDecimate(matched, 5);
  const ClipInfo &vi = decimated->info();
  EXPECT_EQ(vi.rateNum, 24000);
  EXPECT_EQ(vi.rateDen, 1001);
  EXPECT_EQ(vi.frameCount, video->info().frameCount * 4 / 5);
  ASSERT_EQ(vi.frameCount, static_cast<int>(filmNumbers.size()) / 4 * 4);
  // Each film frame once, in order, its two fields together again.
  for (int n = 0; n < vi.frameCount; ++n) {
    const FramePtr f = decimated->frame(n);
    EXPECT_EQ(ReadFrameNumber(*f), filmNumbers[n]) << "frame " << n;
    EXPECT_EQ(reelwork::testing::HashFrame(*f), reelwork::testing::HashFrame(*film->frame(n))) << "frame " << n;
  }
}

} // namespace
