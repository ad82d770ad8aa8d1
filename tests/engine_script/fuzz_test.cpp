// A bounded, deterministic fuzz run over the parser and evaluator: mutated
// scripts must either build a clip or be refused with an EngineError that
// names a line, never crash or raise anything else.

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <random>
#include <regex>

#include "engine/script/parser.h"
#include "script_fixture.h"

namespace reelwork::engine::test {
namespace {

const char *const kSeeds[] = {
    "mpeg2source(\"movie.d2v\",idct=0,cpu=4,iPP=true)\nTelecide(order=1,post=2)\nDecimate(5)\n",
    "mpeg2source(\"movie.d2v\")\nAssumeTFF().SeparateFields()\n# ------\n#    then field order = 1\n",
    "mpeg2source(\"movie.d2v\")\nCrop(8,74,-8,-74)\nBicubicResize(640,352)\nSharpen(0.25)\n",
    "mpeg2source(\"movie.d2v\")\nConvertToYUY2()\n_2dcleanYUY2(0,15,3,3)\nConvertToRGB()\nRGBAdjust(1.0,1.0,1.0,0)\n",
    "mpeg2source(\"movie.d2v\")\nColorYUV(cont_y=0, cont_u=0, cont_v=0)\nTweak(0,1.0,0,1.0)\nBob()\nRepal()\n",
    "a = BlankClip(length=20, width=64, height=48, pixel_type=\"YV12\")\nb = a.Trim(2, \\\n -5)\n"
    "return (a + b).SelectOdd().Weave() /* x */\n",
    "x = 3 * (2 + 4) % 5 > 1 ? \"\"\"s\"\"\" : \"t\"\nColorBars(64, 48).Trim(0, x == \"s\" ? 4 : 2).Lanczos4Resize(32,24)\n",
    "SmoothDeinterlace(tff=true,doublerate=true,lacethresh=24)\nmpeg2source(\"D:\\RIP\\M.D2V\").Spline36Resize(352,288)\n",
    "function Half(clip c, int \"n\") {\n  n = Default(n, 2)\n  return c.SelectEvery(n, 0)\n}\n"
    "global g = \"\"\"x\ny\"\"\"\nDGDecode_mpeg2source(\"movie.d2v\").Half(n=2)\n",
    "try {\n  mpeg2source(\"movie.d2v\")\n  Crop(0,0,-1,-0)\n} catch(err) {\n  BlankClip(length=StrLen(err))\n}\n"
    "if (Width > 100) {\n  Trim(0, 9)\n} else if (Defined(g)) {\n  Trim(1, 2)\n} else {\n  Trim(3, 4)\n}\n",
    "Import(\"C:\\x\\lib.avsi\")\nLoadPlugin(\"a.dll\")\nfunction F(n) { n < 1 ? 0 : F(n - 1) + 1 }\n"
    "mpeg2source(\"movie.d2v\").Trim(0, F(5)) + Eval(\"last.Trim(0, 3)\")\n",
    "mpeg2source(\"movie.d2v\")\nConvertToYV24(interlaced=true)\nCrop(1,3,-5,-7)\nAddBorders(1,1,3,1)\n"
    "ConvertToYV16(chromaresample=\"lanczos\", param1=3)\nBicubicResize(322,242)\nConvertToY8()\nConvertToRGB32()\n",
};

const char kAlphabet[] = "()\",.=+-*/%!?:#\\\n\r\t $0123456789abcxyzTFFmpeg_[]{}<>&|\"\"\"";

std::string Mutate(std::string s, std::mt19937 &rng) {
  auto pick = [&](size_t n) { return n == 0 ? size_t{0} : static_cast<size_t>(rng() % n); };
  const int steps = 1 + static_cast<int>(rng() % 4);
  for (int i = 0; i < steps; ++i) {
    switch (rng() % 7) {
    case 0: // delete a run
      if (!s.empty()) {
        const size_t at = pick(s.size());
        s.erase(at, 1 + pick(4));
      }
      break;
    case 1: // insert a character of the syntax
      s.insert(pick(s.size() + 1), 1, kAlphabet[pick(sizeof kAlphabet - 1)]);
      break;
    case 2: // insert any byte
      s.insert(pick(s.size() + 1), 1, static_cast<char>(rng() & 0xff));
      break;
    case 3: // duplicate a span
      if (!s.empty()) {
        const size_t at = pick(s.size());
        s.insert(pick(s.size() + 1), s.substr(at, 1 + pick(12)));
      }
      break;
    case 4: { // splice in a piece of another seed
      const std::string other = kSeeds[pick(std::size(kSeeds))];
      const size_t at = pick(other.size());
      s.insert(pick(s.size() + 1), other.substr(at, 1 + pick(30)));
      break;
    }
    case 5: { // replace a digit run with an awkward number
      static const char *numbers[] = {"0",    "-0",    "1",          "-1",          "3",     "2147483647",
                                      "99999999999", "4095", "-719", "2147483648", "1e308", "$7FFFFFFF",
                                      "-2147483647-1", "0.5e-300"};
      const size_t at = s.find_first_of("0123456789", pick(s.size()));
      if (at != std::string::npos) {
        size_t end = at;
        while (end < s.size() && std::isdigit(static_cast<unsigned char>(s[end])))
          ++end;
        s.replace(at, end - at, numbers[pick(std::size(numbers))]);
      }
      break;
    }
    case 6: // swap two characters
      if (s.size() > 1)
        std::swap(s[pick(s.size())], s[pick(s.size())]);
      break;
    }
  }
  return s;
}

// Frames are pulled only when no literal could make a huge picture.
bool SafeToPull(const std::string &script, const ClipPtr &clip) {
  static const std::regex bigNumber("[0-9]{4,}|\\$");
  const ClipInfo &vi = clip->info();
  return !std::regex_search(script, bigNumber) && vi.width <= 1024 && vi.height <= 1024;
}

TEST(ParserFuzz, MutatedScriptsBuildOrAreRefusedWithALine) {
  std::mt19937 rng(20240607u);
  // Grown lines: long operator chains, long argument lists and method chains.
  auto grow = [&rng](std::string text) {
    static const char *pieces[] = {"+1", ".FlipVertical()", ",1", ".Trim(0,-1)", "+last", "*2147483647", "+\"s\""};
    const std::string piece = pieces[rng() % std::size(pieces)];
    const size_t at = text.find('\n', static_cast<size_t>(rng() % (text.size() + 1)));
    std::string run;
    for (int k = 0, n = 1 + static_cast<int>(rng() % 1200); k < n; ++k)
      run += piece;
    text.insert(at == std::string::npos ? text.size() : at, run);
    return text;
  };
  FakeSource small;
  small.width = 64;
  small.height = 48;
  small.frames = 30;
  int built = 0, refused = 0;
  for (int i = 0; i < 5000; ++i) {
    std::string text = Mutate(kSeeds[i % std::size(kSeeds)], rng);
    if (i % 25 == 0)
      text = grow(std::move(text));
    try {
      script::ScriptResult r = RunScript(text, &small);
      ASSERT_TRUE(r.clip) << text;
      ++built;
      if (SafeToPull(text, r.clip) && r.clip->info().frameCount > 0) {
        r.clip->frame(0);
        r.clip->frame(r.clip->info().frameCount - 1);
      }
    } catch (const EngineError &e) {
      ++refused;
      ASSERT_EQ(std::string(e.what()).rfind("line ", 0), 0u) << "no line in: " << e.what() << "\n" << text;
    }
  }
  // Both outcomes must be common, or the mutator is not exploring.
  EXPECT_GT(built, 400);
  EXPECT_GT(refused, 400);
}


std::string Repeat(const std::string &piece, size_t times) {
  std::string out;
  out.reserve(piece.size() * times);
  for (size_t k = 0; k < times; ++k)
    out += piece;
  return out;
}

// The script's error ("" when it runs), with the processor time it took.
std::string TimedError(const std::string &text, double &seconds, bool pullFrame = false) {
  const std::clock_t start = std::clock();
  std::string error;
  try {
    script::ScriptResult r = RunScript(text);
    if (pullFrame)
      r.clip->frame(r.clip->info().frameCount - 1);
  } catch (const EngineError &e) {
    error = e.what();
  }
  seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
  return error;
}

TEST(ScriptLimits, LongChainsAreRefusedBeforeTheyExhaustTheStack) {
  double t = 0;
  const std::string tooLong =
      "line 1: syntax error: the expression is too long (more than 1000 operations or calls inside each other)";
  EXPECT_EQ(TimedError("x = " + Repeat("1+", 30000) + "1\nBlankClip()", t), tooLong);
  EXPECT_EQ(TimedError("BlankClip()" + Repeat(".FlipVertical()", 20000), t), tooLong);
  EXPECT_EQ(TimedError("x = " + Repeat("-", 30000) + "1", t), "line 1: syntax error: the expression is nested too deeply");
  // Just inside the bounds the chains run, and a frame comes through them.
  EXPECT_EQ(TimedError("x = " + Repeat("1-", 998) + "1\nBlankClip(width=64, height=48, length=x + 998)", t, true), "");
  EXPECT_EQ(TimedError("BlankClip(width=64, height=48)" + Repeat(".FlipVertical()", 998), t, true), "");
  // Filters a line each: the graph depth is bounded too.
  EXPECT_EQ(TimedError("BlankClip(width=64, height=48)\n" + Repeat("FlipVertical()\n", 2000), t, true), "");
  EXPECT_EQ(TimedError("BlankClip(width=64, height=48)\n" + Repeat("FlipVertical()\n", 2001), t),
            "line 2002: FlipVertical: the clip would pass through more than 2000 filters");
  // Recursion with a deep expression at every level meets the stack budget.
  EXPECT_EQ(TimedError("function R(int n) { n == 0 ? 0 : R(n - 1)" + Repeat(" + 1", 900) +
                           " }\nBlankClip(length=R(199))",
                       t),
            "line 1: the script is nested too deeply to run (expressions and function calls inside each other)");
}

TEST(ScriptLimits, CallsWithHundredsOfThousandsOfArgumentsBindInLinearTime) {
  // Comparing argument names pairwise made such a call take half a minute.
  const size_t n = 300000;
  struct Case {
    std::string script;
    std::string error;
  } cases[] = {
      {"BlankClip()\nCrop(" + Repeat("2,", n) + "2)", "line 2: Crop: align must be true or false, not an integer (2)"},
      {"BlankClip()\nMystery(" + Repeat("1,", n) + "1)", ""},
      {"function F(clip c, \"a\") { c }\nBlankClip()\nF(" + Repeat("a=1,", n) + "b=1)",
       "line 3: F: argument 'a' is given twice"},
      {"BlankClip()\nCrop(" + Repeat("left=1,", n) + "top=1)", "line 2: Crop: argument 'left' is given twice"},
  };
  for (const Case &c : cases) {
    double t = 0;
    EXPECT_EQ(TimedError(c.script, t), c.error) << c.script.substr(0, 40);
    EXPECT_LT(t, 20.0) << c.script.substr(0, 40);
  }
}

TEST(ScriptLimits, HugeScriptsAreRefusedOrRunWithinSeconds) {
  const size_t ten = 10u << 20;
  const std::string tooLarge = "line 1: the script is too large (10 MB; a script may hold at most 4 MB)";
  for (const std::string &piece : {std::string("1+"), std::string("(("), std::string("a,"), std::string(" ")}) {
    double t = 0;
    EXPECT_EQ(TimedError("BlankClip(" + Repeat(piece, ten / piece.size()) + ")", t), tooLarge);
    EXPECT_LT(t, 5.0);
  }
  // Under the bound: one huge string, one huge comment, a million values.
  double t = 0;
  EXPECT_EQ(TimedError("s = \"" + std::string(3u << 20, 'a') + "\"\nBlankClip(length=StrLen(s) / 65536)", t), "");
  EXPECT_EQ(TimedError("BlankClip() # " + std::string(3u << 20, '#'), t), "");
  EXPECT_EQ(TimedError("BlankClip()\nMystery(" + Repeat("1,", 550000) + "1)", t),
            "line 2: syntax error: the script is too large (more than 500000 values, names and operations)");
  EXPECT_LT(t, 40.0);
}

TEST(ScriptLimits, LargeNumbersWrapOrAreRefused) {
  EXPECT_EQ(Build("BlankClip(length=2147483647 + 2 + 2147483647)")->info().frameCount, 0);
  EXPECT_EQ(Build("x = -2147483647 - 1\nBlankClip(length=(x / -1 == x && x % -1 == 0) ? 5 : 1)")->info().frameCount, 5);
  EXPECT_EQ(Build("BlankClip(length=$FFFFFFFF + 3)")->info().frameCount, 2);
  EXPECT_EQ(ErrorOf("BlankClip(length=2147483648)"), "line 1: syntax error: the number 2147483648 is too large");
  EXPECT_EQ(ErrorOf("BlankClip(length=Int(1.0e308 * 10))"), "line 1: Int: the number is out of the integer range");
  EXPECT_EQ(ErrorOf("BlankClip(length=Select(2147483647, 1))"), "line 1: Select: the index 2147483647 names no item");
  EXPECT_EQ(ErrorOf("BlankClip(length=StrLen(FillStr(2147483647)))"),
            "line 1: FillStr: the count must lie between 1 and the 4 MB a string may hold");
  EXPECT_EQ(Build("BlankClip(length=StrLen(MidStr(LeftStr(\"abc\", 2147483647), 2147483647)) + 4)")
                ->info()
                .frameCount,
            4);
}

} // namespace
} // namespace reelwork::engine::test
