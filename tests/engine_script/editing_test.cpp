// The editing filters: interleaving and range selection, fades, letterboxing,
// the frame-rate changers in all their forms and the runtime filters; and
// arguments that used to overflow.

#include <gtest/gtest.h>

#include "script_fixture.h"

namespace reelwork::engine::test {
namespace {

using script::ScriptResult;

const std::string kSource = "mpeg2source(\"movie.d2v\")\n"; // 720x576, 25 fps, 100 frames

void ExpectCountAndRate(const ClipPtr &c, int frames, int num, int den, const std::string &what) {
  EXPECT_EQ(c->info().frameCount, frames) << what;
  EXPECT_EQ(c->info().rateNum, num) << what;
  EXPECT_EQ(c->info().rateDen, den) << what;
}

// The source frame a picture of the fixture shows, modulo 64 (luma row 0 is
// n*4 & 255).
int Shown(const ClipPtr &c, int n) { return LumaRow(*c->frame(n), 0) / 4; }

TEST(Editing, InterleaveAndSelectEveryRebuildTheClip) {
  ClipPtr same = Build(kSource + "Interleave(SelectEven(), SelectOdd())");
  ExpectCountAndRate(same, 100, 25, 1, "even and odd interleaved");
  for (int n : {0, 1, 2, 37, 99})
    EXPECT_EQ(Shown(same, n), n % 64);

  // Clips of different lengths: the longer one decides, as the script language counts.
  ClipPtr uneven = Build("a = BlankClip(length=3)\nb = BlankClip(length=9)\nInterleave(a, b)");
  EXPECT_EQ(uneven->info().frameCount, 18);
  EXPECT_EQ(uneven->info().rateNum, 48);

  ClipPtr telecine = Build(kSource + "SelectEvery(4, 0, 1, 1, 2, 3)");
  ExpectCountAndRate(telecine, 125, 125, 4, "five of every four");
  const int expected[] = {0, 1, 1, 2, 3, 4, 5, 5, 6, 7};
  for (int n = 0; n < 10; ++n)
    EXPECT_EQ(Shown(telecine, n), expected[n]) << "frame " << n;
  ExpectCountAndRate(Build(kSource + "SelectEvery(5, 3)"), 20, 5, 1, "one offset");
  ExpectCountAndRate(Build(kSource + "SelectEvery(2)"), 50, 25, 2, "no offset");
  EXPECT_NE(ErrorOf(kSource + "SelectEvery(4, 0, 4)").find("offset must lie between 0 and 3"), std::string::npos);
}

TEST(Editing, SelectRangeEveryTakesRunsOfFrames) {
  ClipPtr c = Build(kSource + "SelectRangeEvery(10, 3, 2)"); // frames 2.. : 98 frames, 3 of every 10
  ExpectCountAndRate(c, 30, 25, 1, "runs of three");
  EXPECT_EQ(Shown(c, 0), 2);
  EXPECT_EQ(Shown(c, 4), 13);
  EXPECT_EQ(Shown(c, 29), 94 % 64);
  EXPECT_EQ(Build(kSource + "SelectRangeEvery()")->info().frameCount, 50) << "1500 and 50: the first 50";
  EXPECT_EQ(Build(kSource + "SelectRangeEvery(every=7, length=20)")->info().frameCount, 100)
      << "a length above the step takes everything";
}

TEST(Editing, FadesAddTheirColourFramesAndBlend) {
  const struct {
    const char *line;
    int frames;
  } counts[] = {
      {"FadeOut(10)", 101}, {"FadeOut0(10)", 100}, {"FadeOut2(10)", 102}, {"FadeIn(10)", 101},
      {"FadeIn0(10)", 100}, {"FadeIn2(10)", 102},  {"FadeIO(10)", 102},   {"FadeIO0(10)", 100},
      {"FadeIO2(5)", 104},  {"FadeOut(0)", 101},
  };
  for (const auto &c : counts)
    EXPECT_EQ(Build(kSource + c.line)->info().frameCount, c.frames) << c.line;

  ClipPtr out = Build(kSource + "FadeOut(10)");
  EXPECT_EQ(LumaRow(*out->frame(89), 0), 89 * 4 & 255) << "before the fade";
  // Frame 90 is 1/11 of the way to black (Y 16): 104 + (16 - 104) / 11.
  EXPECT_EQ(LumaRow(*out->frame(90), 0), 96);
  EXPECT_EQ(LumaRow(*out->frame(100), 0), 16);
  EXPECT_EQ(out->frame(100)->row(1, 0)[0], 128);

  ClipPtr in = Build(kSource + "FadeIn(10, color=$FFFFFF)");
  EXPECT_EQ(LumaRow(*in->frame(0), 0), 235) << "white in TV range";
  EXPECT_EQ(LumaRow(*in->frame(100), 0), 99 * 4 & 255);

  ClipPtr dissolve = Build("a = BlankClip(length=10, pixel_type=\"YV12\")\nb = BlankClip(length=10, "
                           "pixel_type=\"YV12\", color=$FFFFFF)\nDissolve(a, b, 4)");
  EXPECT_EQ(dissolve->info().frameCount, 16);
  EXPECT_EQ(LumaRow(*dissolve->frame(5), 0), 16);
  EXPECT_EQ(LumaRow(*dissolve->frame(8), 0), 147); // 3/5 of the way from 16 to 235
  EXPECT_EQ(LumaRow(*dissolve->frame(10), 0), 235);
}

TEST(Editing, LetterboxPaintsBarsAndKeepsTheSize) {
  ClipPtr c = Build(kSource + "Letterbox(64, 64, 16, 16)");
  ASSERT_EQ(c->info().width, 720);
  ASSERT_EQ(c->info().height, 576);
  FramePtr f = c->frame(3);
  EXPECT_EQ(f->row(0, 63)[100], 16);
  EXPECT_EQ(f->row(0, 64)[100], 12 + 64);
  EXPECT_EQ(f->row(0, 512)[100], 16);
  EXPECT_EQ(f->row(0, 300)[15], 16);
  EXPECT_EQ(f->row(0, 300)[16], (12 + 300) & 255);
  EXPECT_NE(ErrorOf(kSource + "Letterbox(300, 300)").find("taller than the picture"), std::string::npos);
  EXPECT_NE(ErrorOf(kSource + "Letterbox(-2, 0)").find("must not be negative"), std::string::npos);
}

// Rows of the picture that the text (luma of yellow, 210) reaches.
std::pair<int, int> TextRows(const Frame &f) {
  int first = -1, last = -1;
  for (int y = 0; y < f.height; ++y)
    for (int x = 0; x < f.width; ++x)
      if (f.row(0, y)[x] == 210) {
        if (first < 0)
          first = y;
        last = y;
        break;
      }
  return {first, last};
}

TEST(Editing, SubtitleDrawsTextWhereAndWhenItIsAsked) {
  const std::string grey = "BlankClip(length=20, width=320, height=240, pixel_type=\"YV12\", color=$808080)\n";
  ClipPtr top = Build(grey + "Subtitle(\"Reel 1\", first_frame=5, last_frame=9)");
  ASSERT_EQ(top->info().frameCount, 20);
  EXPECT_EQ(TextRows(*top->frame(4)).first, -1) << "before first_frame";
  EXPECT_EQ(TextRows(*top->frame(10)).first, -1) << "after last_frame";
  const auto [first, last] = TextRows(*top->frame(5));
  EXPECT_GE(first, 0);
  EXPECT_LT(last, 30) << "top left by default";
  // A black halo surrounds the letters.
  bool halo = false;
  for (int x = 0; x < 320 && !halo; ++x)
    halo = top->frame(5)->row(0, last + 1)[x] == 16;
  EXPECT_TRUE(halo);

  const auto bottom = TextRows(*Build(grey + "Subtitle(\"bottom\", align=2, size=36)")->frame(0));
  EXPECT_GT(bottom.first, 180);
  EXPECT_LE(bottom.second, 238);
  EXPECT_GT(bottom.second - bottom.first, 20) << "size 36 draws larger letters";
  const auto lines = TextRows(*Build(grey + "Subtitle(\"one\\ntwo\", lsp=0)")->frame(0));
  EXPECT_GT(lines.second - lines.first, 16) << "two lines";
  ClipPtr hidden = Build(grey + "Subtitle(\"x\", text_color=$FF00FF00, halo_color=$FF000000)");
  EXPECT_EQ(TextRows(*hidden->frame(0)).first, -1) << "fully transparent colours draw nothing";
  EXPECT_NE(ErrorOf(grey + "Subtitle(\"x\", align=10)").find("align must lie between 1 and 9"), std::string::npos);
  // Text far outside the picture and very long text are harmless.
  Build(grey + "Subtitle(\"far\", x=100000, y=-100000)")->frame(0);
  Build(grey + "Subtitle(\"" + std::string(5000, 'W') + "\", size=200)")->frame(0);
}

TEST(Editing, OverlayBlendsOverTheBaseInItsModes) {
  const std::string clips = "base = BlankClip(length=10, width=64, height=48, pixel_type=\"YV12\", color=$808080)\n"
                            "white = BlankClip(length=3, width=32, height=16, pixel_type=\"YV12\", color=$FFFFFF)\n"
                            "black = BlankClip(white, color=$000000)\n";
  auto luma = [](const ClipPtr &c, int n, int x, int y) { return static_cast<int>(c->frame(n)->row(0, y)[x]); };
  ClipPtr half = Build(clips + "Overlay(base, white, x=16, y=8, opacity=0.5)");
  ASSERT_EQ(half->info().width, 64);
  ASSERT_EQ(half->info().frameCount, 10) << "the base's length";
  EXPECT_EQ(luma(half, 0, 20, 10), 181); // halfway from 126 to 235
  EXPECT_EQ(luma(half, 9, 47, 23), 181) << "the overlay's last frame serves the rest";
  EXPECT_EQ(luma(half, 0, 15, 10), 126);
  EXPECT_EQ(luma(half, 0, 48, 10), 126);
  EXPECT_EQ(half->frame(0)->row(1, 5)[10], 128);

  ClipPtr masked = Build(clips + "Overlay(base, white, 16, 8, mask=black)");
  // Mask values weigh as they are: black (16) lets 16/256 through, white (235) 236/256.
  EXPECT_EQ(luma(masked, 0, 20, 10), 133);
  EXPECT_EQ(luma(Build(clips + "Overlay(base, white, 16, 8, mask=white)"), 0, 20, 10), 226);
  EXPECT_EQ(luma(Build(clips + "Overlay(base, black, 16, 8, mode=\"Lighten\")"), 0, 20, 10), 126);
  EXPECT_EQ(luma(Build(clips + "Overlay(base, black, 16, 8, mode=\"Darken\")"), 0, 20, 10), 16);
  EXPECT_EQ(luma(Build(clips + "Overlay(base, black, 16, 8, mode=\"Chroma\")"), 0, 20, 10), 126);
  EXPECT_EQ(luma(Build(clips + "Overlay(base, black, 16, 8, mode=\"Luma\")"), 0, 20, 10), 16);
  EXPECT_EQ(luma(Build(clips + "Overlay(base, white, -16, -8)"), 0, 15, 7), 235) << "partly outside";
  EXPECT_EQ(luma(Build(clips + "Overlay(base, white, 2147483647, -2147483647)"), 0, 0, 0), 126);

  ClipPtr rgb = Build(clips + "Overlay(base.ConvertToRGB32(), white, 16, 8, output=\"YV12\")");
  EXPECT_EQ(rgb->info().format, PixelFormat::YV12);
  EXPECT_NE(ErrorOf(clips + "Overlay(base, white, mode=\"Glow\")").find("unknown mode"), std::string::npos);
  EXPECT_NE(ErrorOf(clips + "Overlay(base, white, opacity=2.0)").find("opacity"), std::string::npos);
}

TEST(Editing, PlanarFormatsTheEngineLacksKeepTheGeometry) {
  ScriptResult r = RunScript(kSource + "ConvertToYV24()\nConvertToRGB24()\nConvertToYV16(matrix=\"Rec709\")\n"
                                       "ConvertToY8()\nConvertToYV12()\n");
  EXPECT_EQ(r.clip->info().width, 720);
  EXPECT_EQ(r.clip->info().height, 576);
  EXPECT_EQ(r.clip->info().frameCount, 100);
  EXPECT_EQ(r.clip->frame(3)->row(1, 10)[10], 128) << "Y8 has no colour";
  EXPECT_EQ(r.clip->info().format, PixelFormat::YV12);
  EXPECT_TRUE(r.notes.approximated.empty()) << "the planar conversions are exact";
  EXPECT_EQ(Build(kSource + "ConvertToRGB24()")->info().format, PixelFormat::RGB24);
}

TEST(Editing, FrameRateChangersInAllTheirForms) {
  FakeSource ntsc = NtscSource();
  const struct {
    const char *line;
    int frames, num, den;
  } cases[] = {
      {"AssumeFPS(23.976)", 300, 2997, 125},
      {"AssumeFPS(24000, 1001)", 300, 24000, 1001},
      {"AssumeFPS(\"ntsc_film\")", 300, 24000, 1001},
      {"AssumeFPS(last, BlankClip(fps=50))", 300, 50, 1},
      {"ChangeFPS(\"pal_video\")", 250, 25, 1},
      {"ChangeFPS(60000, 1001)", 600, 60000, 1001},
      {"last.ChangeFPS(BlankClip(fps=24))", 240, 24, 1},
      {"ChangeFPS(2, linear=false)", 20, 2, 1},
      {"ConvertFPS(25)", 250, 25, 1},
      {"ConvertFPS(\"ntsc_double\")", 600, 60000, 1001},
      {"ConvertFPS(24000, 1001)", 240, 24000, 1001},
      {"ConvertFPS(last, BlankClip(fps=50))", 501, 50, 1},
  };
  for (const auto &c : cases) {
    ScriptResult r = RunScript(kSource + c.line, &ntsc);
    ExpectCountAndRate(r.clip, c.frames, c.num, c.den, c.line);
  }
  auto error = [&](const std::string &line) { return ErrorOf(kSource + line, &ntsc); };
  EXPECT_NE(error("ChangeFPS(2)").find("linear"), std::string::npos);
  EXPECT_NE(error("ConvertFPS(15)").find("too small"), std::string::npos);
  EXPECT_NE(error("ConvertFPS(50, zone=80)").find("YUY2"), std::string::npos);

  // ConvertFPS blends the two frames around each new frame's time.
  ClipPtr blended = Build(kSource + "ConvertFPS(50)");
  EXPECT_EQ(LumaRow(*blended->frame(2), 0), 4);
  EXPECT_EQ(LumaRow(*blended->frame(3), 0), 6) << "halfway between frames 1 and 2";
}

TEST(Editing, RuntimeFiltersShowTheirClipAndAreApproximated) {
  ScriptResult r = RunScript(kSource +
                             "ScriptClip(\"Subtitle(String(current_frame))\")\n"
                             "FrameEvaluate(\"x = YDifferenceFromPrevious()\")\n"
                             "ConditionalReader(\"levels.txt\", \"lvl\")\n"
                             "WriteFileStart(\"log.txt\", \"current_frame\")\n"
                             "ConditionalFilter(last, last.Crop(0, 0, -0, -0), last.FlipVertical(), "
                             "\"AverageLuma()\", \">\", \"30\")\n");
  EXPECT_EQ(r.clip->info().frameCount, 100);
  EXPECT_EQ(r.clip->info().width, 720);
  EXPECT_EQ(r.notes.approximated,
            (std::vector<std::string>{"ScriptClip", "FrameEvaluate", "ConditionalReader", "ConditionalFilter"}));
  EXPECT_TRUE(r.notes.notPreviewed.empty());
}

TEST(Editing, GeometryArgumentsThatWouldOverflowAreRefused) {
  const struct {
    const char *line;
    const char *message;
  } cases[] = {
      {"BlankClip(width=64, height=48, pixel_type=\"YV12\").BicubicResize(32,24,0.0,0.5,2147483000.0,0,1000,0)",
       "outside"},
      {"BlankClip(width=64, height=48, pixel_type=\"YV12\").BicubicResize(32,24,0.0,0.5,8,8,2147483000.0,0)",
       "outside"},
      {"BlankClip(width=64, height=48, pixel_type=\"YV12\").LanczosResize(32,24,1000000000000.0,0,8,8)", "outside"},
      {"BlankClip(width=64, height=48, pixel_type=\"YV12\").Spline36Resize(32,24,-1000000000000.0,0,8,8)", "outside"},
      {"BlankClip(width=64, height=48).CropBottom(-2147483647-1)", "out of range"},
      {"BlankClip(width=64, height=48).Letterbox(2147483647, 2147483647)", "taller"},
      {"BlankClip(width=64, height=48).Letterbox(2, 2, 2147483647, 2147483647)", "wider"},
      {"BlankClip(length=2147483647).FadeIO2(2147483647)", "num_frames"},
      {"BlankClip(length=2147483647).SelectEvery(1, 0, 0)", "too many frames"},
      {"BlankClip(length=2147483647, fps=1).ConvertFPS(100)", "too many frames"},
  };
  for (const auto &c : cases) {
    const std::string error = ErrorOf(c.line);
    EXPECT_NE(error.find(c.message), std::string::npos) << c.line << ": " << error;
  }
}

// Every filter of this family with extreme numbers: it refuses them or
// builds a clip whose first and last frames can be shown.
TEST(Editing, ExtremeNumbersAreRefusedOrShown) {
  const char *calls[] = {
      "SelectEvery(N, N)", "SelectEvery(3, 0, N, 1)", "SelectRangeEvery(N, N, N)", "FadeIO2(N)", "FadeIn0(N)",
      "Dissolve(last, last, N)", "Letterbox(N, 8, N, 8)", "ChangeFPS(N, 1, linear=false)", "AssumeFPS(N, N)",
      "ConvertFPS(N, 3)", "Subtitle(\"x\", x=N, y=N, first_frame=N, last_frame=N, spc=N, lsp=N)",
      "Overlay(last, last.Crop(0, 0, 64, 64), N, N)", "TDecimate(mode=1, cycle=N, cycleR=1)", "TDecimate(cycleR=N)",
      "TDecimate(mode=2, rate=N)", "QTGMC(FPSDivisor=N)", "nnedi3_rpow2(N)", "LimitedSharpenFaster(dest_x=N, dest_y=N)",
      "Yadif(N, N)", "nnedi3(field=N, dh=true)", "TDeint(mode=N)", "BicubicResize(64, 48, 0, 0.5, N, N, N, N)",
  };
  const char *numbers[] = {"0", "-1", "1", "3", "1073741824", "2147483647", "-2147483647-1"};
  int shown = 0, refused = 0;
  for (const char *call : calls)
    for (const char *number : numbers) {
      // Each N that stands alone as an argument takes the number.
      std::string line;
      for (const char *c = call; *c; ++c) {
        const bool alone = *c == 'N' && (c[1] == ',' || c[1] == ')') && (c[-1] == '(' || c[-1] == ' ' || c[-1] == '=');
        line += alone ? std::string(number) : std::string(1, *c);
      }
      const std::string script = "BlankClip(length=50, width=128, height=96, pixel_type=\"YV12\")\n" + line;
      try {
        ClipPtr c = Build(script);
        if (c->info().frameCount > 0) {
          c->frame(0);
          c->frame(c->info().frameCount - 1);
        }
        ++shown;
      } catch (const EngineError &) {
        ++refused;
      }
    }
  EXPECT_GT(shown, 40);
  EXPECT_GT(refused, 40);
}

} // namespace
} // namespace reelwork::engine::test
