// Plugin functions the engine knows by their effect: the figures a script
// gets from them, how they are named to the user, and that the picture comes
// from the nearest filter the engine has.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "script_fixture.h"

namespace reelwork::engine::test {
namespace {

using script::ScriptResult;

struct Figures {
  int width, height, frames, rateNum, rateDen;
};

void ExpectFigures(const ClipPtr &c, const Figures &f, const std::string &what) {
  const ClipInfo &vi = c->info();
  EXPECT_EQ(vi.width, f.width) << what;
  EXPECT_EQ(vi.height, f.height) << what;
  EXPECT_EQ(vi.frameCount, f.frames) << what;
  EXPECT_EQ(vi.rateNum, f.rateNum) << what;
  EXPECT_EQ(vi.rateDen, f.rateDen) << what;
}

TEST(PluginFunctions, EachEntryThatChangesGeometryGivesThePluginsFigures) {
  FakeSource ntsc = NtscSource();
  const struct {
    const char *line;
    Figures figures;
  } cases[] = {
      // Field matching and decimation.
      {"tfm().tdecimate()", {720, 480, 240, 24000, 1001}},
      {"TFM(order=1, PP=0)", {720, 480, 300, 30000, 1001}},
      {"TDecimate(cycleR=2, cycle=10)", {720, 480, 240, 24000, 1001}},
      {"TDecimate(mode=1)", {720, 480, 240, 24000, 1001}},
      {"TDecimate(cycle=6)", {720, 480, 250, 25000, 1001}},
      {"TDecimate(mode=1, hybrid=1)", {720, 480, 240, 24000, 1001}},
      {"TDecimate(hybrid=3)", {720, 480, 300, 30000, 1001}},
      {"TDecimate(mode=2)", {720, 480, 240, 24000, 1001}},
      {"TDecimate(mode=2, rate=11.988)", {720, 480, 120, 12000, 1001}},
      {"TDecimate(mode=4, output=\"metrics.txt\")", {720, 480, 300, 30000, 1001}},
      // Deinterlacers: one frame per frame or per field.
      {"Yadif()", {720, 480, 300, 30000, 1001}},
      {"Yadif(mode=1)", {720, 480, 600, 60000, 1001}},
      {"Yadif(2, 1)", {720, 480, 300, 30000, 1001}},
      {"Yadif(mode=3, order=0)", {720, 480, 600, 60000, 1001}},
      {"yadifmod2(mode=1, order=1)", {720, 480, 600, 60000, 1001}},
      {"yadifmod2(field=0)", {720, 480, 300, 30000, 1001}},
      {"QTGMC(Preset=\"Slow\")", {720, 480, 600, 60000, 1001}},
      {"QTGMC(Preset=\"Slower\", FPSDivisor=2, EZDenoise=2.0)", {720, 480, 300, 30000, 1001}},
      {"QTGMC(InputType=1)", {720, 480, 300, 30000, 1001}},
      {"nnedi3(field=-2)", {720, 480, 600, 60000, 1001}},
      {"nnedi3(field=1)", {720, 480, 300, 30000, 1001}},
      {"nnedi3(3)", {720, 480, 600, 60000, 1001}},
      {"nnedi3(field=0, dh=true)", {720, 960, 300, 30000, 1001}},
      {"eedi3(field=-1)", {720, 480, 300, 30000, 1001}},
      {"eedi3(field=2)", {720, 480, 600, 60000, 1001}},
      {"eedi3(dh=true, field=1)", {720, 960, 300, 30000, 1001}},
      {"nnedi3_rpow2(rfactor=2)", {1440, 960, 300, 30000, 1001}},
      {"nnedi3_rpow2(2, cshift=\"Spline36Resize\", fwidth=1024, fheight=576)", {1024, 576, 300, 30000, 1001}},
      {"TDeint()", {720, 480, 300, 30000, 1001}},
      {"TDeint(mode=1)", {720, 480, 600, 60000, 1001}},
      {"TDeint(mode=-1)", {720, 960, 300, 30000, 1001}},
      {"LeakKernelDeint(order=1, threshold=10)", {720, 480, 300, 30000, 1001}},
      {"LeakKernelBob(order=1)", {720, 480, 600, 60000, 1001}},
      {"KernelBob(1)", {720, 480, 600, 60000, 1001}},
      // Sharpeners with a final resize.
      {"LimitedSharpenFaster(dest_x=640, dest_y=352)", {640, 352, 300, 30000, 1001}},
      {"LimitedSharpenFaster(1.5, 1.5, 704, 400)", {704, 400, 300, 30000, 1001}},
      {"LimitedSharpenFaster(strength=150)", {720, 480, 300, 30000, 1001}},
      {"LSFMod(strength=100, dest_x=640, dest_y=480)", {640, 480, 300, 30000, 1001}},
      // Filters that keep everything.
      {"ColorMatrix(mode=\"Rec.709->Rec.601\", clamp=false)", {720, 480, 300, 30000, 1001}},
      {"RemoveGrain(mode=2).Repair(last, 1)", {720, 480, 300, 30000, 1001}},
      {"Convolution3D(\"movieHQ\").FluxSmoothST(7, 7).FluxSmoothT(7)", {720, 480, 300, 30000, 1001}},
      {"FFT3DFilter(sigma=2, plane=4).DeGrainMedian(limitY=2).VagueDenoiser(threshold=0.8)",
       {720, 480, 300, 30000, 1001}},
      {"MCTemporalDenoise(settings=\"low\").GradFun2db(1.5).GradFunkMirror(1.2)", {720, 480, 300, 30000, 1001}},
      {"SeeSaw(last, NRlimit=2).aSharp(1, 4).AddGrainC(2.0).GrainFactory3()", {720, 480, 300, 30000, 1001}},
  };
  for (const auto &c : cases) {
    ScriptResult r = RunScript("mpeg2source(\"movie.d2v\")\n" + std::string(c.line) + "\n", &ntsc);
    ExpectFigures(r.clip, c.figures, c.line);
    EXPECT_FALSE(r.notes.approximated.empty()) << c.line;
    EXPECT_TRUE(r.notes.notPreviewed.empty()) << c.line;
  }
}

TEST(PluginFunctions, CallsAreNamedAsSpelledOnceInOrderOfFirstUse) {
  FakeSource ntsc = NtscSource();
  ScriptResult r = RunScript("mpeg2source(\"movie.d2v\")\n"
                             "tfm(order=1)\n"
                             "TDecimate()\n"
                             "a = RemoveGrain(2)\n"
                             "b = a.TFM()\n"
                             "DeDot()\n"
                             "a\n",
                             &ntsc);
  EXPECT_EQ(r.notes.approximated, (std::vector<std::string>{"tfm", "TDecimate", "RemoveGrain"}));
  EXPECT_EQ(r.notes.notPreviewed, (std::vector<std::string>{"DeDot"}));
  EXPECT_EQ(r.clip->info().frameCount, 240);
}

TEST(PluginFunctions, ArgumentsOutsideThePluginsRangeAreRefused) {
  const struct {
    const char *line;
    const char *message; // part of the refusal
  } cases[] = {
      {"TDecimate(cycleR=5, cycle=5)", "cycleR must lie between 1 and cycle - 1"},
      {"TDecimate(mode=9)", "mode must lie between 0 and 7"},
      {"TDecimate(mode=2, rate=30)", "rate must be above 0 and below the input's rate"},
      {"Yadif(mode=4)", "mode must lie between 0 and 3"},
      {"Yadif(order=2)", "order must be -1, 0 or 1"},
      {"nnedi3(field=4)", "field must lie between -2 and 3"},
      {"nnedi3(field=-2, dh=true)", "with dh=true, field must be -1, 0 or 1"},
      {"nnedi3_rpow2(3)", "rfactor must be a power of 2"},
      {"QTGMC(FPSDivisor=0)", "FPSDivisor must be 1 or more"},
      {"TFM(PP=9)", "PP must lie between 0 and 7"},
      {"QTGMC(NoSuchArgument=1)", "unknown argument 'NoSuchArgument'"},
  };
  for (const auto &c : cases) {
    const std::string error = ErrorOf("mpeg2source(\"movie.d2v\")\n" + std::string(c.line) + "\n");
    EXPECT_NE(error.find(c.message), std::string::npos) << c.line << ": " << error;
    EXPECT_EQ(error.rfind("line 2: ", 0), 0u) << error;
  }
}

// Duplicates where telecine leaves them: the decimator behind TDecimate drops
// them and keeps every original frame, in order.
TEST(PluginFunctions, TDecimateDropsTheDuplicatesOfEachCycle) {
  ClipPtr one = Build("mpeg2source(\"movie.d2v\")\nSelectEvery(4, 0, 1, 2, 3, 3)\nTDecimate()\n");
  ASSERT_EQ(one->info().frameCount, 100);
  for (int n : {0, 1, 2, 3, 4, 7, 50, 99})
    EXPECT_EQ(LumaRow(*one->frame(n), 0), (n * 4) & 255) << "frame " << n;

  // Two of every five: cycleR=2.
  ClipPtr two = Build("mpeg2source(\"movie.d2v\")\nSelectEvery(3, 0, 0, 1, 2, 2)\nTDecimate(cycle=5, cycleR=2)\n");
  ASSERT_EQ(two->info().frameCount, 100);
  for (int n : {0, 1, 2, 3, 5, 98, 99})
    EXPECT_EQ(LumaRow(*two->frame(n), 0), (n * 4) & 255) << "frame " << n;
}

// The variable-rate modes: 3 keeps count and rate; 5 removes nothing without
// metrics and matches files, and with them is shown as its input, named as
// not previewed; 6 merges runs of identical frames read from its metrics file.
TEST(PluginFunctions, TDecimateVariableRateModes) {
  FakeSource ntsc = NtscSource();
  const std::string src = "mpeg2source(\"movie.d2v\")\n";
  ScriptResult three = RunScript(src + "TDecimate(mode=3, hybrid=2, mkvOut=\"tc.txt\")", &ntsc);
  ExpectFigures(three.clip, {720, 480, 300, 30000, 1001}, "mode 3");
  // Modes 2 and 4 leave the hybrid setting unused.
  ExpectFigures(RunScript(src + "TDecimate(mode=2, hybrid=2)", &ntsc).clip, {720, 480, 240, 24000, 1001}, "mode 2");
  ScriptResult five = RunScript(src + "TDecimate(mode=5, hybrid=2, mkvOut=\"tc.txt\")", &ntsc);
  ExpectFigures(five.clip, {720, 480, 300, 30000, 1001}, "mode 5 without files");
  EXPECT_EQ(five.notes.approximated, (std::vector<std::string>{"TDecimate"}));
  EXPECT_TRUE(five.notes.notPreviewed.empty());
  ScriptResult files = RunScript(src + "tdecimate(mode=5, hybrid=2, vfrDec=0, input=\"metrics.txt\", "
                                       "tfmIn=\"matches.txt\", mkvOut=\"tc.txt\")\nTFM()",
                                 &ntsc);
  EXPECT_EQ(files.clip->info().frameCount, 300);
  EXPECT_EQ(files.notes.notPreviewed, (std::vector<std::string>{"tdecimate"}));
  EXPECT_EQ(files.notes.approximated, (std::vector<std::string>{"TFM"}));

  // Mode 6: 37 frames at 119.88 in runs of identical frames (metric 0 = the
  // same as the frame before) of 5, 4, 2, 1, 10, 8 and 7 frames. Runs up to 3
  // give one frame, multiples of 4 a frame per 4, of 5 a frame per 5, and 7
  // a frame for its first 5 and one for the other 2: 10 frames.
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("reelwork_tdec_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  {
    std::ofstream m(dir / "metrics.txt");
    m << "#TDecimate v1.0.10 by tritical\ncrc32 = 1a2b3c4d, blockx = 32, blocky = 32, chroma = T\n";
    int n = 0;
    for (int run : {5, 4, 2, 1, 10, 8, 7})
      for (int k = 0; k < run; ++k, ++n)
        m << n << " " << (k == 0 ? 2500 : 0) << " 9000\n";
  }
  FakeSource fast = NtscSource(37);
  fast.rateNum = 120000;
  const std::string mode6 = "TDecimate(mode=6, hybrid=2, input=\"metrics.txt\", mkvOut=\"tc.txt\")";
  ScriptResult six = script::EvaluateScript(src + mode6, [&] {
    script::ScriptContext ctx;
    ctx.folder = dir.string();
    ctx.mpeg2 = [&](const std::string &, const ProgressFn &) -> ClipPtr {
      return std::make_shared<NumberedClip>(720, 480, fast.frames, fast.rateNum, fast.rateDen, FieldParity::Top);
    };
    return ctx;
  }());
  ExpectFigures(six.clip, {720, 480, 10, 120000, 1001}, "mode 6");
  const int firsts[] = {0, 5, 9, 11, 12, 17, 22, 26, 30, 35};
  for (int k = 0; k < 10; ++k)
    EXPECT_EQ(LumaRow(*six.clip->frame(k), 0), firsts[k] * 4) << "frame " << k;
  EXPECT_TRUE(six.notes.notPreviewed.empty());
  std::filesystem::remove_all(dir);

  // A metrics file on a Windows drive: the input is shown and named.
  ScriptResult away = RunScript(src + "TDecimate(mode=6, hybrid=2, input=\"D:\\enc\\metrics.txt\", "
                                      "mkvOut=\"tc.txt\")",
                                &fast);
  EXPECT_EQ(away.clip->info().frameCount, 37);
  EXPECT_EQ(away.notes.notPreviewed, (std::vector<std::string>{"TDecimate"}));
  EXPECT_TRUE(away.notes.approximated.empty());
}

TEST(PluginFunctions, TDecimateRefusesWhatTheVariableRateModesCannotRun) {
  const struct {
    const char *line;
    const char *message;
  } cases[] = {
      {"TDecimate(mode=5, hybrid=2)", "TDecimate: an mkvOut file (the timecodes) must be given in mode 5"},
      {"TDecimate(mode=3, hybrid=2)", "TDecimate: an mkvOut file (the timecodes) must be given in mode 3"},
      {"TDecimate(mode=5, mkvOut=\"tc.txt\")", "TDecimate: mode 5 can only be used with hybrid=2"},
      {"TDecimate(mode=6, hybrid=1, mkvOut=\"tc.txt\")", "TDecimate: mode 6 can only be used with hybrid=2"},
      {"TDecimate(mode=6, hybrid=2, mkvOut=\"tc.txt\")", "TDecimate: mode 6 needs an input file: the metrics of a "
                                                          "mode 4 pass"},
      {"TDecimate(mode=5, hybrid=2, mkvOut=\"tc.txt\", output=\"m.txt\")",
       "TDecimate: output is not for mode 5 (it reads the metrics of an earlier pass)"},
      {"TDecimate(mode=1, hybrid=1, cycleR=2)", "TDecimate: hybrid processing is limited to cycleR=1"},
      {"TDecimate(mode=1, hybrid=2)",
       "TDecimate: hybrid=2 (variable rate) is for modes 3, 5 and 6; modes 0 and 1 take hybrid 0, 1 or 3"},
      {"TDecimate(mode=2, hybrid=1)", "TDecimate: hybrid=1 can only be used with modes 0 and 1"},
      {"TDecimate(mode=2, cycle=301)", "TDecimate: cycle must lie between 2 and the clip's frame count (it is 301)"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(ErrorOf("mpeg2source(\"movie.d2v\")\n" + std::string(c.line)), "line 2: " + std::string(c.message))
        << c.line;

  // Mode 6's metrics file must name every frame, and only frames of the clip.
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("reelwork_tdec_bad_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "gap.txt") << "0 10 10\n2 0 10\n";
  std::ofstream(dir / "far.txt") << "0 10 10\n1000 0 10\n";
  auto error = [&](const std::string &file) {
    try {
      script::ScriptContext ctx;
      ctx.folder = dir.string();
      ctx.mpeg2 = [](const std::string &, const ProgressFn &) -> ClipPtr {
        return std::make_shared<NumberedClip>(64, 48, 6, 120000, 1001, FieldParity::Top);
      };
      script::EvaluateScript("mpeg2source(\"x.d2v\")\nTDecimate(mode=6, hybrid=2, mkvOut=\"tc.txt\", input=\"" +
                                 file + "\")",
                             ctx);
    } catch (const EngineError &e) {
      return std::string(e.what());
    }
    return std::string();
  };
  EXPECT_EQ(error("gap.txt"),
            "line 2: TDecimate: input error (mode 6: every frame must have an entry; frame 1 has none)");
  EXPECT_EQ(error("far.txt"), "line 2: TDecimate: input error (out of range frame # 1000)");
  std::filesystem::remove_all(dir);
}

TEST(PluginFunctions, DeinterlacersKeepTheFieldTheyAreAskedFor) {
  // A picture that does not comb comes through whichever field is kept.
  ClipPtr top = Build("mpeg2source(\"movie.d2v\")\nnnedi3(field=1)\n");
  ClipPtr bottom = Build("mpeg2source(\"movie.d2v\")\nnnedi3(field=0)\n");
  for (const ClipPtr &c : {top, bottom}) {
    EXPECT_EQ(LumaRow(*c->frame(5), 0), 20);
    EXPECT_EQ(LumaRow(*c->frame(5), 1), 21);
  }
  EXPECT_EQ(top->info().parity, FieldParity::Top) << "the clip keeps its field order";
  EXPECT_EQ(bottom->info().parity, FieldParity::Top);

  ClipPtr tff = Build("mpeg2source(\"movie.d2v\")\nQTGMC(TFF=false)\n");
  EXPECT_EQ(tff->info().parity, FieldParity::Bottom);
  EXPECT_EQ(tff->info().frameCount, 200);
}

} // namespace
} // namespace reelwork::engine::test
