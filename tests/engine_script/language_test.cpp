// The script language beyond single lines: script functions, Import, global
// variables, try/catch, if/else, long strings, plugin-prefixed names and the
// language's own functions.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "script_fixture.h"

namespace reelwork::engine::test {
namespace {

namespace fs = std::filesystem;
using script::ScriptResult;

// A folder of script files for one test, removed afterwards.
class ScriptFolder {
public:
  ScriptFolder() : root_(fs::temp_directory_path() / ("reelwork_lang_" + std::to_string(::getpid()) + "_" +
                                                     std::to_string(counter_++))) {
    fs::create_directories(root_);
  }
  ~ScriptFolder() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  void write(const std::string &relative, const std::string &text) const {
    const fs::path p = root_ / relative;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
  }
  std::string path() const { return root_.string(); }
  std::string path(const std::string &relative) const { return (root_ / relative).string(); }

private:
  static inline int counter_ = 0;
  fs::path root_;
};

// ---- script functions --------------------------------------------------------------

TEST(ScriptFunctions, TypedAndOptionalParametersWithDefaultAndDefined) {
  const std::string lib = "function Shrink(clip c, int \"by\", bool \"fields\") {\n"
                          "  by = Default(by, 2)\n"
                          "  c = Defined(fields) && fields ? c.SeparateFields() : c\n"
                          "  return c.Crop(0, 0, -by * 8, -by * 8)\n"
                          "}\n"
                          "mpeg2source(\"movie.d2v\")\n";
  ClipPtr plain = Build(lib + "Shrink()");
  EXPECT_EQ(plain->info().width, 704);
  EXPECT_EQ(plain->info().height, 560);
  ClipPtr named = Build(lib + "Shrink(fields=true, by=1)");
  EXPECT_EQ(named->info().width, 712);
  EXPECT_EQ(named->info().height, 280);
  EXPECT_EQ(named->info().frameCount, 200);
  ClipPtr method = Build(lib + "last.Trim(0, 9).Shrink(3)");
  EXPECT_EQ(method->info().width, 696);
  EXPECT_EQ(method->info().frameCount, 10);
  // A function defined below its first use, without return: its clip comes
  // from `last`, and its result is its last line's value.
  ClipPtr later = Build("BlankClip(length=10, width=64, height=48)\nTwice()\n"
                        "function Twice(clip c, \"times\") {\n  n = Default(times, 2)\n  n == 2 ? c + c : c\n}");
  EXPECT_EQ(later->info().frameCount, 20);
}

TEST(ScriptFunctions, ScopesRecursionAndValues) {
  // Numbers: recursion, a float parameter given an integer, locals apart.
  ScriptResult r = RunScript("function Fact(int n) { n < 2 ? 1 : Fact(n - 1) * n }\n"
                             "function Half(float x) { x / 2 }\n"
                             "n = 99\n"
                             "function Local() { n = 5\n return n }\n"
                             "BlankClip(length=Fact(5) + Local() - n + 94, width=Int(Half(129)) * 2, height=48)");
  EXPECT_EQ(r.clip->info().frameCount, 120);
  EXPECT_EQ(r.clip->info().width, 128);
  // Clips: recursive stacking; a function sees the script's globals only.
  ClipPtr stacked = Build("function StackN(clip v, int n) { n < 2 ? v : StackVertical(v, StackN(v, n - 1)) }\n"
                          "global tall = 3\nStackN(BlankClip(length=4, width=64, height=48), tall)");
  EXPECT_EQ(stacked->info().height, 144);
  EXPECT_EQ(ErrorOf("hidden = 3\nfunction Peek() { hidden + 0 }\nBlankClip(length=Peek())"),
            "line 2: I don't know what 'hidden' means");
  // A global set inside a function is seen after it.
  EXPECT_EQ(Build("function SetW() { global w = 96\n return 0 }\nx = SetW()\nBlankClip(width=w, height=48)")
                ->info()
                .width,
            96);
}

TEST(ScriptFunctions, CalledAsMethodsAndBareNamesAndWithAParameterCalledLast) {
  const std::string lib = "function Part(clip c, int first, int last) { c.Trim(first, last) }\n"
                          "function Halve(clip c) { c.SelectEven() }\n"
                          "BlankClip(length=40, width=64, height=48)\n";
  EXPECT_EQ(Build(lib + "Part(10, 29).Halve")->info().frameCount, 10);
  EXPECT_EQ(Build(lib + "Halve\nHalve\nPart(0, 4)")->info().frameCount, 5);
  EXPECT_EQ(Build(lib + "x = last.Halve\nx.Part(1, 2)")->info().frameCount, 2);
}

TEST(ScriptFunctions, ScriptFunctionsTakePrecedenceOverBuiltInOnes) {
  ClipPtr c = Build("function Sharpen(clip c, float amount) { c.Crop(0, 0, -16, -0) }\n"
                    "BlankClip(width=64, height=48)\nSharpen(0.5)");
  EXPECT_EQ(c->info().width, 48);
}

TEST(ScriptFunctions, BadCallsAndEndlessRecursionAreRefusedClearly) {
  const std::string f = "function F(clip c, int n, string \"s\") { c }\nBlankClip()\n";
  EXPECT_EQ(ErrorOf(f + "F(\"x\")"), "line 3: F: n must be an integer, not a string (\"x\")");
  EXPECT_EQ(ErrorOf(f + "F(1, t=2)"), "line 3: F: unknown argument 't'");
  EXPECT_EQ(ErrorOf(f + "F()"), "line 3: F: argument 'n' is missing");
  EXPECT_EQ(ErrorOf(f + "F(1, s=1)"), "line 3: F: s must be a string, not an integer (1)");
  EXPECT_EQ(ErrorOf("function Loop(int n) { Loop(n + 1) }\nBlankClip(length=Loop(0))"),
            "line 1: Loop: functions call each other more than 200 levels deep (does the recursion never end?)");
  EXPECT_EQ(ErrorOf("function A(clip c) { B(c) }\nfunction B(clip c) { A(c) }\nBlankClip().A()"),
            "line 2: A: functions call each other more than 200 levels deep (does the recursion never end?)");
  // Two calls a level: exponential work is stopped by the step budget.
  const std::string slow = ErrorOf("function W(int n) { n == 0 ? 0 : W(n - 1) + W(n - 1) }\nBlankClip(length=W(60))");
  EXPECT_NE(slow.find("takes too long to run"), std::string::npos) << slow;
  EXPECT_EQ(ErrorOf("function D(string s, int n) { n == 0 ? s : D(s + s, n - 1) }\nx = D(\"ab\", 40)\nBlankClip()"),
            "line 1: '+': the string would be longer than 4 MB");
  EXPECT_EQ(ErrorOf("BlankClip()\nfunction F(clip c) {\n  function G() { 1 }\n}"),
            "line 3: syntax error: a function can only be defined at the top of a script, not inside a block");
  EXPECT_EQ(ErrorOf("x = 1\n\nfunction F() {\n  BlankClip()\n}\n"), "line 1: the script gives no clip");
  EXPECT_EQ(ErrorOf("function F(matrix a) { a }\nBlankClip()"),
            "line 1: syntax error: unknown parameter type 'matrix' in function F");
  EXPECT_EQ(ErrorOf("function F(clip c {\n c\n}"),
            "line 1: syntax error: expected ')' to close the parameters of function F, found '{'");
  EXPECT_EQ(ErrorOf("function F(clip c) {\n c\n"),
            "line 1: syntax error: the block of function F that starts here is not closed");
}

// ---- calls whose arguments do not fit: `last` in front --------------------------------------

TEST(ImplicitLast, AClipAloneTakesLastInFrontWhenTheCallDoesNotFitWithoutIt) {
  // The source: 100 frames at 25 fps; `other` 10 frames, 64x48.
  const std::string src = "mpeg2source(\"movie.d2v\")\n"
                          "film = BlankClip(length=10, width=64, height=48, fps=24000, fps_denominator=1001)\n"
                          "fifty = BlankClip(length=10, width=64, height=48, fps=50)\n";
  ClipPtr assumed = Build(src + "AssumeFPS(film)");
  EXPECT_EQ(assumed->info().frameCount, 100);
  EXPECT_EQ(assumed->info().rateNum, 24000);
  EXPECT_EQ(assumed->info().rateDen, 1001);
  EXPECT_EQ(assumed->info().width, 720);
  // ChangeFPS and ConvertFPS to 50 fps: twice the frames of the source.
  for (const char *f : {"ChangeFPS(fifty)", "ConvertFPS(fifty)"}) {
    ClipPtr c = Build(src + f);
    EXPECT_EQ(c->info().frameCount, 200) << f;
    EXPECT_EQ(c->info().rateNum, 50) << f;
    EXPECT_EQ(c->info().width, 720) << f;
  }
  // A call that fits as written keeps its own clip: other at 30 fps.
  ClipPtr own = Build(src + "AssumeFPS(film, 30)");
  EXPECT_EQ(own->info().frameCount, 10);
  EXPECT_EQ(own->info().rateNum, 30);
  EXPECT_EQ(Build(src + "StackHorizontal(film, film)")->info().width, 128);
  // Script functions follow the same rule, typed or not.
  ClipPtr user = Build(src + "function Pace(clip c, clip ref) { c.AssumeFPS(ref) }\nPace(fifty)");
  EXPECT_EQ(user->info().frameCount, 100);
  EXPECT_EQ(user->info().rateNum, 50);
  ClipPtr untyped = Build(src + "function Cut(v, int n) { v.Trim(0, n - 1) }\nCut(7)");
  EXPECT_EQ(untyped->info().frameCount, 7);
  EXPECT_EQ(untyped->info().width, 720);
}

TEST(ImplicitLast, RefusalsNameTheArgumentsTheScriptMeant) {
  const std::string src = "mpeg2source(\"movie.d2v\")\nfilm = BlankClip(length=10, fps=24)\n";
  // Written as a method, the call never takes `last`.
  EXPECT_EQ(ErrorOf(src + "film.AssumeFPS()"), "line 3: AssumeFPS: argument 'fps' is missing");
  // No `last` yet: the call as written is refused.
  EXPECT_EQ(ErrorOf("film = BlankClip(length=10, fps=24)\nAssumeFPS(film)"),
            "line 2: AssumeFPS: argument 'fps' is missing");
  // Both fail: the clip given first is the one meant...
  EXPECT_EQ(ErrorOf(src + "AssumeFPS(film, 24, 1, true, 5)"),
            "line 3: AssumeFPS: too many arguments (it takes at most 4)");
  // ...and without one, the call with `last` is.
  EXPECT_EQ(ErrorOf(src + "Crop(4)"), "line 3: Crop: argument 'top' is missing");
  EXPECT_EQ(ErrorOf(src + "Crop(4, 4, \"x\", 8)"), "line 3: Crop: width must be an integer, not a string (\"x\")");
  EXPECT_EQ(ErrorOf("Crop(4, 4, -4, -4)"), "line 1: Crop: there is no clip to work on (no clip before this line)");
  EXPECT_EQ(ErrorOf(src + "function Pace(clip c, clip ref) { c.AssumeFPS(ref) }\nPace(1)"),
            "line 4: Pace: ref must be a clip, not an integer (1)");
}

// ---- blocks and values --------------------------------------------------------------------

TEST(Blocks, TryCatchCatchesTheRefusalAndGoesOn) {
  ScriptResult r = RunScript("try {\n  BlankClip(width=64, height=48, pixel_type=\"YV12\")\n  Crop(0, 0, -1, -0)\n}\n"
                             "catch (err) {\n  BlankClip(length=StrLen(err), width=32, height=16)\n}\n");
  EXPECT_EQ(r.clip->info().width, 32);
  EXPECT_EQ(r.clip->info().frameCount,
            static_cast<int>(std::string("line 3: Crop: YV12 width must be even (it would be 63)").size()));
  ClipPtr quiet = Build("try { x = BlankClip(width=48, height=48) } catch(e) { x = BlankClip() }\nx");
  EXPECT_EQ(quiet->info().width, 48);
  EXPECT_EQ(ErrorOf("try { BlankClip() } catch(e) { Assert(false, \"never\") }\nAssert(false, \"stop here\")"),
            "line 2: stop here");
  const std::string failed = "line 1: Assert: the assertion failed";
  EXPECT_EQ(Build("try { Assert(false) } catch(e) { msg = e }\nBlankClip(length=StrLen(msg))")->info().frameCount,
            static_cast<int>(failed.size()));
}

TEST(Blocks, IfElseChainsAndReturnsInsideBlocks) {
  const std::string f = "function Pick(int n) {\n"
                        "  if (n == 0) {\n    return 10\n  } else if (n == 1) {\n    x = 20\n  }\n"
                        "  else\n  {\n    x = 30\n  }\n  x\n}\n";
  EXPECT_EQ(Build(f + "BlankClip(length=Pick(0) + Pick(1) + Pick(2))")->info().frameCount, 60);
  EXPECT_EQ(ErrorOf("if (1) { BlankClip() }"), "line 1: the condition of if must be true or false, not an integer (1)");
  EXPECT_EQ(ErrorOf("BlankClip()\nfor (i = 1, 3, 0) {\n}"), "line 2: for: the step must not be 0");
  EXPECT_EQ(ErrorOf("BlankClip()\n} else {"), "line 2: syntax error: unexpected '}'");
}

TEST(Blocks, ForAndWhileLoops) {
  // for: first, limit and step taken once; the body may move the variable.
  EXPECT_EQ(Build("n = 0\nfor (i = 1, 10) {\n  n = n + i\n}\nBlankClip(length=n)")->info().frameCount, 55);
  EXPECT_EQ(Build("n = 0\nfor (i = 10, 1, -3) { n = n + 1 }\nBlankClip(length=n)")->info().frameCount, 4);
  EXPECT_EQ(Build("n = 0\nfor (i = 0, 10) {\n  i = i + 1\n  n = n + 1\n}\nBlankClip(length=n)")->info().frameCount,
            6); // rounds at 0, 2, 4, 6, 8, 10
  EXPECT_EQ(Build("n = 0\nfor (i = 5, 1) { n = n + 1 }\nBlankClip(length=n + 3)")->info().frameCount, 3);
  EXPECT_EQ(Build("n = 0\nfor (i = 2147483640, 2147483647, 4) { n = n + 1 }\nBlankClip(length=n)")
                ->info()
                .frameCount,
            2) << "the count stops where the integers end";
  // Clips: `last` follows the rounds; while doubles a clip until it is long enough.
  EXPECT_EQ(Build("BlankClip(length=10)\nfor (i = 1, 3) {\n  Trim(1, 0)\n}")->info().frameCount, 7);
  EXPECT_EQ(Build("c = BlankClip(length=1)\nwhile (c.FrameCount < 8) {\n  c = c + c\n}\nc")->info().frameCount, 8);
  // break leaves the innermost loop; return leaves the function.
  EXPECT_EQ(Build("n = 0\nwhile (true) {\n  n = n + 1\n  if (n == 5) {\n    break\n  }\n}\nBlankClip(length=n)")
                ->info()
                .frameCount,
            5);
  EXPECT_EQ(Build("n = 0\nfor (i = 1, 3) {\n  for (j = 1, 100) {\n    n = n + 1\n    if (j == 2) {\n      break\n"
                  "    }\n  }\n}\nBlankClip(length=n)")
                ->info()
                .frameCount,
            6);
  EXPECT_EQ(Build("function Root(int x) {\n  for (i = 1, x) {\n    if (i * i >= x) {\n      return i\n    }\n  }\n}\n"
                  "BlankClip(length=Root(50))")
                ->info()
                .frameCount,
            8);

  EXPECT_EQ(ErrorOf("for (i = 1.5, 3) {\n}"), "line 1: for: the first value must be an integer, not a float (1.5)");
  EXPECT_EQ(ErrorOf("for (i = 1, \"3\") {\n}"), "line 1: for: the last value must be an integer, not a string (\"3\")");
  EXPECT_EQ(ErrorOf("for (i = 1, 3) {\n  i = \"x\"\n}"),
            "line 1: for: the loop variable 'i' no longer holds an integer");
  EXPECT_EQ(ErrorOf("while (1) {\n}"), "line 1: while: the condition must be true or false, not an integer (1)");
  EXPECT_EQ(ErrorOf("BlankClip()\nfor (i = 0, 2000000) {\n}"), "line 2: for: the loop runs more than 1000000 times");
  EXPECT_EQ(ErrorOf("for (1 = 2, 3) {\n}"),
            "line 1: syntax error: expected 'name = first value' after 'for (', found the number 1");
}

TEST(Values, StringsOverSeveralLinesKeepTheirLineCount) {
  const std::string strings = "s = \"one\ntwo\"\nt = \"\"\"three\n\"four\"\n\"\"\"\n";
  ClipPtr c = Build(strings + "BlankClip(length=StrLen(s) + StrLen(t))");
  EXPECT_EQ(c->info().frameCount, 7 + 13);
  EXPECT_EQ(ErrorOf(strings + "BlankClip(pixel_type=\"YV12\")\nCrop(0, 0, -1, -0)"),
            "line 7: Crop: YV12 width must be even (it would be 639)");
  FakeSource src;
  RunScript("mpeg2source(\"\"\"a \"b\".d2v\"\"\")", &src, "/f");
  EXPECT_EQ(src.lastPath, "/f/a \"b\".d2v");
}

TEST(Values, ArraysHoldValuesAndClips) {
  ClipPtr c = Build("sizes = [[640, 352],\n         [720, 576]]\n"
                    "parts = [BlankClip(length=3, width=64, height=48), BlankClip(length=4, width=64, height=48)]\n"
                    "function Total(clip_array a, int \"i\") {\n  i = Default(i, 0)\n"
                    "  return i >= ArraySize(a) ? 0 : a[i].FrameCount + Total(a, i + 1)\n}\n"
                    "BlankClip(length=Total(parts) + ArraySize([]), width=sizes[1][0] / 10 * 2, height=sizes[0][1] / 2)");
  EXPECT_EQ(c->info().frameCount, 7);
  EXPECT_EQ(c->info().width, 144);
  EXPECT_EQ(c->info().height, 176);
  EXPECT_EQ(ErrorOf("a = [1, 2]\nBlankClip(length=a[2])"), "line 2: the index 2 lies outside the array (0 to 1)");
  EXPECT_EQ(ErrorOf("a = []\nBlankClip(length=a[0])"), "line 2: the index 0 lies outside the array (it is empty)");
  EXPECT_EQ(ErrorOf("a = 5\nBlankClip(length=a[0])"), "line 2: only an array can be indexed, not an integer (5)");
  EXPECT_EQ(ErrorOf("a = [1]\nBlankClip(length=a[\"0\"])"),
            "line 2: an array index must be an integer, not a string (\"0\")");
  EXPECT_EQ(ErrorOf("function F(array a) { 1 }\nBlankClip(length=F(5))"), "line 2: F: a must be an array, not an integer (5)");
  EXPECT_EQ(ErrorOf("BlankClip(length=[1, 2])"), "line 1: BlankClip: length must be an integer, not an array of 2 values");
}

TEST(Values, TheLanguagesOwnFunctions) {
  ClipPtr c = Build("n = Select(2, 7, 8, 9) * 10 + Max(1, 3, 2) - Min(4, 5)\n"           // 89
                    "s = UCase(LeftStr(\"movie.d2v\", 5)) + MidStr(\"abcdef\", 2, 3) + RightStr(\"xyz\", 1)\n"
                    "BlankClip(length=n + (s == \"MOVIEbcdz\" ? 1 : 0) + Ord(Chr(3)) + Int(Sqrt(16)), width=64, "
                    "height=48)");
  EXPECT_EQ(c->info().frameCount, 89 + 1 + 3 + 4);
  EXPECT_EQ(Build("x = IsInt(1) && IsFloat(1) && !IsInt(1.5) && IsString(\"\") && IsBool(no) && !IsClip(3)\n"
                  "BlankClip(length=x ? 5 : 1)")
                ->info()
                .frameCount,
            5);
  EXPECT_EQ(ErrorOf("BlankClip(length=Select(3, 1, 2))"), "line 1: Select: the index 3 names no item");
  // What a script may ask about its own world.
  ScriptResult asked = RunScript(
      "function Mine() { 1 }\nx = 0\n"
      "ok = FunctionExists(\"crop\") && FunctionExists(\"DGDecode_mpeg2source\") && FunctionExists(\"mine\")\n"
      "ok = ok && FunctionExists(\"Eval\") && !FunctionExists(\"NoSuchFilter\") && VarExist(\"x\") && !VarExist(\"y\")\n"
      "BlankClip(length=ok ? 12 : 1, width=64, height=48)\nApply(\"Trim\", 2, 0)\nApply(\"Mystery\", last)");
  EXPECT_EQ(asked.clip->info().frameCount, 10);
  EXPECT_EQ(asked.notes.notPreviewed, (std::vector<std::string>{"Mystery"}));
  EXPECT_EQ(Build("Eval(\"BlankClip(length=\" + String(6) + \")\")\nEval(\"Trim(1, 0)\")")->info().frameCount, 5);
  EXPECT_EQ(ErrorOf("BlankClip()\nEval(\"Trim(\")"),
            "line 2: Eval: line 1: syntax error: the statement ends too early");
}

// ---- plugin names and what gives no clip ----------------------------------------------------

TEST(PluginNames, APluginPrefixIsDroppedWhenTheRestIsKnown) {
  FakeSource src;
  ScriptResult r = RunScript("LoadPlugin(\"C:\\AviSynth\\plugins\\DGDecode.dll\")\n"
                             "LoadCPlugin(\"yadif.dll\")\nLoadVirtualDubPlugin(\"x.vdf\", \"Logo\", 0)\n"
                             "Load_Stdcall_Plugin(\"yadif.dll\")\n"
                             "DGDecode_mpeg2source(\"movie.d2v\", info=3)\n"
                             "Decomb_Telecide(order=1)\n_2dcleanYUY2(0, 15, 3, 3)\nMy_Crop(8, 8, -8, -8)\n",
                             &src, "/dvd");
  EXPECT_EQ(src.lastPath, "/dvd/movie.d2v");
  EXPECT_EQ(r.clip->info().width, 704);
  EXPECT_TRUE(r.notes.notPreviewed.empty());
  EXPECT_EQ(r.notes.approximated, (std::vector<std::string>{"_2dcleanYUY2"}));
}

TEST(PluginNames, AnUnknownSourceIsBlamedOnItsOwnLine) {
  std::string script = "LoadPlugin(\"DGDecodeNV.dll\")\nDGSource(\"movie.dgi\")\n";
  for (int k = 0; k < 27; ++k)
    script += "# tuning notes\n";
  script += "Crop(8, 0, -8, -0)\n";
  EXPECT_EQ(ErrorOf(script), "line 2: DGSource is not known to the engine and gives no clip, so Crop on line 30 "
                             "has none to work on");
  EXPECT_EQ(ErrorOf("FFVideoSource(\"a.mkv\")\nx = last.Width"),
            "line 1: FFVideoSource is not known to the engine and gives no clip, so 'last' on line 2 has none to "
            "work on");
}

// ---- Import ----------------------------------------------------------------------------------

TEST(Import, LibrariesAreFoundBesideTheScriptAndByTheirWindowsPathsTail) {
  ScriptFolder dir;
  dir.write("lib/helpers.avsi", "function Border(clip c, int \"w\") { c.AddBorders(Default(w, 8), 0, Default(w, 8), 0) }\n"
                                "Import(\"more/inner.avsi\")\n");
  dir.write("lib/more/inner.avsi", "global innerLoaded = true\n");
  dir.write("scripts/Deint.avsi", "function Narrow(clip c) { c.Crop(0, 0, -32, -0) }\n");
  ScriptResult r = RunScript("Import(\"lib/helpers.avsi\")\n"
                             "Import(\"D:\\Encoding\\Scripts\\deint.AVSI\")\n"
                             "Import(\"C:\\Program Files\\AviSynth\\plugins\\MaskTools.avsi\")\n"
                             "Import(\"gone.avsi\")\n"
                             "Import(\"gone.avsi\")\n"
                             "mpeg2source(\"movie.d2v\")\n"
                             "Border(w=16).Narrow()\n"
                             "innerLoaded ? last : BlankClip()\n",
                             nullptr, dir.path());
  EXPECT_EQ(r.clip->info().width, 720);
  EXPECT_EQ(r.notes.missingImports,
            (std::vector<std::string>{"C:\\Program Files\\AviSynth\\plugins\\MaskTools.avsi", "gone.avsi"}));
  EXPECT_TRUE(r.notes.notPreviewed.empty());
}

TEST(Import, TheImportedScriptGivesItsValueAndItsOwnFolder) {
  ScriptFolder dir;
  dir.write("episodes/ep1.avs", "mpeg2source(\"ep1.d2v\")\nTrim(0, 49)\n");
  FakeSource src;
  ScriptResult r = RunScript("a = Import(\"episodes/ep1.avs\")\nb = BlankClip(a, length=10)\na + b", &src, dir.path());
  EXPECT_EQ(src.lastPath, dir.path("episodes/ep1.d2v"));
  EXPECT_EQ(r.clip->info().frameCount, 60);
}

TEST(Import, TheScriptKnowsItsOwnNameAndFolderAndSoDoesAnImportedOne) {
  ScriptFolder dir;
  // Lengths tell the strings apart: the name of the file, then of its folder.
  dir.write("lib/names.avsi", "global libFile = ScriptFile()\nglobal libDir = ScriptDir()\n");
  dir.write("main.avs", "Import(ScriptDir() + \"lib/names.avsi\")\n"
                        "BlankClip(length=StrLen(ScriptFile()), width=StrLen(libFile) * 2, "
                        "height=StrLen(libDir) * 2 - StrLen(ScriptDir()) * 2)\n"
                        "Assert(ScriptName() == \"" + dir.path("main.avs") + "\")\n");
  ScriptResult r = script::EvaluateScriptFile(dir.path("main.avs"));
  EXPECT_EQ(r.clip->info().frameCount, 8);         // "main.avs"
  EXPECT_EQ(r.clip->info().width, 20);             // "names.avsi", twice
  EXPECT_EQ(r.clip->info().height, 8);             // "lib/" more than the script's folder
  EXPECT_TRUE(r.notes.missingImports.empty());
}

TEST(Import, CyclesAndBrokenFilesAreRefusedNamingTheFile) {
  ScriptFolder dir;
  dir.write("a.avsi", "Import(\"b.avsi\")\n");
  dir.write("b.avsi", "x = 1\nImport(\"a.avsi\")\n");
  dir.write("broken.avsi", "function F() {\n  1 +\n}\n");
  dir.write("fails.avsi", "function Bad(clip c) {\n  c.Crop(0, 0, -1, -0)\n}\n");
  auto error = [&](const std::string &text) {
    try {
      RunScript(text, nullptr, dir.path());
    } catch (const EngineError &e) {
      return std::string(e.what());
    }
    return std::string();
  };
  EXPECT_EQ(error("BlankClip()\nImport(\"a.avsi\")"),
            "line 2: Import: a.avsi, line 1: Import: b.avsi, line 2: Import: a.avsi imports itself in a circle "
            "(a.avsi -> b.avsi -> a.avsi)");
  EXPECT_EQ(error("Import(\"broken.avsi\")\nBlankClip()"),
            "line 1: Import: broken.avsi, line 2: syntax error: the statement ends too early");
  EXPECT_EQ(error("Import(\"fails.avsi\")\nBlankClip(pixel_type=\"YV12\")\nBad()"),
            "line 3: Bad (fails.avsi, line 2): Crop: YV12 width must be even (it would be 639)");
}

} // namespace
} // namespace reelwork::engine::test

// ---- ApplyRange, Animate, comments and the script's own name ------------------------------------

namespace reelwork::engine::test {
namespace {

TEST(RangeFilters, ApplyRangeFiltersItsFramesAndAnimateMovesItsArguments) {
  // Row 0 of source frame n is 4n; `inverted` is the filter on every frame.
  const std::string src = "mpeg2source(\"movie.d2v\")\n";
  ClipPtr inverted = Build(src + "Levels(0, 1.0, 255, 255, 0)");
  auto invertedRow = [&](int n) { return LumaRow(*inverted->frame(n), 0); };
  ASSERT_NE(invertedRow(10), 40);
  ClipPtr range = Build(src + "ApplyRange(10, 19, \"Levels\", 0, 1.0, 255, 255, 0)");
  ASSERT_EQ(range->info().frameCount, 100);
  EXPECT_EQ(LumaRow(*range->frame(9), 0), 36);
  EXPECT_EQ(LumaRow(*range->frame(10), 0), invertedRow(10));
  EXPECT_EQ(LumaRow(*range->frame(19), 0), invertedRow(19));
  EXPECT_EQ(LumaRow(*range->frame(20), 0), 80);
  ClipPtr one = Build(src + "last.ApplyRange(5, 5, \"Levels\", 0, 1.0, 255, 255, 0)");
  EXPECT_EQ(LumaRow(*one->frame(5), 0), invertedRow(5));
  EXPECT_EQ(LumaRow(*one->frame(6), 0), 24);

  script::ScriptResult anim =
      RunScript(src + "Animate(0, 10, \"Levels\", 0, 1.0, 255, 0, 255, 0, 1.0, 255, 255, 0)");
  ClipPtr unchanged = Build(src + "Levels(0, 1.0, 255, 0, 255)");
  EXPECT_EQ(anim.clip->info().frameCount, 100);
  EXPECT_EQ(LumaRow(*anim.clip->frame(0), 0), LumaRow(*unchanged->frame(0), 0))
      << "the start values up to the first frame";
  EXPECT_EQ(LumaRow(*anim.clip->frame(10), 0), invertedRow(10)) << "the end values from the last frame on";
  EXPECT_EQ(LumaRow(*anim.clip->frame(50), 0), invertedRow(50));
  // Halfway, step 5 of 10: output_low (0*5 + 255*5) / 10 = 127, output_high likewise.
  ClipPtr halfway = Build(src + "Levels(0, 1.0, 255, 127, 127)");
  EXPECT_EQ(LumaRow(*anim.clip->frame(5), 0), LumaRow(*halfway->frame(5), 0));
  EXPECT_TRUE(anim.notes.approximated.empty());
  // Over a range longer than the engine makes filters for, the nearest is shown.
  script::ScriptResult longer =
      RunScript(src + "Animate(0, 1000, \"Levels\", 0, 1.0, 255, 0, 255, 0, 1.0, 255, 255, 0)");
  EXPECT_EQ(longer.notes.approximated, (std::vector<std::string>{"Animate"}));
  // Without a clip, the arguments hold it.
  ClipPtr clipless = Build("c = BlankClip(length=20, width=64, height=48)\n"
                           "Animate(0, 19, \"Crop\", c, 0, 0, 32, 32, c, 0, 0, 32, 32)");
  EXPECT_EQ(clipless->info().width, 32);

  EXPECT_EQ(ErrorOf(src + "ApplyRange(10, 19, \"Crop\", 8, 8, -8, -8)"),
            "line 2: ApplyRange: Crop must keep the picture's size and format");
  EXPECT_EQ(ErrorOf(src + "ApplyRange(20, 10, \"Levels\", 0, 1.0, 255, 255, 0)"),
            "line 2: ApplyRange: the last frame must not come before the first");
  EXPECT_EQ(ErrorOf(src + "Animate(0, 10, \"Levels\", 0, 1.0, 255, 0, 255, 0, 1.0, 255, 255)"),
            "line 2: Animate: the start and end arguments must be two lists of the same length");
  EXPECT_EQ(ErrorOf(src + "Animate(0, 10, \"Subtitle\", \"a\", \"b\")"),
            "line 2: Animate: start and end argument 1 must be of the same type (strings and true/false the same "
            "value)");
  EXPECT_EQ(ErrorOf("ApplyRange(0, 1, \"Levels\", 0, 1.0, 255, 255, 0)"),
            "line 1: ApplyRange: there is no clip to work on (no clip before this line)");
}

TEST(Comments, BracketCommentsNestAndSlashCommentsDoNot) {
  EXPECT_EQ(Build("BlankClip(length=10)\n[* outer [* inner *]\n still a comment *]\nTrim(0, 4)")->info().frameCount, 5);
  EXPECT_EQ(Build("BlankClip(length=10)\n/* one /* two */\nTrim(0, 4)")->info().frameCount, 5);
  EXPECT_EQ(ErrorOf("BlankClip()\n[* [* *]\n"), "line 2: syntax error: the comment that starts here is not closed");
}

} // namespace
} // namespace reelwork::engine::test
