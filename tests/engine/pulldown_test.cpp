// Film stored with pulldown flags: shown as the flags say, as the stored film
// frames, or as the stored frames at the stream's rate, by the project's field
// operation.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "engine/d2v.h"
#include "engine/mpeg2_source.h"
#include "engine/pulldown.h"
#include "engine/sample_media.h"
#include "support/media_fixture.h"

namespace fs = std::filesystem;
using namespace reelwork::engine;
using reelwork::testing::HashFrame;

namespace {

using Pairs = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

Mpeg2Index IndexWithFlags(const std::vector<std::uint8_t> &flags) {
  Mpeg2Index index;
  for (std::uint32_t i = 0; i < flags.size(); ++i) {
    IndexedPicture pic;
    pic.type = kPictureI;
    pic.frame = i;
    pic.fields = flags[i];
    index.pictures.push_back(pic);
    index.frames.push_back(i);
  }
  return index;
}

constexpr std::uint8_t T = kTopFieldFirst, R = kRepeatFirstField;

TEST(PulldownFrames, ThreeTwoPatternMixesTwoFramesOfFive) {
  // Fields: T0 B0 T0 | B1 T1 | B2 T2 B2 | T3 B3
  EXPECT_EQ(PulldownFrames(IndexWithFlags({T | R, 0, R, T})), (Pairs{{0, 0}, {0, 1}, {1, 2}, {2, 2}, {3, 3}}));
  EXPECT_TRUE(HasPulldown(IndexWithFlags({T | R, 0, R, T})));
  // Without repeated fields every frame is its own, whatever field comes first.
  EXPECT_EQ(PulldownFrames(IndexWithFlags({T, 0, T})), (Pairs{{0, 0}, {1, 1}, {2, 2}}));
  EXPECT_FALSE(HasPulldown(IndexWithFlags({T, 0, T})));
  // Flags out of step (two top fields in a row) give whole pictures.
  // T0 B0 T0 | T1 B1 T1: the pair T0 T1 takes picture 0 whole.
  EXPECT_EQ(PulldownFrames(IndexWithFlags({T | R, T | R})), (Pairs{{0, 0}, {0, 0}, {1, 1}}));
}

class PulldownSource : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    folder_ = new reelwork::testing::TempFolder;
    SampleOptions o;
    o.softPulldown = true;
    o.seconds = 1.05; // 25 pictures
    o.width = 352;
    o.height = 240;
    rip_ = WriteSampleRip(folder_->path(), o);
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }
  // The source with the project's field operation set to `operation`.
  static ClipPtr Open(int operation) {
    std::ifstream in(rip_.d2v, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string d2v = text.str();
    const auto at = d2v.find("Field_Operation=");
    d2v[at + 16] = static_cast<char>('0' + operation);
    const fs::path path = folder_->path() / ("op" + std::to_string(operation) + ".d2v");
    std::ofstream(path, std::ios::binary) << d2v;
    return MakeMpeg2Source(path.string(), {});
  }
  static bool SameRows(const Frame &a, const Frame &b, int parity) {
    for (int p = 0; p < 3; ++p)
      for (int y = parity; y < static_cast<int>(a.planes[p].size()) / a.stride[p]; y += 2)
        if (std::memcmp(a.row(p, y), b.row(p, y), static_cast<size_t>(a.stride[p])) != 0)
          return false;
    return true;
  }

  static reelwork::testing::TempFolder *folder_;
  static SampleRip rip_;
  reelwork::testing::IsolatedIndexCache cache_;
};

reelwork::testing::TempFolder *PulldownSource::folder_ = nullptr;
SampleRip PulldownSource::rip_;

TEST_F(PulldownSource, ForceFilmGivesTheStoredPicturesAtTheFilmRate) {
  ASSERT_EQ(rip_.frames, 25);
  auto film = Open(1);
  EXPECT_EQ(film->info().frameCount, 25);
  EXPECT_EQ(film->info().rateNum, 24000);
  EXPECT_EQ(film->info().rateDen, 1001);
  for (int n : {0, 1, 13, 24})
    EXPECT_EQ(ReadFrameNumber(*film->frame(n)), n);

  auto raw = Open(2);
  EXPECT_EQ(raw->info().frameCount, 25);
  EXPECT_EQ(raw->info().rateNum, 30000);
  EXPECT_EQ(ReadFrameNumber(*raw->frame(7)), 7);
}

TEST_F(PulldownSource, HonouredFlagsWeaveThirtyFramesFromTheFields) {
  auto film = Open(1);
  auto shown = Open(0);
  // 25 pictures give 63 fields: 31 frames at the stream's rate, the odd last
  // field left over.
  EXPECT_EQ(shown->info().frameCount, 31);
  EXPECT_EQ(shown->info().rateNum, 30000);
  EXPECT_EQ(shown->info().rateDen, 1001);
  EXPECT_EQ(shown->info().parity, FieldParity::Top);
  EXPECT_NE(IndexOfSource(*shown), nullptr);

  const Pairs expected = {{0, 0}, {0, 1}, {1, 2}, {2, 2}, {3, 3}};
  for (int cycle : {0, 5}) {
    for (int k = 0; k < 5; ++k) {
      SCOPED_TRACE(cycle + k);
      const auto [top, bottom] = expected[static_cast<size_t>(k)];
      const int base = cycle / 5 * 4;
      FramePtr frame = shown->frame(cycle + k);
      EXPECT_TRUE(SameRows(*frame, *film->frame(base + static_cast<int>(top)), 0));
      EXPECT_TRUE(SameRows(*frame, *film->frame(base + static_cast<int>(bottom)), 1));
      if (top == bottom) {
        EXPECT_EQ(HashFrame(*frame), HashFrame(*film->frame(base + static_cast<int>(top))));
      }
    }
  }
  // Random access lands on the same pictures as a run from the start.
  const auto last = HashFrame(*shown->frame(30));
  EXPECT_EQ(HashFrame(*shown->frame(2)), HashFrame(*Open(0)->frame(2)));
  EXPECT_EQ(last, HashFrame(*Open(0)->frame(30)));
}

TEST(D2vFieldOperation, ReadFromItsLineAndZeroWithoutOne) {
  EXPECT_EQ(ParseD2vFieldOperation("DVD2AVIProjectFile\r\n1\r\nx.vob\r\n\r\nField_Operation=1\r\n"), 1);
  EXPECT_EQ(ParseD2vFieldOperation("DVD2AVIProjectFile\r\nField_Operation=2\r\n"), 2);
  EXPECT_EQ(ParseD2vFieldOperation("DVD2AVIProjectFile\r\n1\r\nx.vob\r\n"), 0);
  // Only a line that starts with the key counts.
  EXPECT_EQ(ParseD2vFieldOperation("DVD2AVIProjectFile\r\nMy_Field_Operation=1\r\n"), 0);
}

} // namespace
