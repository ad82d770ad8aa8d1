// Scripts over a real MPEG-2 rip made by the sample maker: the filters keep
// their geometry, count and rate on decoded video, and frame selection picks
// the pictures it names (each sample picture shows its own number).

#include <gtest/gtest.h>

#include <fstream>

#include "engine/sample_media.h"
#include "engine/script/evaluator.h"
#include "support/media_fixture.h"

namespace reelwork::engine::test {
namespace {

class RealSource : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    cache_ = new testing::IsolatedIndexCache();
    folder_ = new testing::TempFolder();
    SampleOptions o;
    o.width = 720;
    o.height = 576;
    o.seconds = 2; // 50 frames, open GOPs with B-frames
    rip_ = new SampleRip(testing::MakeTestRip(folder_->path(), o));
  }
  static void TearDownTestSuite() {
    delete rip_;
    delete folder_;
    delete cache_;
  }

  // Writes the script beside the D2V, as the program does, and runs it.
  static ClipPtr Open(const std::string &filterLines) {
    const auto path = folder_->path() / "movie.avs";
    {
      std::ofstream out(path, std::ios::binary);
      out << "mpeg2source(\"" << rip_->d2v.filename().string() << "\")\r\n" << filterLines;
    }
    return script::EvaluateScriptFile(path.string()).clip;
  }

  static testing::IsolatedIndexCache *cache_;
  static testing::TempFolder *folder_;
  static SampleRip *rip_;
};

testing::IsolatedIndexCache *RealSource::cache_ = nullptr;
testing::TempFolder *RealSource::folder_ = nullptr;
SampleRip *RealSource::rip_ = nullptr;

TEST_F(RealSource, FieldsTrimAndDecimateOnDecodedVideo) {
  ClipPtr src = Open("");
  ASSERT_EQ(src->info().width, 720);
  ASSERT_EQ(src->info().height, 576);
  const int frames = src->info().frameCount;
  ASSERT_EQ(frames, rip_->frames);

  ClipPtr fields = Open("AssumeTFF().SeparateFields()\r\n");
  EXPECT_EQ(fields->info().width, 720);
  EXPECT_EQ(fields->info().height, 288);
  EXPECT_EQ(fields->info().frameCount, 2 * frames);
  EXPECT_EQ(fields->info().rateNum, 50);
  EXPECT_EQ(fields->info().rateDen, 1);
  EXPECT_TRUE(fields->info().fieldBased);

  ClipPtr trimmed = Open("Trim(10,19)\r\n");
  ASSERT_EQ(trimmed->info().frameCount, 10);
  EXPECT_EQ(ReadFrameNumber(*trimmed->frame(0)), 10);
  EXPECT_EQ(ReadFrameNumber(*trimmed->frame(9)), 19);

  ClipPtr odd = Open("SelectOdd()\r\n");
  EXPECT_EQ(ReadFrameNumber(*odd->frame(3)), 7);

  ClipPtr decimated = Open("Decimate(5)\r\n");
  EXPECT_EQ(decimated->info().frameCount, frames * 4 / 5);
  EXPECT_EQ(decimated->info().rateNum, 20);
  // Every picture comes from its own cycle of five, in order.
  int previous = -1;
  for (int n = 0; n < 8; ++n) {
    const int shown = ReadFrameNumber(*decimated->frame(n));
    EXPECT_GT(shown, previous);
    EXPECT_EQ(shown / 5, n / 4) << "output frame " << n;
    previous = shown;
  }
}

TEST_F(RealSource, TheFilterChainOfAFinishedScript) {
  ClipPtr c = Open("Telecide(order=1,post=2)\r\nCrop(8,74,-8,-74)\r\nMipSmooth(preset = \"movieHQ\")\r\n"
                   "BicubicResize(640,352)\r\nSharpen(0.25)\r\nConvertToRGB()\r\n");
  EXPECT_EQ(c->info().width, 640);
  EXPECT_EQ(c->info().height, 352);
  EXPECT_EQ(c->info().format, PixelFormat::RGB32);
  EXPECT_EQ(c->frame(c->info().frameCount - 1)->width, 640);
  ClipPtr bob = Open("Bob()\r\nRepal()\r\n");
  EXPECT_EQ(bob->info().height, 576);
  EXPECT_EQ(bob->info().frameCount, 2 * rip_->frames * 5 / 12);
  EXPECT_EQ(bob->info().rateNum * 6, bob->info().rateDen * 125); // 50 fields a second, 5 of every 12
}

} // namespace
} // namespace reelwork::engine::test
