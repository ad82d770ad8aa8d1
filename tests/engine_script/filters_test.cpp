// Geometry, frame count, rate, field order and pixels of the filters, built
// through scripts as users write them.

#include <gtest/gtest.h>

#include "engine/filters/filter_base.h"
#include "engine/filters/filters.h"
#include "script_fixture.h"

namespace reelwork::engine::test {
namespace {

const std::string kSource = "mpeg2source(\"movie.d2v\")\n";

struct Shape {
  int width, height, frames, rateNum, rateDen;
  bool fieldBased;
};

void ExpectShape(const ClipPtr &c, const Shape &s, const std::string &what) {
  const ClipInfo &vi = c->info();
  EXPECT_EQ(vi.width, s.width) << what;
  EXPECT_EQ(vi.height, s.height) << what;
  EXPECT_EQ(vi.frameCount, s.frames) << what;
  EXPECT_EQ(vi.rateNum, s.rateNum) << what;
  EXPECT_EQ(vi.rateDen, s.rateDen) << what;
  EXPECT_EQ(vi.fieldBased, s.fieldBased) << what;
}

TEST(FilterShape, EveryGeometryFilterOnPalSource) {
  const struct {
    const char *line;
    Shape shape;
  } cases[] = {
      {"AssumeTFF().SeparateFields()", {720, 288, 200, 50, 1, true}},
      {"SeparateFields().Weave()", {720, 576, 100, 25, 1, false}},
      {"Bob()", {720, 576, 200, 50, 1, false}},
      {"Trim(10,19)", {720, 576, 10, 25, 1, false}},
      {"Trim(10,0)", {720, 576, 90, 25, 1, false}},
      {"Trim(10,-5)", {720, 576, 5, 25, 1, false}},
      {"Trim(95,500)", {720, 576, 5, 25, 1, false}},
      {"SelectEven()", {720, 576, 50, 25, 2, false}},
      {"SelectOdd()", {720, 576, 50, 25, 2, false}},
      {"Decimate(5)", {720, 576, 80, 20, 1, false}},
      {"Decimate(6)", {720, 576, 83, 125, 6, false}},
      {"Crop(8,74,-8,-74)", {704, 428, 100, 25, 1, false}},
      {"Crop(0,0,-0,-0)", {720, 576, 100, 25, 1, false}},
      {"Crop(16,8,640,480)", {640, 480, 100, 25, 1, false}},
      {"BicubicResize(640,352)", {640, 352, 100, 25, 1, false}},
      {"BilinearResize(576,432)", {576, 432, 100, 25, 1, false}},
      {"LanczosResize(512,384)", {512, 384, 100, 25, 1, false}},
      {"Spline36Resize(352,288)", {352, 288, 100, 25, 1, false}},
      {"PointResize(360,288)", {360, 288, 100, 25, 1, false}},
      {"BicubicResize(640,480,0,0.5,8,8,-8,-8)", {640, 480, 100, 25, 1, false}},
      {"ConvertToRGB()", {720, 576, 100, 25, 1, false}},
      {"ConvertToYUY2().ConvertToYV12()", {720, 576, 100, 25, 1, false}},
      {"AssumeFPS(30000,1001)", {720, 576, 100, 30000, 1001, false}},
      {"AddBorders(8,16,8,16)", {736, 608, 100, 25, 1, false}},
      {"ChangeFPS(50)", {720, 576, 200, 50, 1, false}},
      {"StackHorizontal(last, last)", {1440, 576, 100, 25, 1, false}},
      {"StackVertical(last, last.Trim(0,9))", {720, 1152, 100, 25, 1, false}},
      {"DeleteFrame(3).DuplicateFrame(0).FreezeFrame(0,5,9)", {720, 576, 100, 25, 1, false}},
      {"KillAudio().Levels(16,1.0,235,0,255)", {720, 576, 100, 25, 1, false}},
  };
  for (const auto &c : cases)
    ExpectShape(Build(kSource + c.line), c.shape, c.line);
}

TEST(FilterShape, PixelFormatsFollowTheConversions) {
  EXPECT_EQ(Build(kSource + "ConvertToRGB()")->info().format, PixelFormat::RGB32);
  EXPECT_EQ(Build(kSource + "ConvertToRGB24()")->info().format, PixelFormat::RGB24);
  EXPECT_EQ(Build(kSource + "ConvertToRGB32()")->info().format, PixelFormat::RGB32);
  EXPECT_EQ(Build(kSource + "ConvertToYUY2()")->info().format, PixelFormat::YUY2);
  EXPECT_EQ(Build(kSource + "ConvertToRGB24().ConvertToRGB()")->info().format, PixelFormat::RGB24);
  EXPECT_EQ(Build(kSource + "ConvertToYUY2().ConvertToYV12()")->info().format, PixelFormat::YV12);
}

TEST(FilterShape, RatesStayExactFractionsInLowestTerms) {
  // NTSC film: 30000/1001 decimated by 5 is 24000/1001; separated it is 60000/1001.
  FakeSource ntsc;
  ntsc.height = 480;
  ntsc.rateNum = 30000;
  ntsc.rateDen = 1001;
  ClipPtr d = RunScript(kSource + "Decimate(5)", &ntsc).clip;
  EXPECT_EQ(d->info().rateNum, 24000);
  EXPECT_EQ(d->info().rateDen, 1001);
  ClipPtr s = RunScript(kSource + "SeparateFields()", &ntsc).clip;
  EXPECT_EQ(s->info().rateNum, 60000);
  EXPECT_EQ(s->info().rateDen, 1001);
  ClipPtr e = RunScript(kSource + "SelectEven().SeparateFields()", &ntsc).clip;
  EXPECT_EQ(e->info().rateNum, 30000);
  EXPECT_EQ(e->info().rateDen, 1001);
}

TEST(FilterShape, SelectCountsOddLengthsAsTheScriptLanguageDoes) {
  ClipPtr even = Build("BlankClip(length=7)\nSelectEven()");
  ClipPtr odd = Build("BlankClip(length=7)\nSelectOdd()");
  EXPECT_EQ(even->info().frameCount, 4);
  EXPECT_EQ(odd->info().frameCount, 3);
}

TEST(FieldOrder, SeparateFieldsPutsTheAssumedFirstFieldFirst) {
  // Rows of frame n have luma n*4+y: the top field holds even rows.
  ClipPtr tff = Build(kSource + "AssumeTFF().SeparateFields()");
  ClipPtr bff = Build(kSource + "AssumeBFF().SeparateFields()");
  EXPECT_EQ(LumaRow(*tff->frame(0), 0), 0);  // frame 0, row 0
  EXPECT_EQ(LumaRow(*tff->frame(1), 0), 1);  // frame 0, row 1
  EXPECT_EQ(LumaRow(*tff->frame(6), 0), 12); // frame 3, row 0
  EXPECT_EQ(LumaRow(*bff->frame(0), 0), 1);
  EXPECT_EQ(LumaRow(*bff->frame(1), 0), 0);
  EXPECT_EQ(LumaRow(*tff->frame(0), 3), 6); // field row 3 is frame row 6
}

TEST(FieldOrder, ComplementParityTurnsTheOrderAround) {
  ClipPtr c = Build(kSource + "AssumeTFF().ComplementParity().SeparateFields()");
  EXPECT_EQ(LumaRow(*c->frame(0), 0), 1);
  ClipPtr swapped = Build(kSource + "SwapFields()");
  EXPECT_EQ(LumaRow(*swapped->frame(0), 0), 1);
  EXPECT_EQ(LumaRow(*swapped->frame(0), 1), 0);
}

TEST(FieldOrder, WeaveRebuildsTheFramesSeparateFieldsTookApart) {
  for (const char *order : {"AssumeTFF()", "AssumeBFF()"}) {
    ClipPtr c = Build(kSource + order + ".SeparateFields().Weave()");
    FramePtr f = c->frame(7);
    for (int y = 0; y < 8; ++y)
      EXPECT_EQ(LumaRow(*f, y), 7 * 4 + y) << order << " row " << y;
  }
}

TEST(FieldOrder, ParityFollowsFieldsThroughTrimAndAssume) {
  ClipPtr fields = Build(kSource + "AssumeTFF().SeparateFields()");
  auto *pc = dynamic_cast<const filters::ParityClip *>(fields.get());
  ASSERT_NE(pc, nullptr);
  EXPECT_TRUE(filters::TopFieldOf(*fields, 0));
  EXPECT_FALSE(filters::TopFieldOf(*fields, 1));
  // Trimming an odd number of fields makes the bottom field come first.
  ClipPtr trimmed = Build(kSource + "AssumeTFF().SeparateFields().Trim(1,0)");
  EXPECT_FALSE(filters::TopFieldOf(*trimmed, 0));
  EXPECT_EQ(trimmed->info().parity, FieldParity::Bottom);
  ClipPtr rewoven = Build(kSource + "AssumeTFF().SeparateFields().Trim(1,0).Weave()");
  FramePtr f = rewoven->frame(0); // bottom of frame 0 with the top of frame 1
  EXPECT_EQ(LumaRow(*f, 1), 1);
  EXPECT_EQ(LumaRow(*f, 0), 4);
}

TEST(FieldOrder, BobKeepsEachFieldOnItsOwnRows) {
  ClipPtr c = Build(kSource + "AssumeTFF().Bob()");
  FramePtr top = c->frame(4);    // frame 2, top field
  FramePtr bottom = c->frame(5); // frame 2, bottom field
  EXPECT_EQ(LumaRow(*top, 0), 8);
  EXPECT_EQ(LumaRow(*top, 2), 10);
  EXPECT_EQ(LumaRow(*top, 1), 9); // interpolated between rows 0 and 2
  EXPECT_EQ(LumaRow(*bottom, 1), 9);
  EXPECT_EQ(LumaRow(*bottom, 3), 11);
}

TEST(FrameSelection, TrimStartsWithTheFirstFrameAsked) {
  ClipPtr c = Build(kSource + "Trim(10,19)");
  ASSERT_EQ(c->info().frameCount, 10);
  EXPECT_EQ(LumaRow(*c->frame(0), 0), 40);
  EXPECT_EQ(LumaRow(*c->frame(9), 0), 76);
}

TEST(FrameSelection, DeleteAndDuplicateShiftTheFramesAfterThem) {
  EXPECT_EQ(LumaRow(*Build(kSource + "DeleteFrame(3)")->frame(3), 0), 16);
  EXPECT_EQ(LumaRow(*Build(kSource + "DuplicateFrame(3)")->frame(4), 0), 12);
  EXPECT_EQ(LumaRow(*Build(kSource + "FreezeFrame(2,4,9)")->frame(3), 0), 36);
}

TEST(FrameSelection, SelectEvenAndOddTakeAlternateFrames) {
  EXPECT_EQ(LumaRow(*Build(kSource + "SelectEven()")->frame(3), 0), 24);
  EXPECT_EQ(LumaRow(*Build(kSource + "SelectOdd()")->frame(3), 0), 28);
}

TEST(FrameSelection, DecimateDropsTheRepeatedFrameOfEachCycle) {
  // A telecined-like clip: frame 3 of every cycle of five repeats frame 2.
  ClipPtr base = std::make_shared<NumberedClip>(64, 48, 20, 30000, 1001, FieldParity::Top);
  struct Repeat : Clip {
    ClipPtr child;
    const ClipInfo &info() const override { return child->info(); }
    FramePtr frame(int n) override { return child->frame(n % 5 == 3 ? n - 1 : n); }
  };
  auto rep = std::make_shared<Repeat>();
  rep->child = base;
  ClipPtr d = filters::MakeDecimate(rep, 5);
  ASSERT_EQ(d->info().frameCount, 16);
  const int expected[8] = {0, 1, 2, 4, 5, 6, 7, 9};
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(LumaRow(*d->frame(i), 0), expected[i] * 4) << "output frame " << i;
}

TEST(CropPixels, CropTakesTheRectangleItNames) {
  ClipPtr c = Build(kSource + "Crop(8,74,-8,-74)");
  FramePtr f = c->frame(1);
  EXPECT_EQ(LumaRow(*f, 0), (4 + 74) & 255);
  EXPECT_EQ(f->row(1, 0)[0], 1); // chroma follows
}

// ---- visible effects ---------------------------------------------------------

int MeanLuma(const Frame &f) {
  long long sum = 0;
  for (int y = 0; y < f.height; ++y)
    for (int x = 0; x < f.width; ++x)
      sum += f.row(0, y)[x];
  return static_cast<int>(sum / (static_cast<long long>(f.width) * f.height));
}

TEST(ColourFilters, DefaultsWrittenIntoScriptsLeaveThePictureAlone) {
  const std::string gray = "BlankClip(length=3, width=64, height=48, pixel_type=\"YV12\", color=$808080)\n";
  FramePtr ref = Build(gray)->frame(0);
  for (const char *line : {"Tweak(0,1.0,0,1.0)", "ColorYUV(cont_y=0, cont_u=0, cont_v=0)"}) {
    FramePtr f = Build(gray + line)->frame(0);
    EXPECT_EQ(f->planes, ref->planes) << line;
  }
  FramePtr rgb = Build(gray + "ConvertToRGB()")->frame(0);
  FramePtr adjusted = Build(gray + "ConvertToRGB()\nRGBAdjust(1.0,1.0,1.0,0)")->frame(0);
  for (int x = 0; x < 3; ++x) // alpha is multiplied by 0, colour kept
    EXPECT_EQ(adjusted->row(0, 5)[x], rgb->row(0, 5)[x]);
}

TEST(ColourFilters, TweakChangesBrightnessContrastAndSaturation) {
  const std::string src = "BlankClip(length=1, width=32, height=32, pixel_type=\"YV12\", color_yuv=$7EA060)\n";
  EXPECT_EQ(MeanLuma(*Build(src + "Tweak(bright=20)")->frame(0)), 0x7E + 20);
  EXPECT_EQ(MeanLuma(*Build(src + "Tweak(cont=0.5)")->frame(0)), (0x7E - 16) / 2 + 16);
  FramePtr grey = Build(src + "Tweak(sat=0)")->frame(0);
  EXPECT_EQ(grey->row(1, 0)[0], 128);
  EXPECT_EQ(grey->row(2, 0)[0], 128);
  // Turning the hue by 180 degrees mirrors the chroma around 128.
  FramePtr turned = Build(src + "Tweak(hue=180)")->frame(0);
  EXPECT_EQ(turned->row(1, 0)[0], 256 - 0xA0);
  EXPECT_EQ(turned->row(2, 0)[0], 256 - 0x60);
}

TEST(ColourFilters, ColorYuvAndRgbAdjustChangeTheirChannels) {
  const std::string src = "BlankClip(length=1, width=32, height=32, pixel_type=\"YUY2\", color_yuv=$646464)\n";
  FramePtr off = Build(src + "ColorYUV(off_y=10, gain_u=256)")->frame(0);
  EXPECT_EQ(off->row(0, 0)[0], 110);
  EXPECT_EQ(off->row(0, 0)[1], 200);
  EXPECT_EQ(off->row(0, 0)[3], 100);
  const std::string rgb = "BlankClip(length=1, width=8, height=8, color=$406080)\n";
  FramePtr a = Build(rgb + "RGBAdjust(2.0,1.0,0.5)")->frame(0);
  EXPECT_EQ(a->row(0, 0)[2], 0x80); // red doubled
  EXPECT_EQ(a->row(0, 0)[1], 0x60);
  EXPECT_EQ(a->row(0, 0)[0], 0x40); // blue halved
}

// Left half luma 32, right half 192.
struct EdgeClip : Clip {
  ClipInfo vi;
  EdgeClip() {
    vi.width = 16;
    vi.height = 8;
    vi.frameCount = 1;
  }
  const ClipInfo &info() const override { return vi; }
  FramePtr frame(int) override {
    auto f = std::make_shared<Frame>();
    f->allocate(PixelFormat::YV12, vi.width, vi.height);
    for (int y = 0; y < vi.height; ++y)
      for (int x = 0; x < vi.width; ++x)
        f->row(0, y)[x] = x < 8 ? 32 : 192;
    return f;
  }
};

TEST(ColourFilters, SharpenOvershootsEdgesAndBlurSoftensThem) {
  ClipPtr edge = std::make_shared<EdgeClip>();
  FramePtr sharp = filters::MakeSharpen(edge, 1.0, 1.0, false, "Sharpen")->frame(0);
  EXPECT_LT(sharp->row(0, 4)[7], 32);
  EXPECT_GT(sharp->row(0, 4)[8], 192);
  EXPECT_EQ(sharp->row(0, 4)[2], 32); // flat areas stay
  FramePtr soft = filters::MakeSharpen(edge, 1.0, 1.0, true, "Blur")->frame(0);
  EXPECT_EQ(soft->row(0, 4)[7], 72); // 32/4 + 32/2 + 192/4
  // A linear ramp (rows of the numbered source) passes unchanged inside.
  EXPECT_EQ(LumaRow(*Build(kSource + "Sharpen(0.25)")->frame(10), 20), 60);
}

TEST(ColourFilters, LevelsStretchesAndBordersAreFilled) {
  const std::string src = "BlankClip(length=1, width=32, height=32, color=$404040)\n";
  FramePtr l = Build(src + "Levels(64, 1.0, 192, 0, 255)")->frame(0);
  EXPECT_EQ(l->row(0, 0)[1], 0);
  FramePtr b = Build(src + "AddBorders(2, 4, 6, 8, $FF0000)")->frame(0);
  ASSERT_EQ(b->width, 40);
  EXPECT_EQ(b->row(0, 0)[2], 255);       // red border
  EXPECT_EQ(b->row(0, 4)[2 * 4 + 2], 0x40); // picture at (2, 4)
}

TEST(ColourFilters, ConversionKeepsColoursWithinRounding) {
  const std::string src = "BlankClip(length=1, width=16, height=16, color=$C08040)\n";
  FramePtr back = Build(src + "ConvertToYV12().ConvertToRGB32()")->frame(0);
  EXPECT_NEAR(back->row(0, 3)[2], 0xC0, 2);
  EXPECT_NEAR(back->row(0, 3)[1], 0x80, 2);
  EXPECT_NEAR(back->row(0, 3)[0], 0x40, 2);
  FramePtr yuv = Build("BlankClip(length=1, width=16, height=16, pixel_type=\"YV12\", color=$FFFFFF)")->frame(0);
  EXPECT_EQ(yuv->row(0, 0)[0], 235); // studio white
}

} // namespace
} // namespace reelwork::engine::test
