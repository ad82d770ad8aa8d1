// Scripts over a real MPEG-2 rip made by the sample maker: the filters keep
// their geometry, count and rate on decoded video, and frame selection picks
// the pictures it names (each sample picture shows its own number). Whole
// scripts as DVD encoders write them (GUI headers with plugin and Import
// lines, function libraries, try/catch, trims and splices) open with the
// figures the encoder gets and name what the preview leaves out.

#include <gtest/gtest.h>

#include <fstream>

#include "engine/sample_media.h"
#include "engine/script/evaluator.h"
#include "support/media_fixture.h"

namespace reelwork::engine::test {
namespace {

class RealSource : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    cache_ = new testing::IsolatedIndexCache();
    folder_ = new testing::TempFolder();
    SampleOptions o;
    o.width = 720;
    o.height = 576;
    o.seconds = 2; // 50 frames, open GOPs with B-frames
    rip_ = new SampleRip(testing::MakeTestRip(folder_->path(), o));
    // The encoder's function library, kept beside the project in a folder
    // whose name differs in case from the Windows path the scripts give.
    Write("Lib/dvdtools.avsi",
          "# DVD tools: chapters, borders and field work\r\n"
          "function Chapter(clip c, int first, int last) {\r\n"
          "  return c.Trim(first, last)\r\n"
          "}\r\n"
          "function Mod16Crop(clip c, int \"top\", int \"bottom\") {\r\n"
          "  top = Default(top, 0)\r\n"
          "  bottom = Default(bottom, 0)\r\n"
          "  c.Crop(0, top, 0, -bottom)\r\n"
          "  h = Height - Height % 16\r\n"
          "  Crop(0, 0, 0, h)\r\n"
          "}\r\n"
          "global DvdToolsVersion = 3\r\n");
  }
  static void TearDownTestSuite() {
    delete rip_;
    delete folder_;
    delete cache_;
  }

  static void Write(const std::string &relative, const std::string &text) {
    const std::filesystem::path p = folder_->path() / relative;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
  }
  static std::string D2v() { return rip_->d2v.filename().string(); }

  // Writes the script beside the D2V, as the program does, and runs it.
  static script::ScriptResult OpenScript(const std::string &text) {
    Write("movie.avs", text);
    return script::EvaluateScriptFile((folder_->path() / "movie.avs").string());
  }
  static ClipPtr Open(const std::string &filterLines) {
    return OpenScript("mpeg2source(\"" + D2v() + "\")\r\n" + filterLines).clip;
  }

  static testing::IsolatedIndexCache *cache_;
  static testing::TempFolder *folder_;
  static SampleRip *rip_;
};

testing::IsolatedIndexCache *RealSource::cache_ = nullptr;
testing::TempFolder *RealSource::folder_ = nullptr;
SampleRip *RealSource::rip_ = nullptr;

TEST_F(RealSource, FieldsTrimAndDecimateOnDecodedVideo) {
  ClipPtr src = Open("");
  ASSERT_EQ(src->info().width, 720);
  ASSERT_EQ(src->info().height, 576);
  const int frames = src->info().frameCount;
  ASSERT_EQ(frames, rip_->frames);

  ClipPtr fields = Open("AssumeTFF().SeparateFields()\r\n");
  EXPECT_EQ(fields->info().width, 720);
  EXPECT_EQ(fields->info().height, 288);
  EXPECT_EQ(fields->info().frameCount, 2 * frames);
  EXPECT_EQ(fields->info().rateNum, 50);
  EXPECT_EQ(fields->info().rateDen, 1);
  EXPECT_TRUE(fields->info().fieldBased);

  ClipPtr trimmed = Open("Trim(10,19)\r\n");
  ASSERT_EQ(trimmed->info().frameCount, 10);
  EXPECT_EQ(ReadFrameNumber(*trimmed->frame(0)), 10);
  EXPECT_EQ(ReadFrameNumber(*trimmed->frame(9)), 19);

  ClipPtr odd = Open("SelectOdd()\r\n");
  EXPECT_EQ(ReadFrameNumber(*odd->frame(3)), 7);

  ClipPtr decimated = Open("Decimate(5)\r\n");
  EXPECT_EQ(decimated->info().frameCount, frames * 4 / 5);
  EXPECT_EQ(decimated->info().rateNum, 20);
  // Every picture comes from its own cycle of five, in order.
  int previous = -1;
  for (int n = 0; n < 8; ++n) {
    const int shown = ReadFrameNumber(*decimated->frame(n));
    EXPECT_GT(shown, previous);
    EXPECT_EQ(shown / 5, n / 4) << "output frame " << n;
    previous = shown;
  }
}

TEST_F(RealSource, TheFilterChainOfAFinishedScript) {
  ClipPtr c = Open("Telecide(order=1,post=2)\r\nCrop(8,74,-8,-74)\r\nMipSmooth(preset = \"movieHQ\")\r\n"
                   "BicubicResize(640,352)\r\nSharpen(0.25)\r\nConvertToRGB()\r\n");
  EXPECT_EQ(c->info().width, 640);
  EXPECT_EQ(c->info().height, 352);
  EXPECT_EQ(c->info().format, PixelFormat::RGB32);
  EXPECT_EQ(c->frame(c->info().frameCount - 1)->width, 640);
  ClipPtr bob = Open("Bob()\r\nRepal()\r\n");
  EXPECT_EQ(bob->info().height, 576);
  EXPECT_EQ(bob->info().frameCount, 2 * rip_->frames * 5 / 12);
  EXPECT_EQ(bob->info().rateNum * 6, bob->info().rateDen * 125); // 50 fields a second, 5 of every 12
}

TEST_F(RealSource, AGuiHeaderWithPluginsAndALibraryOpensWithTheEncodersFigures) {
  script::ScriptResult r = OpenScript(
      "# Created by an encoding GUI\r\n"
      "LoadPlugin(\"C:\\Program Files\\AviSynth 2.5\\plugins\\DGDecode.dll\")\r\n"
      "LoadPlugin(\"C:\\Program Files\\AviSynth 2.5\\plugins\\Decomb.dll\")\r\n"
      "LoadCPlugin(\"C:\\Program Files\\AviSynth 2.5\\plugins\\yadif.dll\")\r\n"
      "LoadVirtualDubPlugin(\"C:\\VirtualDub\\plugins\\logoaway.vdf\", \"LogoAway\", 0)\r\n"
      "Import(\"C:\\Program Files\\AviSynth 2.5\\plugins\\DeBlock_QED_MT2.avsi\")\r\n"
      "Import(\"D:\\Encoding\\lib\\DVDTOOLS.avsi\")\r\n"
      "\r\n"
      "DGDecode_mpeg2source(\"" + D2v() + "\", info=3)\r\n"
      "Decomb_Telecide(order=1, guide=2, post=2)\r\n"
      "DeBlock_QED()\r\n"
      "Mod16Crop(top=8, bottom=8)\r\n"
      "LanczosResize(640, 352)\r\n"
      "Chapter(0, DvdToolsVersion * 10 - 1) ++ Chapter(40, 49)\r\n");
  const ClipInfo &vi = r.clip->info();
  EXPECT_EQ(vi.width, 640);
  EXPECT_EQ(vi.height, 352);
  EXPECT_EQ(vi.frameCount, 40);
  EXPECT_EQ(vi.rateNum, 25);
  EXPECT_EQ(vi.rateDen, 1);
  EXPECT_EQ(r.notes.missingImports,
            (std::vector<std::string>{"C:\\Program Files\\AviSynth 2.5\\plugins\\DeBlock_QED_MT2.avsi"}));
  EXPECT_TRUE(r.notes.notPreviewed.empty());
  EXPECT_EQ(r.notes.approximated, (std::vector<std::string>{"DeBlock_QED"}));
  EXPECT_EQ(r.clip->frame(39)->width, 640);
}

TEST_F(RealSource, TryCatchFallsBackToTheProjectThatExists) {
  script::ScriptResult r = OpenScript("try {\r\n"
                                      "  mpeg2source(\"D:\\RIPS\\OLD_TITLE\\missing.d2v\")\r\n"
                                      "} catch(err) {\r\n"
                                      "  mpeg2source(\"" + D2v() + "\")\r\n"
                                      "  named = FindStr(err, \"missing.d2v\") > 0\r\n"
                                      "}\r\n"
                                      "Assert(named, \"the message names the project\")\r\n"
                                      "FieldView(tff=true)\r\n"
                                      "SelectEven()\r\n"
                                      "\r\n"
                                      "function FieldView(clip c, bool \"tff\") {\r\n"
                                      "  c = Default(tff, true) ? c.AssumeTFF() : c.AssumeBFF()\r\n"
                                      "  c.SeparateFields()\r\n"
                                      "}\r\n");
  const ClipInfo &vi = r.clip->info();
  EXPECT_EQ(vi.height, 288);
  EXPECT_EQ(vi.frameCount, rip_->frames);
  EXPECT_EQ(vi.rateNum, 25);
  EXPECT_TRUE(vi.fieldBased);
  EXPECT_TRUE(r.notes.empty());
}

TEST_F(RealSource, EpisodeScriptsImportTheirSourceAndSpliceTheParts) {
  Write("ep01/ep01.avs", "mpeg2source(\"../" + D2v() + "\")\r\nTrim(5, 24)\r\n");
  script::ScriptResult r = OpenScript(
      "Import(\"D:\\Encoding\\lib\\dvdtools.avsi\")\r\n"
      "opening = Import(\"ep01\\ep01.avs\")\r\n"
      "body = Import(\"ep01/ep01.avs\").Chapter(10, 19)\r\n"
      "if (opening.FrameCount == 20) {\r\n"
      "  opening + body + opening.Trim(0, -5)\r\n"
      "} else {\r\n"
      "  BlankClip(opening)\r\n"
      "}\r\n"
      "AssumeFPS(24)\r\n");
  const ClipInfo &vi = r.clip->info();
  EXPECT_EQ(vi.frameCount, 35);
  EXPECT_EQ(vi.rateNum, 24);
  EXPECT_EQ(vi.width, 720);
  EXPECT_EQ(ReadFrameNumber(*r.clip->frame(0)), 5);
  EXPECT_EQ(ReadFrameNumber(*r.clip->frame(20)), 15);
  EXPECT_EQ(ReadFrameNumber(*r.clip->frame(34)), 9);
  EXPECT_TRUE(r.notes.empty());
}

TEST_F(RealSource, AnUnknownSourceIsNamedOnItsLineNotWhereTheClipIsMissed) {
  std::string script = "LoadPlugin(\"DGDecodeNV.dll\")\r\nDGSource(\"movie.dgi\")\r\n";
  for (int k = 0; k < 20; ++k)
    script += "# notes of the encode\r\n";
  script += "Crop(8, 0, -8, -0)\r\n";
  try {
    OpenScript(script);
    FAIL() << "the script has no clip";
  } catch (const EngineError &e) {
    EXPECT_EQ(std::string(e.what()),
              "line 2: DGSource is not known to the engine and gives no clip, so Crop on line 23 has none to work on");
  }
}

} // namespace
} // namespace reelwork::engine::test
