// A bounded, deterministic fuzz run over the parser and evaluator: mutated
// scripts must either build a clip or be refused with an EngineError that
// names a line, never crash or raise anything else.

#include <gtest/gtest.h>

#include <cstdint>
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
      static const char *numbers[] = {"0", "-0", "1", "-1", "3", "2147483647", "99999999999", "4095", "-719"};
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
  FakeSource small;
  small.width = 64;
  small.height = 48;
  small.frames = 30;
  int built = 0, refused = 0;
  for (int i = 0; i < 5000; ++i) {
    const std::string text = Mutate(kSeeds[i % std::size(kSeeds)], rng);
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

} // namespace
} // namespace reelwork::engine::test
