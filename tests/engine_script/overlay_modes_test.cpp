// Overlay's light and difference modes, sample by sample: each expectation
// is worked out in the comment beside it from the mode's arithmetic.
//
//   soft light  Y = base + over - 128,  hard light  Y = base + 2*over - 256,
//   both        U = baseU + overU - 128, V likewise;
//   difference  Y = |base - over| + 128, U and V likewise;
//   a weight w < 255 (mask * opacity) moves the base by round(w * (value - base) / 255)
//   (difference: (value * w + base * (255 - w) + 127) / 255);
//   Y above 255 by d (or below 0 by d) moves U and V d/32 of the way to 128,
//   (U * (32 - min(d, 32)) + 128 * min(d, 32)) >> 5, and Y is cut to 0..255.

#include <gtest/gtest.h>

#include "script_fixture.h"

namespace reelwork::engine::test {
namespace {

struct Yuv {
  int y, u, v;
};

// The sample at luma (x, y) with the chroma sample that covers it.
Yuv At(const ClipPtr &c, int x, int y) {
  FramePtr f = c->frame(0);
  if (c->info().format == PixelFormat::YUY2) {
    const std::uint8_t *p = f->row(0, y) + 2 * (x & ~1);
    return {f->row(0, y)[2 * x], p[1], p[3]};
  }
  return {f->row(0, y)[x], f->row(1, y / 2)[x / 2], f->row(2, y / 2)[x / 2]};
}

void ExpectYuv(const ClipPtr &c, int x, int y, Yuv want, const std::string &what) {
  const Yuv got = At(c, x, y);
  EXPECT_EQ(got.y, want.y) << what;
  EXPECT_EQ(got.u, want.u) << what;
  EXPECT_EQ(got.v, want.v) << what;
}

// Base Y 180 U 96 V 74, 16x8; the overlay 8x4 at (4, 2).
std::string Clips(const std::string &type, int overY, int overU, int overV) {
  char over[16];
  std::snprintf(over, sizeof over, "$%02X%02X%02X", overY, overU, overV);
  return "base = BlankClip(length=2, width=16, height=8, pixel_type=\"" + type + "\", color_yuv=$B4604A)\n" +
         "over = BlankClip(length=2, width=8, height=4, pixel_type=\"" + type + "\", color_yuv=" + over + ")\n" +
         "mask = BlankClip(over, color_yuv=$648080)\n";
}

TEST(OverlayLightModes, SoftAndHardLightAddTheOverlaysDifferenceFromGrey) {
  const std::string soft = Clips("YV12", 200, 160, 80);
  ClipPtr c = Build(soft + "Overlay(base, over, 4, 2, mode=\"SoftLight\")");
  // Y 180+200-128 = 252, U 96+160-128 = 128, V 74+80-128 = 26.
  ExpectYuv(c, 4, 2, {252, 128, 26}, "soft light");
  ExpectYuv(c, 11, 5, {252, 128, 26}, "the overlay's last sample");
  ExpectYuv(c, 2, 2, {180, 96, 74}, "left of the overlay");
  ExpectYuv(c, 4, 6, {180, 96, 74}, "below the overlay");

  // Hard light: Y 180+2*200-256 = 324, 36 over: grey chroma, Y 255.
  ExpectYuv(Build(soft + "Overlay(base, over, 4, 2, mode=\"hardlight\")"), 6, 3, {255, 128, 128}, "hard light");

  // Hard light, over Y 170 U 200: Y 180+340-256 = 264, 8 over: U 96+200-128 = 168
  // -> (168*24 + 128*8) >> 5 = 158; V 74+80-128 = 26 -> (26*24 + 1024) >> 5 = 51.
  const std::string hard = Clips("YV12", 170, 200, 80);
  ExpectYuv(Build(hard + "Overlay(base, over, 4, 2, mode=\"HardLight\")"), 6, 3, {255, 158, 51}, "overbright");
  // The same in YUY2.
  ExpectYuv(Build(Clips("YUY2", 170, 200, 80) + "Overlay(base, over, 4, 2, mode=\"HardLight\")"), 6, 3,
            {255, 158, 51}, "overbright, YUY2");
  // Soft light on a dark base, Y 20: 20+100-128 = -8, 8 under: U 168 -> 158, V 26 -> 51, Y 0.
  ExpectYuv(Build(Clips("YV12", 100, 200, 80) + "base = BlankClip(base, color_yuv=$14604A)\n" +
                  "Overlay(base, over, 4, 2, mode=\"SoftLight\")"),
            6, 3, {0, 158, 51}, "superdark");
}

TEST(OverlayLightModes, OpacityAndMaskWeighTheChange) {
  const std::string soft = Clips("YV12", 200, 160, 80);
  // opacity 0.5 -> w = 128. Y: 180 + round(128*72/255) = 180 + 36 = 216;
  // U: 96 + round(128*32/255) = 96 + 16 = 112; V: 74 - round(128*48/255) = 74 - 24 = 50.
  ExpectYuv(Build(soft + "Overlay(base, over, 4, 2, opacity=0.5, mode=\"SoftLight\")"), 6, 3, {216, 112, 50},
            "half opacity");
  // A mask of luma 100: w = 100. Y: 180 + round(100*72/255) = 180 + 28 = 208;
  // U: 96 + round(100*32/255) = 96 + 13 = 109; V: 74 - round(100*48/255) = 74 - 19 = 55.
  ExpectYuv(Build(soft + "Overlay(base, over, 4, 2, mask=mask, mode=\"SoftLight\")"), 6, 3, {208, 109, 55},
            "mask");
  // Both: w = round(100*128/255) = 50. Y: 180 + round(50*72/255) = 194;
  // U: 96 + round(50*32/255) = 102; V: 74 - round(50*48/255) = 65.
  ExpectYuv(Build(soft + "Overlay(base, over, 4, 2, mask=mask, opacity=0.5, mode=\"SoftLight\")"), 6, 3,
            {194, 102, 65}, "mask and opacity");
  // Opacity 0 leaves the base.
  ExpectYuv(Build(soft + "Overlay(base, over, 4, 2, opacity=0.0, mode=\"HardLight\")"), 6, 3, {180, 96, 74},
            "no opacity");
}

TEST(OverlayLightModes, DifferenceIsTheDistanceFromTheBaseAboveGrey) {
  const std::string clips = Clips("YV12", 200, 160, 80);
  // Y |180-200|+128 = 148, U |96-160|+128 = 192, V |74-80|+128 = 134.
  ExpectYuv(Build(clips + "Overlay(base, over, 4, 2, mode=\"Difference\")"), 6, 3, {148, 192, 134}, "difference");
  // w 128: Y (148*128 + 180*127 + 127) / 255 = 164, U (192*128 + 96*127 + 127) / 255 = 144,
  // V (134*128 + 74*127 + 127) / 255 = 104.
  ExpectYuv(Build(clips + "Overlay(base, over, 4, 2, mode=\"Difference\", opacity=0.5)"), 6, 3, {164, 144, 104},
            "half opacity");
  // Base Y 250, over Y 108: Y 270, 14 over: U 192 -> (192*18 + 128*14) >> 5 = 164,
  // V 134 -> (134*18 + 128*14) >> 5 = 131.
  ExpectYuv(Build(Clips("YV12", 108, 160, 80) + "base = BlankClip(base, color_yuv=$FA604A)\n" +
                  "Overlay(base, over, 4, 2, mode=\"Difference\")"),
            6, 3, {255, 164, 131}, "overbright");
}

TEST(OverlayLightModes, AChromaSampleIsTheMeanOfWhatItsLumaSamplesGiveIt) {
  // Rows alternate Y 180 and 250 (two fields woven); the overlay Y 170 U 200 V 80.
  // Hard light: row 180 -> 264 (8 over): U 158, V 51 as above; row 250 -> 334
  // (all over): U 128, V 128. Each chroma sample covers two of each:
  // U (2*158 + 2*128 + 2) >> 2 = 143, V (2*51 + 2*128 + 2) >> 2 = 90.
  const std::string clips = Clips("YV12", 170, 200, 80) +
                            "bright = BlankClip(base, color_yuv=$FA604A)\n"
                            "base = Interleave(base, bright).AssumeFieldBased().AssumeTFF().Weave()\n";
  ClipPtr c = Build(clips + "Overlay(base, over, 4, 2, mode=\"HardLight\")");
  ExpectYuv(c, 6, 2, {255, 143, 90}, "top row of the block");
  ExpectYuv(c, 6, 3, {255, 143, 90}, "bottom row of the block");
}

} // namespace
} // namespace reelwork::engine::test
