// The MPEG-2 source against a plain sequential FFmpeg decode of the same files:
// every frame, in any order of access, must be the same picture.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "engine/mpeg2_index.h"
#include "engine/mpeg2_source.h"
#include "engine/program_stream.h"
#include "engine/sample_media.h"
#include "support/media_fixture.h"

namespace fs = std::filesystem;
using namespace reelwork;
using namespace reelwork::engine;
using reelwork::testing::HashFrame;

namespace {

struct ExactnessCase {
  const char *name;
  SampleOptions options;
};

void PrintTo(const ExactnessCase &c, std::ostream *os) { *os << c.name; }

SampleOptions Options(double seconds, bool bFrames, int vobs, bool restart, bool ntsc = false) {
  SampleOptions o;
  o.seconds = seconds;
  o.bFrames = bFrames;
  o.vobCount = vobs;
  o.clockRestart = restart;
  o.ntsc = ntsc;
  return o;
}

class SourceExactness : public ::testing::TestWithParam<ExactnessCase> {
protected:
  void SetUp() override {
    rip_ = reelwork::testing::MakeTestRip(folder_.path(), GetParam().options);
    std::vector<int> numbers;
    reference_ = reelwork::testing::ReferenceDecode(rip_.vobs, &numbers);
    // The media themselves: every picture decodes and shows its own number.
    ASSERT_EQ(static_cast<int>(reference_.size()), rip_.frames);
    for (int i = 0; i < rip_.frames; ++i)
      ASSERT_EQ(numbers[static_cast<size_t>(i)], i) << "sample picture " << i << " does not show its number";
    source_ = MakeMpeg2SourceFromFiles(rip_.vobs, {});
    index_ = IndexOfSource(*source_);
    ASSERT_TRUE(index_);
  }

  void ExpectFrame(int n, const char *why) {
    FramePtr f = source_->frame(n);
    ASSERT_TRUE(f);
    EXPECT_EQ(HashFrame(*f), reference_[static_cast<size_t>(n)]) << "frame " << n << " (" << why << ")";
  }

  // Frames whose picture data starts before a VOB boundary and ends after it,
  // and their neighbours.
  std::vector<int> FramesAtVobBoundaries() const {
    std::vector<int> frames;
    std::uint64_t boundary = 0;
    for (size_t v = 0; v + 1 < rip_.vobs.size(); ++v) {
      boundary += fs::file_size(rip_.vobs[v]);
      for (const auto &pic : index_->pictures) {
        if (pic.frame != kNotShown && pic.packetPos < boundary && pic.packetPos + pic.size + 4096 > boundary)
          for (int k = -2; k <= 2; ++k)
            frames.push_back(static_cast<int>(pic.frame) + k);
      }
    }
    return frames;
  }

  // B-pictures shown before the I-picture of their group, which need the
  // previous group decoded.
  std::vector<int> LeadingBFrames() const {
    std::vector<int> frames;
    size_t lastI = 0;
    for (size_t d = 0; d < index_->pictures.size(); ++d) {
      const auto &pic = index_->pictures[d];
      if (pic.type == kPictureI)
        lastI = d;
      else if (pic.type == kPictureB && pic.frame != kNotShown && pic.seekFrom < lastI)
        frames.push_back(static_cast<int>(pic.frame));
    }
    return frames;
  }

  reelwork::testing::TempFolder folder_;
  reelwork::testing::IsolatedIndexCache cache_;
  SampleRip rip_;
  std::vector<std::uint64_t> reference_;
  std::shared_ptr<Clip> source_;
  IndexPtr index_;
};

TEST_P(SourceExactness, FramesInAnyOrderEqualTheSequentialDecode) {
  const int count = source_->info().frameCount;
  ASSERT_EQ(count, rip_.frames);

  for (int n = count - 1; n >= 0; --n)
    ExpectFrame(n, "reverse order");

  std::vector<int> order(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i)
    order[static_cast<size_t>(i)] = i;
  std::mt19937 random(7);
  std::shuffle(order.begin(), order.end(), random);
  for (int n : order)
    ExpectFrame(n, "shuffled order");

  // The awkward places, each reached by a jump from far away.
  std::vector<std::pair<int, const char *>> special = {{0, "first"}, {count - 1, "last"}};
  for (int n : FramesAtVobBoundaries())
    special.push_back({n, "across a VOB boundary"});
  if (rip_.clockRestartFrame > 0)
    for (int k = -3; k <= 3; ++k)
      special.push_back({rip_.clockRestartFrame + k, "across the clock restart"});
  for (int n : LeadingBFrames())
    special.push_back({n, "leading B-frame of an open GOP"});
  for (auto [n, why] : special) {
    if (n < 0 || n >= count)
      continue;
    ExpectFrame((n + count / 2) % count, "jump away");
    ExpectFrame(n, why);
  }
}

TEST_P(SourceExactness, NextFrameDecodesOnePictureWithoutSeeking) {
  const int count = source_->info().frameCount;
  ExpectFrame(0, "first");
  for (int n = 1; n < count; ++n) {
    const SourceStats before = StatsOfSource(*source_);
    ExpectFrame(n, "sequential");
    const SourceStats after = StatsOfSource(*source_);
    EXPECT_EQ(after.seeks, before.seeks) << "frame " << n;
    EXPECT_LE(after.picturesDecoded - before.picturesDecoded, 1) << "frame " << n;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Media, SourceExactness,
    ::testing::Values(ExactnessCase{"OpenGopThreeVobsClockRestart", Options(6, true, 3, true)},
                      ExactnessCase{"NoBFramesOneVob", Options(3, false, 1, false)},
                      ExactnessCase{"NtscOpenGopTwoVobs", Options(3, true, 2, false, true)}),
    [](const auto &info) { return std::string(info.param.name); });

// The media must actually contain what the exactness cases claim to cover.
TEST(SampleMediaCoverage, OpenGopRipHasSplitGopsLeadingBFramesAndAClockRestart) {
  reelwork::testing::TempFolder folder;
  reelwork::testing::IsolatedIndexCache cache;
  const auto rip = reelwork::testing::MakeTestRip(folder.path(), Options(4, true, 2, true));
  ASSERT_EQ(rip.vobs.size(), 2u);
  const auto index = GetMpeg2Index(rip.vobs, {});
  // A GOP runs over the boundary: the boundary lies between two I-pictures.
  const std::uint64_t boundary = fs::file_size(rip.vobs[0]);
  std::uint64_t lastIBefore = 0, firstIAfter = 0;
  for (const auto &pic : index->pictures) {
    if (pic.type != kPictureI)
      continue;
    if (pic.packetPos < boundary)
      lastIBefore = pic.packetPos;
    else if (!firstIAfter)
      firstIAfter = pic.packetPos;
  }
  EXPECT_GT(firstIAfter, boundary);
  EXPECT_LT(lastIBefore, boundary);
  bool leadingB = false;
  for (size_t d = 1; d < index->pictures.size(); ++d)
    leadingB |= index->pictures[d].type == kPictureB && index->pictures[d - 1].type == kPictureI &&
                index->pictures[d].seekFrom < d - 1;
  EXPECT_TRUE(leadingB) << "no B-frame that needs the previous GOP";
  // Display times rise steadily, also where the recording's clock restarts.
  const double duration = 90000.0 / 25;
  for (int n = 1; n < index->frameCount(); ++n) {
    const auto t0 = index->pictures[index->frames[static_cast<size_t>(n - 1)]].time;
    const auto t1 = index->pictures[index->frames[static_cast<size_t>(n)]].time;
    EXPECT_NEAR(static_cast<double>(t1 - t0), duration, 1.0) << "frame " << n;
  }
  EXPECT_LE(index->memoryBytes() / static_cast<size_t>(index->frameCount()), 64u);
}

TEST(Mpeg2Source, PropertiesComeFromTheSequenceHeader) {
  reelwork::testing::TempFolder folder;
  reelwork::testing::IsolatedIndexCache cache;
  auto options = Options(1, true, 1, false, true);
  const auto rip = reelwork::testing::MakeTestRip(folder.path(), options);
  auto clip = MakeMpeg2Source(rip.d2v.string(), {});
  const ClipInfo &info = clip->info();
  EXPECT_EQ(info.width, 352);
  EXPECT_EQ(info.height, 240);
  EXPECT_EQ(info.rateNum, 30000);
  EXPECT_EQ(info.rateDen, 1001);
  EXPECT_EQ(info.frameCount, rip.frames);
  EXPECT_EQ(info.parity, FieldParity::Top);
  EXPECT_FALSE(info.fieldBased);
  EXPECT_EQ(info.format, PixelFormat::YV12);
  FramePtr f = clip->frame(info.frameCount - 1);
  EXPECT_EQ(ReadFrameNumber(*f), info.frameCount - 1);
}

} // namespace

namespace {

std::string ReadAll(const fs::path &p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void ExpectSameFramesInReverse(Clip &clip, const std::vector<std::uint64_t> &reference) {
  ASSERT_EQ(clip.info().frameCount, static_cast<int>(reference.size()));
  for (int n = clip.info().frameCount - 1; n >= 0; --n)
    EXPECT_EQ(HashFrame(*clip.frame(n)), reference[static_cast<size_t>(n)]) << "frame " << n;
}

// A rip cut inside a title starts with an open GOP whose leading B-frames
// refer to a GOP that is not there: a sequential decode drops them, and so
// must the frame numbering.
TEST(Mpeg2Source, StreamStartingWithAnOpenGopDropsItsUnreferencedBFrames) {
  reelwork::testing::TempFolder folder;
  reelwork::testing::IsolatedIndexCache cache;
  const auto rip = reelwork::testing::MakeTestRip(folder.path() / "full", Options(2, true, 1, false));
  const std::string vob = ReadAll(rip.vobs[0]);
  // The navigation pack of the second VOBU (each starts at an I-picture).
  const std::string nav("\0\0\x01\xBF", 4);
  size_t second = vob.find(nav);
  const size_t firstPack = second / 2048;
  while (second != std::string::npos && second / 2048 == firstPack)
    second = vob.find(nav, second + 4);
  ASSERT_NE(second, std::string::npos);
  const fs::path cut = folder.path() / "CUT.VOB";
  std::ofstream(cut, std::ios::binary) << vob.substr(second / 2048 * 2048);

  std::vector<int> numbers;
  const auto reference = reelwork::testing::ReferenceDecode({cut}, &numbers);
  auto clip = MakeMpeg2SourceFromFiles({cut}, {});
  ExpectSameFramesInReverse(*clip, reference);
  const auto index = IndexOfSource(*clip);
  EXPECT_GT(index->pictures.size(), static_cast<size_t>(index->frameCount())) << "no B-frame was dropped";
  EXPECT_GT(numbers.front(), 0);
}

// Projects may also name bare MPEG-2 video files (.m2v) instead of VOBs.
TEST(Mpeg2Source, BareElementaryStreamFile) {
  reelwork::testing::TempFolder folder;
  reelwork::testing::IsolatedIndexCache cache;
  const auto rip = reelwork::testing::MakeTestRip(folder.path(), Options(2, true, 1, false));
  const fs::path m2v = folder.path() / "movie.m2v";
  {
    ConcatenatedFiles files(rip.vobs);
    ProgramStreamReader reader(files);
    std::ofstream out(m2v, std::ios::binary);
    VideoChunk chunk;
    while (reader.next(chunk))
      out.write(reinterpret_cast<const char *>(chunk.data), static_cast<std::streamsize>(chunk.size));
  }
  const auto reference = reelwork::testing::ReferenceDecode(rip.vobs);
  auto clip = MakeMpeg2SourceFromFiles({m2v}, {});
  EXPECT_TRUE(IndexOfSource(*clip)->elementaryStream);
  ExpectSameFramesInReverse(*clip, reference);
}

} // namespace

namespace {

// 4:2:2 video comes out as YV12 of the same size.
TEST(Mpeg2Source, ChromaOf422VideoIsHalvedVertically) {
  reelwork::testing::TempFolder folder;
  reelwork::testing::IsolatedIndexCache cache;
  auto options = Options(1, true, 1, false);
  options.chroma422 = true;
  const auto rip = reelwork::testing::MakeTestRip(folder.path(), options);
  auto clip = MakeMpeg2SourceFromFiles(rip.vobs, {});
  EXPECT_EQ(IndexOfSource(*clip)->chromaFormat, 2);
  for (int n : {8, 3, 0, 5}) { // the dark scene (the end titles are grey)
    FramePtr f = clip->frame(n);
    ASSERT_EQ(f->format, PixelFormat::YV12);
    ASSERT_EQ(f->width, 352);
    ASSERT_EQ(f->height, 288);
    EXPECT_EQ(ReadFrameNumber(*f), n);
    // The dark scene's bluish chroma in the middle of the picture, not 4:2:2 rows.
    EXPECT_NEAR(f->row(1, 100)[20], 142, 6);
    EXPECT_NEAR(f->row(2, 100)[20], 120, 6);
  }
}

} // namespace
