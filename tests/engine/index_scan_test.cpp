// The packet scan on hand-made elementary streams: field-picture pairs,
// MPEG-1 video, and pictures that carry no time stamps.

#include <gtest/gtest.h>

#include <fstream>

#include "engine/mpeg2_index.h"
#include "support/media_fixture.h"

namespace fs = std::filesystem;
using namespace reelwork::engine;

namespace {

using Bytes = std::vector<std::uint8_t>;

void Append(Bytes &out, std::initializer_list<int> bytes) {
  for (int b : bytes)
    out.push_back(static_cast<std::uint8_t>(b));
}

// 720x576, 4:3, 25 fps (rate code 3; 4 is 30000/1001); `mpeg2` adds the
// sequence extension (4:2:0, interlaced).
void SequenceHeader(Bytes &out, bool mpeg2, int rateCode = 3) {
  Append(out, {0, 0, 1, 0xB3, 0x2D, 0x02, 0x40, 0x20 | rateCode, 0xFF, 0xFF, 0xE0, 0x18});
  if (mpeg2)
    Append(out, {0, 0, 1, 0xB5, 0x14, 0x82, 0x00, 0x01, 0x00, 0x00});
}

void Gop(Bytes &out, bool closed) { Append(out, {0, 0, 1, 0xB8, 0x00, 0x08, 0x00, closed ? 0x40 : 0x00}); }

// A picture header, its coding extension (structure 1 top field, 2 bottom
// field, 3 frame; `repeat` sets repeat_first_field) and a slice of filler.
void Picture(Bytes &out, int type, int temporalReference, int structure, bool topFirst, bool repeat = false) {
  Append(out, {0, 0, 1, 0x00, (temporalReference >> 2) & 0xFF, ((temporalReference & 3) << 6) | (type << 3), 0xFF,
               0xF8});
  Append(out, {0, 0, 1, 0xB5, 0x8F, 0xFF, 0xF0 | structure, (topFirst ? 0x80 : 0x00) | (repeat ? 0x02 : 0x00), 0x00});
  Append(out, {0, 0, 1, 0x01, 0x12, 0x34, 0x56, 0x78, 0x9A});
}

class IndexScan : public ::testing::Test {
protected:
  IndexPtr Scan(const Bytes &es) {
    const fs::path path = folder_.path() / "video.m2v";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(es.data()),
                                                static_cast<std::streamsize>(es.size()));
    return BuildMpeg2Index({path}, IndexKey({path}), {});
  }
  reelwork::testing::TempFolder folder_;
};

TEST_F(IndexScan, FieldPicturePairsAreOneFrame) {
  Bytes es;
  SequenceHeader(es, true);
  Gop(es, true);
  Picture(es, 1, 0, 2, false); // I as a bottom field first, then its top field as P
  Picture(es, 2, 0, 1, false);
  const size_t second = es.size();
  Picture(es, 2, 2, 3, false); // a P frame
  const size_t third = es.size();
  Picture(es, 3, 1, 2, false); // a B field pair
  Picture(es, 3, 1, 1, false);
  const IndexPtr index = Scan(es);
  ASSERT_EQ(index->pictures.size(), 3u);
  EXPECT_EQ(index->pictures[0].type, kPictureI);
  EXPECT_EQ(index->pictures[1].type, kPictureP);
  EXPECT_EQ(index->pictures[2].type, kPictureB);
  EXPECT_EQ(index->pictures[0].size, second); // headers and both fields
  EXPECT_EQ(index->pictures[1].size, third - second);
  EXPECT_EQ(index->pictures[2].size, es.size() - third);
  // Display order I, B, P; a bottom field first means bottom field first.
  EXPECT_EQ(index->frames, (std::vector<std::uint32_t>{0, 2, 1}));
  EXPECT_FALSE(index->topFieldFirst);
  EXPECT_EQ(index->width, 720);
  EXPECT_EQ(index->height, 576);
  EXPECT_EQ(index->aspectCode, 2);
}

TEST_F(IndexScan, TimesWithoutStampsFollowTheFrameRate) {
  Bytes es;
  SequenceHeader(es, true);
  Gop(es, false);
  Picture(es, 1, 2, 3, true);
  Picture(es, 3, 0, 3, true); // leading B-pictures of an open GOP at the start: dropped
  Picture(es, 3, 1, 3, true);
  Picture(es, 2, 5, 3, true);
  Picture(es, 3, 3, 3, true);
  Picture(es, 3, 4, 3, true);
  const IndexPtr index = Scan(es);
  ASSERT_EQ(index->frameCount(), 4);
  EXPECT_EQ(index->pictures[1].frame, kNotShown);
  EXPECT_EQ(index->pictures[2].frame, kNotShown);
  EXPECT_TRUE(index->topFieldFirst);
  for (int n = 0; n < 4; ++n)
    EXPECT_EQ(index->pictures[index->frames[static_cast<size_t>(n)]].time, n * 3600) << n;
}

TEST_F(IndexScan, FilmWithPulldownFlagsRunsAt24000Over1001) {
  Bytes es;
  SequenceHeader(es, true, 4);
  Gop(es, true);
  for (int i = 0; i < 8; ++i)
    Picture(es, i == 0 ? 1 : 2, i, 3, i % 4 < 2, i % 2 == 0); // TFF RFF, BFF, BFF RFF, TFF
  IndexPtr index = Scan(es);
  EXPECT_EQ(index->rateNum, 24000);
  EXPECT_EQ(index->rateDen, 1001);

  Bytes video; // the same without the flags: interlaced video at 30000/1001
  SequenceHeader(video, true, 4);
  Gop(video, true);
  for (int i = 0; i < 8; ++i)
    Picture(video, i == 0 ? 1 : 2, i, 3, true);
  index = Scan(video);
  EXPECT_EQ(index->rateNum, 30000);
  EXPECT_EQ(index->rateDen, 1001);
}

TEST_F(IndexScan, Mpeg1VideoIsRefused) {
  Bytes es;
  SequenceHeader(es, false);
  Gop(es, true);
  Append(es, {0, 0, 1, 0x00, 0x00, 0x08, 0xFF, 0xF8, 0, 0, 1, 0x01, 0x11, 0x22});
  try {
    Scan(es);
    FAIL() << "MPEG-1 video was indexed";
  } catch (const EngineError &e) {
    EXPECT_NE(std::string(e.what()).find("MPEG-1"), std::string::npos) << e.what();
  }
}

} // namespace
