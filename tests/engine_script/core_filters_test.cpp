// Loop, the turns and mirrors, the 2:1 reductions, DoubleWeave, the splices
// of many clips and Overlay's arithmetic modes, on a real MPEG-2 rip
// (720x576, 25 fps, 25 frames, top field first): their figures, exact pixels
// and round trips.

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "rip_fixture.h"

namespace reelwork::engine::test {
namespace {

class CoreFilters : public OneSecondRip {
protected:
  static bool Same(const Frame &a, const Frame &b) {
    return a.format == b.format && a.width == b.width && a.height == b.height && a.planes == b.planes;
  }
};

TEST_F(CoreFilters, LoopRepeatsItsRangeAndCapsTheEndlessCount) {
  ClipPtr src = Open("");
  const struct {
    const char *call;
    long long frames;
  } cases[] = {
      {"Loop(3, 5, 9)", 25 + 2 * 5},       // frames 5..9 twice more
      {"Loop(0, 5, 9)", 25 - 5},           // the range deleted
      {"Loop(1, 5, 9)", 25},               // played once: unchanged
      {"Loop(2, 20, 1000)", 25 + 5},       // the end clamped to frame 24
      {"Loop(-1, 24, 24)", 24 + 10000000}, // "endless": ten million times
      {"Loop()", 25LL * 10000000},
      {"Loop().Loop(10)", std::numeric_limits<int>::max()}, // 2.5 * 10^9 frames, capped
  };
  for (const auto &c : cases) {
    ClipPtr clip = Open(c.call);
    EXPECT_EQ(clip->info().frameCount, c.frames) << c.call;
    EXPECT_EQ(clip->info().rateNum, 25) << c.call;
  }
  // Loop(3, 5, 9): 0..4, then 5..9 three times (frames 5..19), then 10.. at 20.
  ClipPtr loop = Open("Loop(3, 5, 9)");
  for (auto [n, from] : {std::pair{4, 4}, {5, 5}, {12, 7}, {19, 9}, {20, 10}, {34, 24}})
    EXPECT_TRUE(Same(*loop->frame(n), *src->frame(from))) << "frame " << n;
  EXPECT_TRUE(Same(*Open("Loop(0, 5, 9)")->frame(5), *src->frame(10)));
  EXPECT_TRUE(Same(*Open("Loop()")->frame(249999998), *src->frame(249999998 % 25)));
}

TEST_F(CoreFilters, TurnsMoveEveryPixelAndUndoEachOther) {
  const int W = 720, H = 576;
  FramePtr src = Open("")->frame(3);
  FramePtr left = Open("TurnLeft()")->frame(3), right = Open("TurnRight()")->frame(3);
  FramePtr half = Open("Turn180()")->frame(3), mirror = Open("FlipHorizontal()")->frame(3);
  ASSERT_EQ(left->width, H);
  ASSERT_EQ(left->height, W);
  // Left: output (x, y) shows source (W-1-y, x); right: (y, H-1-x); half
  // turn: (W-1-x, H-1-y); mirror: (W-1-x, y). YV12 chroma turns as a plane
  // of 360x288 samples the same way.
  for (auto [x, y] : {std::pair{0, 0}, {17, 400}, {575, 719}, {300, 5}}) {
    EXPECT_EQ(left->row(0, y)[x], src->row(0, x)[W - 1 - y]);
    EXPECT_EQ(right->row(0, y)[x], src->row(0, H - 1 - x)[y]);
    EXPECT_EQ(left->row(1, y / 2)[x / 2], src->row(1, x / 2)[W / 2 - 1 - y / 2]);
    EXPECT_EQ(right->row(2, y / 2)[x / 2], src->row(2, H / 2 - 1 - x / 2)[y / 2]);
    const int tx = y, ty = x % H; // a point of the unturned picture
    EXPECT_EQ(half->row(0, ty)[tx], src->row(0, H - 1 - ty)[W - 1 - tx]);
    EXPECT_EQ(mirror->row(0, ty)[tx], src->row(0, ty)[W - 1 - tx]);
  }
  // Round trips give the input exactly in every format; YUY2 and YV16 only
  // for the half turn and the mirror, as their quarter turns average chroma.
  const struct {
    const char *format;
    bool exactQuarterTurns;
  } formats[] = {{"", true},          {"ConvertToYV24()", true},  {"ConvertToY8()", true},
                 {"ConvertToRGB24()", true}, {"ConvertToRGB32()", true}, {"ConvertToYUY2()", false},
                 {"ConvertToYV16()", false}};
  for (const auto &[fmt, exactQuarterTurns] : formats) {
    FramePtr in = Open(fmt)->frame(3);
    const std::string base = std::string(fmt) + "\n";
    EXPECT_TRUE(Same(*Open(base + "Turn180().Turn180()")->frame(3), *in)) << fmt;
    EXPECT_TRUE(Same(*Open(base + "FlipHorizontal().FlipHorizontal()")->frame(3), *in)) << fmt;
    EXPECT_TRUE(Same(*Open(base + "FlipHorizontal().FlipVertical()")->frame(3), *Open(base + "Turn180()")->frame(3)))
        << fmt;
    if (!exactQuarterTurns)
      continue;
    EXPECT_TRUE(Same(*Open(base + "TurnLeft().TurnRight()")->frame(3), *in)) << fmt;
    EXPECT_TRUE(Same(*Open(base + "TurnLeft().TurnLeft()")->frame(3), *Open(base + "Turn180()")->frame(3))) << fmt;
  }
}

TEST_F(CoreFilters, QuarterTurnsOfHalfWidthChromaAverageSamplePairsAndNeedAnEvenHeight) {
  const int H = 576;
  FramePtr yuy2 = Open("ConvertToYUY2()")->frame(0);
  FramePtr turned = Open("ConvertToYUY2().TurnRight()")->frame(0);
  // Output pixels 2k and 2k+1 of row y come from source rows H-1-2k and
  // H-2-2k at column y, whose U sits in byte 4 * (y / 2) + 1 of each row.
  for (auto [k, y] : {std::pair{0, 0}, {100, 333}, {287, 719}}) {
    const int a = yuy2->row(0, H - 1 - 2 * k)[4 * (y / 2) + 1], b = yuy2->row(0, H - 2 - 2 * k)[4 * (y / 2) + 1];
    EXPECT_EQ(turned->row(0, y)[4 * k + 1], (a + b + 1) >> 1) << k << "," << y;
    EXPECT_EQ(turned->row(0, y)[2 * (2 * k)], yuy2->row(0, H - 1 - 2 * k)[2 * y]);
  }
  EXPECT_NE(ErrorOf("ConvertToYUY2().Crop(0, 0, 0, -1).TurnLeft()").find("TurnLeft: a YUY2 clip needs an even height"),
            std::string::npos);
  EXPECT_EQ(Open("ConvertToYV16().Crop(0, 0, 0, -2).TurnRight()")->info().width, 574);
}

TEST_F(CoreFilters, ReduceBy2HalvesWithTheOneTwoOneKernel) {
  FramePtr src = Open("")->frame(2);
  ClipPtr h = Open("HorizontalReduceBy2()"), v = Open("VerticalReduceBy2()"), both = Open("ReduceBy2()");
  EXPECT_EQ(h->info().width, 360);
  EXPECT_EQ(v->info().height, 288);
  EXPECT_EQ(both->info().width, 360);
  EXPECT_EQ(both->info().height, 288);
  EXPECT_EQ(both->info().frameCount, 25);
  // Sample i is (s[2i] + 2 s[2i+1] + s[2i+2] + 2) / 4; past the last sample
  // the last one repeats. Chroma planes (360x288) the same way.
  auto k121 = [](int a, int b, int c) { return (a + 2 * b + c + 2) >> 2; };
  const std::uint8_t *row = src->row(0, 40);
  FramePtr hf = h->frame(2), vf = v->frame(2);
  EXPECT_EQ(hf->row(0, 40)[0], k121(row[0], row[1], row[2]));
  EXPECT_EQ(hf->row(0, 40)[100], k121(row[200], row[201], row[202]));
  EXPECT_EQ(hf->row(0, 40)[359], k121(row[718], row[719], row[719]));
  EXPECT_EQ(hf->row(1, 7)[179], k121(src->row(1, 7)[358], src->row(1, 7)[359], src->row(1, 7)[359]));
  EXPECT_EQ(vf->row(0, 287)[9], k121(src->row(0, 574)[9], src->row(0, 575)[9], src->row(0, 575)[9]));
  EXPECT_EQ(vf->row(2, 10)[9], k121(src->row(2, 20)[9], src->row(2, 21)[9], src->row(2, 22)[9]));
  EXPECT_TRUE(Same(*both->frame(2), *Open("HorizontalReduceBy2().VerticalReduceBy2()")->frame(2)));
  // RGB rows run bottom up where the kernel was made: row i is centred on 2i.
  FramePtr rgb = Open("ConvertToRGB32()")->frame(2), rv = Open("ConvertToRGB32().VerticalReduceBy2()")->frame(2);
  EXPECT_EQ(rv->row(0, 0)[1], k121(rgb->row(0, 0)[1], rgb->row(0, 0)[1], rgb->row(0, 1)[1]));
  EXPECT_EQ(rv->row(0, 50)[6], k121(rgb->row(0, 99)[6], rgb->row(0, 100)[6], rgb->row(0, 101)[6]));
  // Sizes that would split a chroma sample are refused.
  EXPECT_NE(ErrorOf("Crop(0, 0, -2, 0).HorizontalReduceBy2()").find("multiple of 4"), std::string::npos);
  EXPECT_NE(ErrorOf("ConvertToYUY2().Crop(0, 0, -2, 0).ReduceBy2()").find("multiple of 4"), std::string::npos);
  EXPECT_EQ(Open("ConvertToYUY2().Crop(0, 0, 0, -2).VerticalReduceBy2()")->info().height, 287);
}

TEST_F(CoreFilters, DoubleWeaveJoinsEveryNeighbouringPairOfFields) {
  ClipPtr src = Open("");
  ClipPtr dw = Open("DoubleWeave()");
  EXPECT_EQ(dw->info().frameCount, 50); // 50 fields, one frame each
  EXPECT_EQ(dw->info().rateNum, 50);
  EXPECT_EQ(dw->info().height, 576);
  EXPECT_FALSE(dw->info().fieldBased);
  ClipPtr fromFields = Open("SeparateFields().DoubleWeave()");
  EXPECT_EQ(fromFields->info().frameCount, 50);
  EXPECT_EQ(fromFields->info().rateNum, 50);
  // Frame 0: fields 0 and 1, the source's frame 0. Frame 1: the bottom field
  // of frame 0 and the top field of frame 1, each on its own rows.
  FramePtr f0 = src->frame(0), f1 = src->frame(1), d1 = dw->frame(1);
  EXPECT_TRUE(Same(*dw->frame(0), *f0));
  EXPECT_TRUE(Same(*dw->frame(4), *src->frame(2)));
  for (int y : {0, 1, 200, 575})
    EXPECT_EQ(0, std::memcmp(d1->row(0, y), (y & 1 ? f0 : f1)->row(0, y), 720)) << "row " << y;
  // Weave is DoubleWeave followed by SelectEven.
  EXPECT_TRUE(Same(*Open("SeparateFields().Weave()")->frame(6),
                   *Open("SeparateFields().DoubleWeave().SelectEven()")->frame(6)));
}

TEST_F(CoreFilters, SplicesJoinAnyNumberOfClips) {
  ClipPtr src = Open("");
  ClipPtr three = Open("UnalignedSplice(Trim(0, 4), Trim(10, 11), Trim(20, 0))");
  EXPECT_EQ(three->info().frameCount, 5 + 2 + 5);
  EXPECT_TRUE(Same(*three->frame(6), *src->frame(11)));
  EXPECT_TRUE(Same(*three->frame(7), *src->frame(20)));
  ClipPtr four = Open("AlignedSplice(Trim(0, -1), Trim(1, -1), Trim(2, -1), Trim(3, -1))");
  EXPECT_EQ(four->info().frameCount, 4);
  EXPECT_TRUE(Same(*four->frame(3), *src->frame(3)));
  EXPECT_NE(ErrorOf("a = last\nAlignedSplice(a, a, a.Crop(0, 0, -16, 0))").find("AlignedSplice: the clips differ"),
            std::string::npos);
  EXPECT_NE(ErrorOf("UnalignedSplice(last)").find("at least two clips"), std::string::npos);
  // All of them are the engine's own: nothing is left out of the preview.
  const script::ScriptResult all = Run("Loop(2, 0, 3).TurnLeft().TurnRight().Turn180().FlipHorizontal()\n"
                                       "ReduceBy2().HorizontalReduceBy2().VerticalReduceBy2().DoubleWeave()\n"
                                       "AlignedSplice(last, last, last)");
  EXPECT_TRUE(all.notes.notPreviewed.empty());
  EXPECT_TRUE(all.notes.approximated.empty());
  EXPECT_EQ(all.clip->info().frameCount, 3 * 2 * (25 + 4));
}

TEST_F(CoreFilters, OverlayArithmeticModesWorkOnFullRangeSamples) {
  FramePtr src = Open("")->frame(4);
  auto over = [](const char *colour, const char *mode) {
    return std::string("Overlay(last, BlankClip(last, color_yuv=") + colour + "), mode=\"" + mode + "\")";
  };
  FramePtr add = Open(over("$289080", "Add"))->frame(4), sub = Open(over("$289080", "Subtract"))->frame(4);
  FramePtr mul = Open(over("$808080", "Multiply"))->frame(4), exc = Open(over("$FF8080", "Exclusion"))->frame(4);
  FramePtr excBlack = Open(over("$008080", "Exclusion"))->frame(4);
  // Overlay Y 40, U 144, V 128. Add: Y + 40, U + (144 - 128); Subtract: Y - 40,
  // U - 16. Multiply by Y 128: Y * 128 / 255 rounded. Exclusion with white
  // (255) inverts: 255 - Y; with black (0) keeps Y. Chroma is the base's for
  // these two. Where luma goes past 255 the chroma of its sample turns towards
  // grey, so chroma is checked where all four luma samples stay in range.
  for (auto [x, y] : {std::pair{10, 10}, {360, 288}, {700, 500}, {123, 457}}) {
    const int by = src->row(0, y)[x], bu = src->row(1, y / 2)[x / 2], bv = src->row(2, y / 2)[x / 2];
    EXPECT_EQ(add->row(0, y)[x], std::min(255, by + 40)) << x << "," << y;
    EXPECT_EQ(sub->row(0, y)[x], std::max(0, by - 40));
    EXPECT_EQ(mul->row(0, y)[x], (by * 128 + 127) / 255);
    EXPECT_EQ(exc->row(0, y)[x], 255 - by);
    EXPECT_EQ(excBlack->row(0, y)[x], by);
    EXPECT_EQ(mul->row(1, y / 2)[x / 2], bu);
    EXPECT_EQ(exc->row(2, y / 2)[x / 2], bv);
    bool inRange = true;
    for (int k = 0; k < 4; ++k) {
      const int ly = src->row(0, (y & ~1) + (k >> 1))[(x & ~1) + (k & 1)];
      inRange = inRange && ly + 40 <= 255 && ly - 40 >= 0;
    }
    if (inRange) {
      EXPECT_EQ(add->row(1, y / 2)[x / 2], std::min(255, bu + 16));
      EXPECT_EQ(sub->row(1, y / 2)[x / 2], std::max(0, bu - 16));
      EXPECT_EQ(add->row(2, y / 2)[x / 2], bv);
    }
  }
  // Luma past 255 by 16 keeps half its chroma's distance from grey: a white
  // base (235) plus 36 gives 271, so chroma moves (288 - 271) / 32 of the way.
  FramePtr bright = Open("BlankClip(last, color_yuv=$EBC080)\n" + std::string(over("$248080", "Add")))->frame(0);
  EXPECT_EQ(bright->row(0, 0)[0], 255);
  EXPECT_EQ(bright->row(1, 0)[0], (0xC0 * 17 + 128 * 15) >> 5);
  // RGB: each colour adds or subtracts on its own.
  FramePtr rgb = Open("ConvertToRGB32()")->frame(4);
  FramePtr rgbAdd = Open("ConvertToRGB32()\nOverlay(last, BlankClip(last, color=$102030), mode=\"Add\")")->frame(4);
  for (int c = 0; c < 3; ++c)
    EXPECT_EQ(rgbAdd->row(0, 100)[4 * 50 + c], std::min(255, rgb->row(0, 100)[4 * 50 + c] + ((0x102030 >> (8 * c)) & 0xff)))
        << "channel " << c;
}

} // namespace
} // namespace reelwork::engine::test
