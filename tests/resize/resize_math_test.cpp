#include <gtest/gtest.h>

#include "resize/resize_math.h"

using namespace reelwork::resize;

namespace {

IdealFn Source(int type, int aspectItem, CropAmounts crop = {}) {
  const SourceSize s = SourceSizeOf(type);
  const float a = AspectValueOf(aspectItem);
  return [=](int x) { return SourceIdealHeight(x, s.width, s.height, a, crop); };
}

IdealFn Manual(const QString &tv, int sourceHeight, int aspectCode, CropAmounts crop = {}) {
  const ManualSource s = ManualSourceOf(tv, sourceHeight, aspectCode);
  return [=](int x) { return SourceIdealHeight(x, s.width, s.height, s.aspect, crop); };
}

IdealFn Proportion(double xPart, double yPart) {
  return [=](int x) { return ProportionIdealHeight(x, xPart, yPart); };
}

AutoSize Auto(const IdealFn &ideal, int frames, float rate, QString width = "640", QString quality = "0.225") {
  return ChooseAutoWidth(ideal, width, quality, frames, rate);
}

} // namespace

TEST(ResizeHeights, MidpointsFollowTheSinglePrecisionValues) {
  const IdealFn pal43 = Source(0, 0);
  EXPECT_EQ(CalcHeight(pal43, 640), 480);
  // 455.99997 lies just below the midpoint 456: the 4:3 value is slightly above 4/3.
  EXPECT_LT(*pal43(608), 456.0f);
  EXPECT_EQ(CalcHeight(pal43, 608), 448);
  // Exactly 504 is a tie between 512 and 496; the larger one wins.
  EXPECT_EQ(*pal43(672), 504.0f);
  EXPECT_EQ(CalcHeight(pal43, 672), 512);

  // The manual dialog's 1.33333 is slightly below 4/3: 456.001 snaps up.
  const IdealFn manual = Manual("PAL", 0, 2);
  EXPECT_GT(*manual(608), 456.0f);
  EXPECT_EQ(CalcHeight(manual, 608), 464);
}

TEST(ResizeHeights, CropAndAspectExamples) {
  const IdealFn cropped = Source(0, 2, {8, 72, 8, 72});
  EXPECT_NEAR(*cropped(640), 277.35, 0.01);
  EXPECT_EQ(CalcHeight(cropped, 640), 272);
  const RatioDisplay shown = RatioFor(640, 272, cropped(640));
  EXPECT_EQ(shown.ratio, "2.35294127464294");
  EXPECT_NEAR(shown.error.toDouble(), 1.93, 0.01);
  EXPECT_FALSE(shown.red);

  const IdealFn film = Source(0, 3);
  EXPECT_NEAR(*film(640), 345.95, 0.01);
  EXPECT_EQ(CalcHeight(film, 640), 352);
  EXPECT_NEAR(RatioFor(640, 352, film(640)).error.toDouble(), 1.75, 0.01);

  // Both source types are 720 wide: only a vertical crop tells them apart.
  EXPECT_EQ(CalcHeight(Source(0, 3), 640), CalcHeight(Source(1, 3), 640));
  EXPECT_NE(*Source(0, 3, {0, 40, 0, 40})(640), *Source(1, 3, {0, 40, 0, 40})(640));
}

TEST(ResizeHeights, NearestHeightTable) {
  EXPECT_EQ(NearestHeight(0), 192);
  EXPECT_EQ(NearestHeight(199.99f), 192);
  EXPECT_EQ(NearestHeight(200), 208); // a midpoint goes to the larger height
  EXPECT_EQ(NearestHeight(1527), 528);
  // Nothing within 1000: the nearer end of the table instead of no height.
  EXPECT_EQ(NearestHeight(1528), 528);
  EXPECT_EQ(NearestHeight(1e30f), 528);
  EXPECT_EQ(NearestHeight(-900), 192);
  EXPECT_EQ(NearestHeight(-5000), 192);
}

TEST(ResizeQuality, LongVideosLowerTheWidthAtMostTwice) {
  // 150000 frames at 25 fps: 6000 s, about 1495.36 kbit/s for the picture.
  EXPECT_NEAR(*FrameQuality(640, 480, 150000, 25), 0.1947, 0.0005);
  EXPECT_NEAR(*FrameQuality(608, 448, 150000, 25), 0.2196, 0.0005);
  const IdealFn pal43 = Source(0, 0);
  AutoSize size = Auto(pal43, 150000, 25);
  EXPECT_EQ(size.width, 576);
  EXPECT_EQ(size.height, 432);

  EXPECT_NEAR(*FrameQuality(640, 480, 180000, 25), 0.153, 0.001);
  size = Auto(pal43, 180000, 25);
  EXPECT_EQ(size.width, 576);
  EXPECT_EQ(size.height, 432);

  EXPECT_NEAR(*FrameQuality(640, 480, 120000, 25), 0.258, 0.001);
  size = Auto(pal43, 120000, 25);
  EXPECT_EQ(size.width, 640);
  EXPECT_EQ(size.height, 480);

  // Exact proportion 720:576: 640x512 and 608x480 fall short, 576x464 is taken.
  size = Auto(Proportion(720, 576), 150000, 25);
  EXPECT_EQ(size.width, 576);
  EXPECT_EQ(size.height, 464);

  // Manual, 4:3 PAL: 640x480 (0.195) and 608x464 (0.212) fall short.
  EXPECT_NEAR(*FrameQuality(608, 464, 150000, 25), 0.212, 0.001);
  size = Auto(Manual("PAL", 0, 2), 150000, 25);
  EXPECT_EQ(size.width, 576);
  EXPECT_EQ(size.height, 432);
}

TEST(ResizeQuality, SettingsOutsideTheirSetsAreIgnored) {
  EXPECT_EQ(StartWidth("480"), 640);
  EXPECT_EQ(StartWidth("650"), 640);
  EXPECT_EQ(StartWidth("703.6"), 704);
  EXPECT_EQ(StartWidth("608.5"), 608); // halves to even
  EXPECT_EQ(StartWidth("672 "), 640);  // a trailing blank does not parse
  EXPECT_EQ(StartWidth(""), 640);
  EXPECT_EQ(StartWidth("1e30"), 640);
  EXPECT_FLOAT_EQ(QualityThreshold("0.4"), 0.225f);
  EXPECT_FLOAT_EQ(QualityThreshold("0.1"), 0.225f);
  EXPECT_FLOAT_EQ(QualityThreshold("0,2"), 0.225f);
  EXPECT_FLOAT_EQ(QualityThreshold("0.15"), 0.15f);
  EXPECT_FLOAT_EQ(QualityThreshold("0.35"), 0.35f);

  // A start of 704 for 4:3 PAL: 704x528 passes at 100000 frames.
  const AutoSize wide = Auto(Source(0, 0), 100000, 25, "704");
  EXPECT_EQ(wide.width, 704);
  EXPECT_EQ(wide.height, 528);
  // A lower threshold keeps 640 where the default would step down.
  EXPECT_EQ(Auto(Source(0, 0), 150000, 25, "640", "0.15").width, 640);
}

TEST(ResizeQuality, NoDivisionByZero) {
  // Shorter than half a second, no rate, or an empty size: no estimate.
  EXPECT_FALSE(FrameQuality(640, 480, 12, 25));
  EXPECT_TRUE(FrameQuality(640, 480, 13, 25));
  EXPECT_FALSE(FrameQuality(640, 480, 1000, 0));
  EXPECT_FALSE(FrameQuality(640, 0, 1000, 25));
  // Without an estimate the starting width stays.
  EXPECT_EQ(Auto(Source(0, 0), 0, 0).width, 640);
  EXPECT_EQ(Auto(Source(0, 0), 10, 25, "704").width, 704);

  // A user aspect of 0, an X part of 0, a width of 0: no ideal height.
  const SourceSize pal = SourceSizeOf(0);
  EXPECT_FALSE(SourceIdealHeight(640, pal.width, pal.height, 0.0f, {}));
  EXPECT_FALSE(SourceIdealHeight(0, pal.width, pal.height, 1.85f, {}));
  EXPECT_FALSE(SourceIdealHeight(640, pal.width, pal.height, 1.85f, {360, 0, 360, 0}));
  EXPECT_FALSE(ProportionIdealHeight(640, 0, 576));
  AutoSize none = Auto(Proportion(0, 576), 150000, 25);
  EXPECT_EQ(none.width, 640);
  EXPECT_FALSE(none.height);
  // A Y part of 0 gives an ideal of 0: Y snaps to 192, the error is undefined.
  EXPECT_EQ(*ProportionIdealHeight(640, 720, 0), 0.0f);
  EXPECT_EQ(CalcHeight(Proportion(720, 0), 640), 192);
  EXPECT_EQ(RatioFor(640, 192, 0.0f).error, "-");
  EXPECT_EQ(RatioFor(640, 0, 480.0f).ratio, "-");
  EXPECT_EQ(RatioFor(640, 480, std::nullopt).error, "-");
}

TEST(ResizeExact, ProportionExamples) {
  const IdealFn pal = Proportion(720, 576);
  EXPECT_EQ(CalcHeight(pal, 640), 512);
  RatioDisplay shown = RatioFor(640, 512, pal(640));
  EXPECT_EQ(shown.ratio, "1.25");
  EXPECT_EQ(shown.error, "0");

  const IdealFn ntsc = Proportion(720, 480);
  EXPECT_NEAR(*ntsc(640), 426.67, 0.01);
  EXPECT_EQ(CalcHeight(ntsc, 640), 432);
  shown = RatioFor(640, 432, ntsc(640));
  EXPECT_NEAR(shown.error.toDouble(), 1.25, 0.01);
  EXPECT_FALSE(shown.red);

  const IdealFn scope = Proportion(235, 100);
  EXPECT_NEAR(*scope(640), 272.34, 0.01);
  EXPECT_EQ(CalcHeight(scope, 640), 272);
  EXPECT_NEAR(RatioFor(640, 272, scope(640)).error.toDouble(), 0.125, 0.001);

  // Above the table: 563.2 snaps to 528, and the error is shown red.
  EXPECT_EQ(CalcHeight(pal, 704), 528);
  shown = RatioFor(704, 528, pal(704));
  EXPECT_NEAR(shown.error.toDouble(), 6.25, 0.01);
  EXPECT_TRUE(shown.red);

  // One step of the X part: 511.29 still snaps to 512 with a small error.
  const IdealFn stepped = Proportion(721, 576);
  EXPECT_NEAR(*stepped(640), 511.29, 0.01);
  EXPECT_EQ(CalcHeight(stepped, 640), 512);
  EXPECT_NE(RatioFor(640, 512, stepped(640)).error, "0");
}

TEST(ResizeManual, SourceFromTheScannedFields) {
  EXPECT_EQ(ManualSourceOf("", 576, 3).height, 576);
  EXPECT_EQ(ManualSourceOf("", 0, 7).height, 480);

  // Aspect code 0 uses 1.85: uncropped PAL at 640 gives 640 by 352.
  const AutoSize size = Auto(Manual("PAL", 576, 0), 100000, 25);
  EXPECT_EQ(size.width, 640);
  EXPECT_EQ(size.height, 352);
  EXPECT_EQ(RatioFor(640, 352, std::nullopt).ratio, "1.81818187236786");
}

TEST(ResizeDisplay, GeneralNumberFormat) {
  EXPECT_EQ(FormatGeneral(640.0f / 480.0f), "1.33333337306976");
  EXPECT_EQ(FormatGeneral(0.0f), "0");
  EXPECT_EQ(FormatGeneral(640.0f), "640");
  EXPECT_EQ(FormatGeneral(0.0001f), "0.0000999999974737875");
  EXPECT_EQ(FormatGeneral(0.00002f), "0.0000199999994947575");
  EXPECT_EQ(FormatGeneral(0.00001f), "9.99999974737875E-6"); // just below 0.00001
  EXPECT_EQ(FormatGeneral(0.000001f), "9.99999997475243E-7");
  EXPECT_EQ(FormatGeneral(-3.5f), "-3.5");
  EXPECT_EQ(FormatGeneral(1e20f), "1.00000002004088E20");

  // Exactly 2 percent is black, just above is red.
  EXPECT_FALSE(RatioFor(100, 98, 100.0f).red);
  EXPECT_TRUE(RatioFor(100, 97, 100.0f).red);
}

TEST(ResizeConversions, PointAlwaysAndWholeText) {
  double v = 0;
  EXPECT_TRUE(TextToFloat("1.85", v));
  EXPECT_EQ(static_cast<float>(v), 1.85f);
  EXPECT_TRUE(TextToFloat(" 2.35 ", v));
  EXPECT_TRUE(TextToFloat(".5", v));
  EXPECT_EQ(v, 0.5);
  // An empty fraction leaves "1." which is no number; nor is a comma.
  EXPECT_FALSE(TextToFloat("1.", v));
  EXPECT_FALSE(TextToFloat("1,85", v));
  EXPECT_FALSE(TextToFloat("", v));
  EXPECT_FALSE(TextToFloat("1e999", v));
  EXPECT_EQ(NotFloatMessage("1."), "'1.' is not a valid floating point value");

  int i = 0;
  EXPECT_TRUE(TextToInt(" 640", i));
  EXPECT_EQ(i, 640);
  EXPECT_FALSE(TextToInt("640 ", i));
  EXPECT_FALSE(TextToInt("6.4", i));
  EXPECT_FALSE(TextToInt("99999999999", i));
  EXPECT_EQ(NotIntegerMessage("x"), "'x' is not a valid integer value");
}
