// The script language: what parses, what it builds, and how it refuses.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/script/parser.h"
#include "script_fixture.h"

namespace reelwork::engine::test {
namespace {

using script::ScriptResult;

// ---- the lines Reelwork writes ----------------------------------------------------

// Every command line the program writes into a script, with the field order
// digit 1 and 0 where a line carries one.
const char *const kWrittenLines[] = {
    // source lines
    "mpeg2source(\"movie.d2v\")",
    "mpeg2source(\"movie.d2v\",idct=2)",
    "mpeg2source(\"movie.d2v\",idct=0,cpu=4,iPP=true)",
    "mpeg2source(\"movie.d2v\",idct=5,cpu=6,iPP=false)",
    // filter check-list defaults
    "Telecide(order=1,post=0)",
    "Telecide(order=0,post=0)",
    "Decimate(5)",
    "TomsMoComp(1,5,1)",
    "TomsMoComp(0,5,1)",
    "Bob()",
    "Repal()",
    "Crop(0,0,-0,-0)",
    "MipSmooth(preset = \"movieHQ\")",
    "ConvertToYUY2()",
    "ConvertToYUY2()\n_2dcleanYUY2(0,15,3,3)",
    "BicubicResize(640,352)",
    "BicubicResize(576,432)",
    "Sharpen(0.25)",
    "ConvertToRGB()",
    "ConvertToRGB()\nRGBAdjust(1.0,1.0,1.0,0)", // written together when no conversion stands above
    "ColorYUV(cont_y=0, cont_u=0, cont_v=0)",
    "Tweak(0,1.0,0,1.0)",
    // crop and resize tools
    "Crop(8,74,-8,-74)",
    "Crop(8,72,-8,-72)",
    "BicubicResize(640,352)",
    // deinterlace wizard
    "Telecide(order=1,post=2)",
    "Telecide(order=1,post=1)",
    "FieldDeinterlace()",
    "Telecide(order=1,post=2,vthresh=90)",
    "Decimate(6)",
    "SmoothDeinterlace(tff=true,doublerate=true,lacethresh=24)",
    "SmoothDeinterlace(tff=false,doublerate=true,lacethresh=24)",
};

TEST(WrittenScripts, EveryLineTheProgramWritesBuildsAfterItsSource) {
  for (const char *line : kWrittenLines) {
    SCOPED_TRACE(line);
    ScriptResult r;
    ASSERT_NO_THROW(r = RunScript(std::string("mpeg2source(\"movie.d2v\")\n") + line));
    ASSERT_TRUE(r.clip);
    EXPECT_GT(r.clip->info().frameCount, 0);
    EXPECT_NO_THROW(r.clip->frame(0));
  }
}

TEST(WrittenScripts, FieldOrderTestScriptsShowFieldsOneByOne) {
  // The six-line test scripts, comments in both languages (Windows-1251 bytes).
  const std::string tail = "# ---------------------------------------------------------\n"
                           "#    If no back-moves,\n"
                           "#    then field order = 1\n"
                           "# ---------------------------------------------------------\n"
                           "#    \xE5\xF1\xEB\xE8 \xED\xE5\xF2 \xEE\xE1\xF0\xE0\xF2\xED\xFB\xF5\n";
  for (const char *source : {"mpeg2source(\"movie.d2v\")", "mpeg2source(\"movie.d2v\",idct=0,cpu=4,iPP=true)"}) {
    ClipPtr tff = Build(std::string(source) + "\r\nAssumeTFF().SeparateFields()\r\n" + tail);
    EXPECT_EQ(tff->info().height, 288);
    EXPECT_EQ(tff->info().frameCount, 200);
    EXPECT_EQ(tff->info().rateNum, 50);
    ClipPtr bff = Build(std::string(source) + "\nAssumeBFF().SeparateFields()\n" + tail);
    EXPECT_EQ(LumaRow(*bff->frame(0), 0), 1) << "bottom field first";
  }
}

TEST(WrittenScripts, WholeScriptsOfTheWizardsBuildWithTheRightShape) {
  FakeSource ntsc;
  ntsc.height = 480;
  ntsc.rateNum = 30000;
  ntsc.rateDen = 1001;
  ScriptResult r = RunScript("mpeg2source(\"movie.d2v\",idct=0,cpu=4,iPP=true)\n"
                             "Telecide(order=1,post=1)\n"
                             "TomsMoComp(1,5,1)\n"
                             "Decimate(5)\n"
                             "Crop(8,0,-8,-0)\n"
                             "MipSmooth(preset = \"movieHQ\")\n"
                             "BicubicResize(640,352)\n"
                             "Sharpen(0.25)\n",
                             &ntsc);
  EXPECT_EQ(r.clip->info().width, 640);
  EXPECT_EQ(r.clip->info().height, 352);
  EXPECT_EQ(r.clip->info().frameCount, 80);
  EXPECT_EQ(r.clip->info().rateNum, 24000);
  EXPECT_EQ(r.clip->info().rateDen, 1001);
  EXPECT_TRUE(r.notes.notPreviewed.empty());
  EXPECT_EQ(r.notes.approximated, (std::vector<std::string>{"MipSmooth"}));

  ScriptResult yuy2 = RunScript("mpeg2source(\"movie.d2v\")\nCrop(0,0,-0,-0)\nConvertToYUY2()\n"
                                "_2dcleanYUY2(0,15,3,3)\nConvertToRGB()\nRGBAdjust(1.0,1.0,1.0,0)\n");
  EXPECT_EQ(yuy2.clip->info().format, PixelFormat::RGB32);
  EXPECT_TRUE(yuy2.notes.notPreviewed.empty());
  EXPECT_EQ(yuy2.notes.approximated, (std::vector<std::string>{"_2dcleanYUY2"}));

  ScriptResult bob = RunScript("mpeg2source(\"movie.d2v\")\nBob()\nRepal()\n", &ntsc);
  EXPECT_EQ(bob.clip->info().frameCount, 83); // 5 frames of every 12 fields
  EXPECT_EQ(bob.clip->info().rateNum, 25000);
  EXPECT_EQ(bob.clip->info().rateDen, 1001);
  EXPECT_TRUE(bob.notes.notPreviewed.empty());
}

TEST(WrittenScripts, SourcePathsAreTakenFromTheScriptFolder) {
  FakeSource src;
  RunScript("mpeg2source(\"movie.d2v\")", &src, "/films/rip");
  EXPECT_EQ(src.lastPath, "/films/rip/movie.d2v");
  RunScript("MPEG2SOURCE(\"/abs/x.d2v\")", &src, "/films/rip");
  EXPECT_EQ(src.lastPath, "/abs/x.d2v");
  RunScript("mpeg2source(\"D:\\RIP\\MOVIE.D2V\")", &src, "/films/rip");
  EXPECT_EQ(src.lastPath, "/films/rip/MOVIE.D2V"); // a Windows path falls back to the script's folder
}

TEST(WrittenScripts, TheProjectIsFoundWhateverTheCaseOfItsName) {
  const auto dir = std::filesystem::temp_directory_path() / "reelwork_script_case_test";
  std::filesystem::create_directories(dir / "Rip");
  std::ofstream(dir / "Rip" / "movie.d2v") << "DVD2AVIProjectFile\n";
  FakeSource src;
  RunScript("mpeg2source(\"MOVIE.D2V\")", &src, (dir / "Rip").string());
  EXPECT_EQ(src.lastPath, (dir / "Rip" / "movie.d2v").string());
  RunScript("mpeg2source(\"rip/Movie.d2v\")", &src, dir.string());
  EXPECT_EQ(src.lastPath, (dir / "Rip" / "movie.d2v").string());
  std::filesystem::remove_all(dir);
}

// ---- the language -----------------------------------------------------------

TEST(Language, StatementsVariablesAndLast) {
  ScriptResult r = RunScript("# a comment\n"
                             "src = BlankClip(length=50, width=320, height=240, pixel_type=\"YV12\") # trailing\n"
                             "\n"
                             "a = src.Trim(0, 9)\n"
                             "b = src.Trim(20, \\\n"
                             "  29)\n"
                             "a + b\n"
                             "\\ + src.Trim(40, 49)\n"
                             "SelectEven()\n"
                             "/* block\n comment */ last.Crop(0, 0, Width - 8, Height / 2)\n");
  EXPECT_EQ(r.clip->info().frameCount, 15);
  EXPECT_EQ(r.clip->info().width, 312);
  EXPECT_EQ(r.clip->info().height, 120);
}

TEST(Language, NamesCompareWithoutCaseAndCallsNeedNoParentheses) {
  ClipPtr c = Build("BLANKCLIP(LENGTH=10, Pixel_Type=\"yv12\", width=64, height=64)\nassumetff\nSEPARATEFIELDS");
  EXPECT_EQ(c->info().height, 32);
  EXPECT_EQ(c->info().frameCount, 20);
  ClipPtr m = Build("BlankClip(length=10, pixel_type=\"YV12\").AssumeBFF.SeparateFields.Weave");
  EXPECT_EQ(m->info().height, 480);
}

TEST(Language, ReturnEndsTheScript) {
  ClipPtr c = Build("x = BlankClip(length=5)\nreturn x.Trim(1,2)\nBlankClip(length=99)");
  EXPECT_EQ(c->info().frameCount, 2);
  EXPECT_EQ(Build("BlankClip(length=7)\n__END__\nthis is not a script ((")->info().frameCount, 7);
}

TEST(Language, ValuesAndOperators) {
  ClipPtr c = Build("w = 320 + 2 * 8\nh = (w - 16) * 3 / 4\nf = 25.0 / 2\nn = \"a\" + \"b\" == \"AB\" ? 7 : 3\n"
                    "BlankClip(length=n, width=w, height=h, fps=f, color=$FF0000)");
  EXPECT_EQ(c->info().width, 336);
  EXPECT_EQ(c->info().height, 240);
  EXPECT_EQ(c->info().frameCount, 7);
  EXPECT_EQ(c->info().rateNum, 25);
  EXPECT_EQ(c->info().rateDen, 2);
  EXPECT_EQ(c->frame(0)->row(0, 0)[2], 255); // red
  // Triple quotes hold double quotes.
  FakeSource src;
  RunScript("mpeg2source(\"\"\"say \"hi\".d2v\"\"\")", &src, "/f");
  EXPECT_EQ(src.lastPath, "/f/say \"hi\".d2v");
}

TEST(Language, FractionalRatesBecomeExactFractions) {
  ClipPtr film = Build("BlankClip(length=10, fps=23.976)");
  EXPECT_EQ(film->info().rateNum, 2997);
  EXPECT_EQ(film->info().rateDen, 125);
  ClipPtr ntsc = Build("BlankClip(length=10, fps=30000, fps_denominator=1001)");
  EXPECT_EQ(ntsc->info().rateNum, 30000);
  EXPECT_EQ(ntsc->info().rateDen, 1001);
  ClipPtr bars = Build("ColorBars(320, 240)");
  EXPECT_EQ(bars->info().rateNum, 30000);
  EXPECT_EQ(bars->info().rateDen, 1001);
  EXPECT_EQ(bars->info().format, PixelFormat::RGB32);
}

// ---- pass-through ---------------------------------------------------------------

TEST(PassThrough, UnknownFiltersKeepTheirClipAndAreNamedOnce) {
  ScriptResult r = RunScript("LoadPlugin(\"C:\\Program Files\\AviSynth\\plugins\\decomb.dll\")\n"
                             "Import(\"helpers.avsi\")\n"
                             "SetMemoryMax(64)\n"
                             "mpeg2source(\"movie.d2v\")\n"
                             "DeDot(order=1, guide=X)\n"
                             "v = last\n"
                             "Crop(8, 8, -8, -8)\n"
                             "x = FFT3DFilter(v, sigma=2.0).DeDot\n"
                             "Subtitle(\"hello\")\n");
  EXPECT_EQ(r.notes.notPreviewed, (std::vector<std::string>{"DeDot"}));
  EXPECT_EQ(r.notes.approximated, (std::vector<std::string>{"FFT3DFilter"}));
  EXPECT_EQ(r.clip->info().width, 704);
  ScriptResult first = RunScript("a = BlankClip(length=3)\nb = BlankClip(length=9)\nUnknownMix(b, a)\n");
  EXPECT_EQ(first.clip->info().frameCount, 9) << "the first clip argument goes through";
}

// ---- errors -------------------------------------------------------------------------

TEST(Errors, EachRefusalNamesTheLineAndTheReason) {
  const struct {
    const char *script;
    const char *expected; // the whole message
  } cases[] = {
      {"mpeg2source(\"movie.d2v\"\nCrop(0,0,0,0)", "line 2: syntax error: expected ')' to close the arguments of "
                                                    "mpeg2source, found 'Crop'"},
      {"BlankClip()\nx = = 3", "line 2: syntax error: unexpected '='"},
      {"BlankClip()\n\"open\nBlankClip()", "line 2: syntax error: the string that starts here is not closed"},
      {"BlankClip() @", "line 1: syntax error: unexpected '@'"},
      {"mpeg2source(\"movie.d2v\")\nCrop(0,0,-0,-0,frobnicate=1)", "line 2: Crop: unknown argument 'frobnicate'"},
      {"mpeg2source(\"movie.d2v\")\nCrop(0,0,\"-0\",-0)",
       "line 2: Crop: width must be an integer, not a string (\"-0\")"},
      {"mpeg2source(\"movie.d2v\")\nCrop(1.5,0,-0,-0)",
       "line 2: Crop: left must be an integer, not a float (1.5)"},
      {"mpeg2source(\"movie.d2v\")\nSharpen()", "line 2: Sharpen: argument 'amount' is missing"},
      {"mpeg2source(\"movie.d2v\")\nBob(1,2,3,4)", "line 2: Bob: too many arguments (it takes at most 4)"},
      {"mpeg2source(\"movie.d2v\")\nCrop(0,0,-1,-0)",
       "line 2: Crop: YV12 width must be even (it would be 719)"},
      {"mpeg2source(\"movie.d2v\")\nCrop(0,0,-0,-3)",
       "line 2: Crop: YV12 height must be even (it would be 573)"},
      {"mpeg2source(\"movie.d2v\")\nCrop(3,0,-1,-0)",
       "line 2: Crop: YV12 can only be cropped by even numbers (left is 3)"},
      {"mpeg2source(\"movie.d2v\")\nConvertToYUY2()\nCrop(2,1,-4,-0)", ""},
      {"mpeg2source(\"movie.d2v\")\nConvertToYUY2()\nCrop(0,0,-3,-0)",
       "line 3: Crop: YUY2 width must be even (it would be 717)"},
      {"mpeg2source(\"movie.d2v\")\nCrop(400,0,400,-0)",
       "line 2: Crop: cropping 400,0 to 400x576 does not fit inside the 720x576 picture"},
      {"mpeg2source(\"movie.d2v\")\nBicubicResize(641,352)", "line 2: BicubicResize: YV12 width must be even (it is 641)"},
      {"mpeg2source(\"movie.d2v\")\nLanczosResize(640,351)", "line 2: LanczosResize: YV12 height must be even (it is 351)"},
      {"mpeg2source(\"movie.d2v\")\nConvertToRGB()\nBicubicResize(641,351)", ""},
      {"mpeg2source(\"movie.d2v\")\nTrim(100,120)",
       "line 2: Trim: the first frame 100 is outside the clip (frames 0 to 99)"},
      {"mpeg2source(\"movie.d2v\")\nTrim(-1,10)", "line 2: Trim: the first frame -1 is outside the clip (frames 0 to 99)"},
      {"mpeg2source(\"movie.d2v\")\nTrim(20,10)", "line 2: Trim: the last frame 10 lies before the first frame 20"},
      {"w = 720\nw * 2", "line 2: the script's result is not a clip but an integer (1440)"},
      {"# nothing but a comment\n", "line 1: the script gives no clip"},
      {"LoadPlugin(\"x.dll\")", "line 1: the script gives no clip"},
      {"AVISource(\"x.avi\")\nDeDot()", "line 1: the script gives no clip (not known to the engine: AVISource, DeDot)"},
      {"BlankClip(pixel_type=\"YV12\")\nAddBorders(1,0,0,0)",
       "line 2: AddBorders: YV12 borders on the left and right must be even"},
      {"Crop(0,0,-0,-0)", "line 1: Crop: there is no clip to work on (no clip before this line)"},
      {"BlankClip()\nx = undefined_name + 1", "line 2: I don't know what 'undefined_name' means"},
      {"BlankClip()\nTweak(sat=-1)", "line 2: Tweak: the clip must be YUV (it is RGB32)"},
      {"BlankClip(pixel_type=\"YV12\")\nRGBAdjust(1.0,1.0,1.0,0)",
       "line 2: RGBAdjust: the clip must be RGB (it is YV12; convert it with ConvertToRGB first)"},
      {"BlankClip(pixel_type=\"YV12\")\nSeparateFields().SeparateFields()",
       "line 2: SeparateFields: the clip is already field-based"},
      {"BlankClip()\nWeave()", "line 2: Weave: the clip is not field-based (separate its fields or use "
                               "AssumeFieldBased first)"},
      {"BlankClip()\nDecimate(1)", "line 2: Decimate: the cycle must lie between 2 and 25 (it is 1)"},
      {"mpeg2source(\"movie.d2v\",idct=9)", "line 1: mpeg2source: idct must lie between 0 and 7 (it is 9)"},
      {"BlankClip()\nwhile (true) {\n}",
       "line 2: while: the loop runs more than 1000000 times (does its condition never become false?)"},
      {"BlankClip() + 1", "line 1: '+' cannot combine a clip and an integer (1)"},
      {"BlankClip(width=320) + BlankClip()",
       "line 1: UnalignedSplice: the clips differ in size or pixel format (320x480 RGB32 and 640x480 RGB32)"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(ErrorOf(c.script), c.expected) << c.script;
}

// Found by the fuzz run: the end of Trim(5, -2147483647) overflowed, and
// Crop's right edge with a huge left offset did as well.
TEST(Errors, HugeArgumentsDoNotOverflow) {
  EXPECT_EQ(Build("mpeg2source(\"movie.d2v\")\nTrim(5, -2147483647)")->info().frameCount, 95);
  EXPECT_EQ(ErrorOf("mpeg2source(\"movie.d2v\")\nCrop(2147483646, 0, 2147483646, 0)"),
            "line 2: Crop: cropping 2147483646,0 to 2147483646x576 does not fit inside the 720x576 picture");
  EXPECT_EQ(ErrorOf("BlankClip(length=2147483647)\nSeparateFields()"),
            "line 2: SeparateFields: the clip has too many frames");
}

TEST(Errors, ScriptFilesThatCannotBeReadAreRefused) {
  EXPECT_THROW(script::EvaluateScriptFile("/nonexistent/folder/x.avs"), EngineError);
  const auto dir = std::filesystem::temp_directory_path() / "reelwork_script_file_test";
  std::filesystem::create_directories(dir);
  {
    std::ofstream(dir / "bars.avs") << "ColorBars(64,48)\r\nTrim(0,9)\r\n";
  }
  script::ScriptResult r = script::EvaluateScriptFile((dir / "bars.avs").string());
  EXPECT_EQ(r.clip->info().frameCount, 10);
  std::filesystem::remove_all(dir);
}

} // namespace
} // namespace reelwork::engine::test
