// Scripts as DVD encoders write them, over real MPEG-2 rips made by the sample
// maker: NTSC film stored with pulldown flags for the field-matching chains,
// PAL video that combs on every frame for the deinterlacing chains, plain PAL
// for the editing filters. Each opens with the figures the encoder gets and
// names what the preview approximates or does not show.

#include <gtest/gtest.h>

#include <fstream>

#include "engine/sample_media.h"
#include "engine/script/evaluator.h"
#include "support/media_fixture.h"

namespace reelwork::engine::test {
namespace {

using script::ScriptResult;
using Names = std::vector<std::string>;

class RealScripts : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    cache_ = new testing::IsolatedIndexCache();
    folder_ = new testing::TempFolder();
    SampleOptions film;
    film.softPulldown = true;
    film.seconds = 100 * 1001 / 24000.0 + 0.01; // 100 pictures: 125 frames woven by the flags
    film.width = 720;
    film.height = 480;
    film_ = new SampleRip(testing::MakeTestRip(folder_->path() / "film", film));
    SampleOptions video;
    video.width = 720;
    video.height = 576;
    video.seconds = 2; // 50 frames
    video.pan = true;
    interlaced_ = new SampleRip(testing::MakeTestRip(folder_->path() / "video", video));
    video.pan = false;
    plain_ = new SampleRip(testing::MakeTestRip(folder_->path() / "plain", video));
  }
  static void TearDownTestSuite() {
    delete film_;
    delete interlaced_;
    delete plain_;
    delete folder_;
    delete cache_;
  }

  // Writes the script beside the rip's D2V, as the program does, and runs it.
  static ScriptResult Run(const SampleRip &rip, const std::string &body) {
    const auto path = rip.d2v.parent_path() / "encode.avs";
    std::ofstream(path, std::ios::binary) << body;
    return script::EvaluateScriptFile(path.string());
  }
  static std::string Source(const SampleRip &rip) {
    return "MPEG2Source(\"" + rip.d2v.filename().string() + "\", idct=0)\r\n";
  }

  static void ExpectFigures(const ScriptResult &r, int width, int height, int frames, int num, int den) {
    const ClipInfo &vi = r.clip->info();
    EXPECT_EQ(vi.width, width);
    EXPECT_EQ(vi.height, height);
    EXPECT_EQ(vi.frameCount, frames);
    EXPECT_EQ(vi.rateNum, num);
    EXPECT_EQ(vi.rateDen, den);
    // Every frame the figures promise can be shown.
    EXPECT_EQ(r.clip->frame(frames - 1)->width, width);
  }

  static testing::IsolatedIndexCache *cache_;
  static testing::TempFolder *folder_;
  static SampleRip *film_, *interlaced_, *plain_;
};

testing::IsolatedIndexCache *RealScripts::cache_ = nullptr;
testing::TempFolder *RealScripts::folder_ = nullptr;
SampleRip *RealScripts::film_ = nullptr;
SampleRip *RealScripts::interlaced_ = nullptr;
SampleRip *RealScripts::plain_ = nullptr;

TEST_F(RealScripts, FieldMatchingChainsGiveTheFilmBack) {
  ASSERT_EQ(film_->frames, 100);
  ScriptResult woven = Run(*film_, Source(*film_));
  ExpectFigures(woven, 720, 480, 125, 30000, 1001);

  ScriptResult r = Run(*film_, "LoadPlugin(\"C:\\Program Files\\DGMPGDec\\DGDecode.dll\")\r\n"
                               "LoadPlugin(\"C:\\Program Files\\AviSynth 2.5\\plugins\\TIVTC.dll\")\r\n" +
                                   Source(*film_) + "tfm().tdecimate()\r\n");
  ExpectFigures(r, 720, 480, 100, 24000, 1001);
  EXPECT_EQ(r.notes.approximated, (Names{"tfm", "tdecimate"}));
  EXPECT_TRUE(r.notes.notPreviewed.empty());
  // The field matcher weaves each picture back, the decimator drops the
  // repeats: the film comes back in order.
  int matched = 0;
  for (int n = 0; n < 100; n += 3)
    matched += ReadFrameNumber(*r.clip->frame(n)) == n;
  EXPECT_GE(matched, 32) << "of 34 sampled frames";

  ScriptResult modes = Run(*film_, Source(*film_) + "TFM(order=1, mode=1, PP=6, slow=2)\r\n"
                                                    "TDecimate(mode=1, cycleR=1, cycle=5)\r\n"
                                                    "Crop(8, 0, -8, 0)\r\nSpline36Resize(640, 480)\r\n");
  ExpectFigures(modes, 640, 480, 100, 24000, 1001);

  ScriptResult decomb = Run(*film_, Source(*film_) + "Telecide(order=1, guide=1)\r\nDecimate(5)\r\n");
  ExpectFigures(decomb, 720, 480, 100, 24000, 1001);
  EXPECT_TRUE(decomb.notes.approximated.empty()) << "the engine's own filters are exact";

  // An episode script: matched, trimmed around an ad break, spliced, resized.
  ScriptResult episode = Run(*film_, Source(*film_) + "TFM(d2v=\"" + film_->d2v.filename().string() +
                                         "\").TDecimate(hybrid=1)\r\n"
                                         "a = Trim(0, 39)\r\nb = Trim(60, 99)\r\n"
                                         "a ++ b\r\nLanczosResize(704, 396)\r\nConvertToYUY2()\r\n");
  ExpectFigures(episode, 704, 396, 80, 24000, 1001);
  EXPECT_EQ(episode.clip->info().format, PixelFormat::YUY2);
}

TEST_F(RealScripts, DeinterlacingChainsGiveFieldsAsFrames) {
  ScriptResult yadif = Run(*interlaced_, Source(*interlaced_) + "AssumeTFF()\r\nYadif(mode=1)\r\n");
  ExpectFigures(yadif, 720, 576, 100, 50, 1);
  EXPECT_EQ(yadif.notes.approximated, (Names{"Yadif"}));
  for (int n : {0, 1, 20, 21, 99})
    EXPECT_EQ(ReadFrameNumber(*yadif.clip->frame(n)), n / 2) << "frame " << n;

  ScriptResult same = Run(*interlaced_, Source(*interlaced_) + "Yadif()\r\n");
  ExpectFigures(same, 720, 576, 50, 25, 1);

  ScriptResult qtgmc = Run(*interlaced_, Source(*interlaced_) +
                                             "AssumeTFF()\r\nQTGMC(Preset=\"Slower\", EZDenoise=1.5, "
                                             "NoisePreset=\"Slow\")\r\nSelectEven()\r\n");
  ExpectFigures(qtgmc, 720, 576, 50, 25, 1);
  ScriptResult divided = Run(*interlaced_, Source(*interlaced_) + "QTGMC(Preset=\"Fast\", FPSDivisor=2)\r\n");
  ExpectFigures(divided, 720, 576, 50, 25, 1);

  ScriptResult nnedi = Run(*interlaced_, Source(*interlaced_) + "nnedi3(field=-2, nns=4).eedi3(field=1)\r\n");
  ExpectFigures(nnedi, 720, 576, 100, 50, 1);
  EXPECT_EQ(nnedi.notes.approximated, (Names{"nnedi3", "eedi3"}));

  ScriptResult tdeint = Run(*interlaced_, Source(*interlaced_) + "TDeint(mode=1, edeint=nnedi3(field=-2))\r\n");
  ExpectFigures(tdeint, 720, 576, 100, 50, 1);
}

TEST_F(RealScripts, ADenoisingEncodeNamesWhatItApproximatesAndWhatItCannotShow) {
  ScriptResult r = Run(*interlaced_,
                       "# made by an encoding GUI\r\n"
                       "SetMemoryMax(512)\r\n"
                       "LoadPlugin(\"C:\\x\\DGDecode.dll\")\r\nLoadPlugin(\"C:\\x\\RemoveGrainSSE2.dll\")\r\n" +
                           Source(*interlaced_) +
                           "ColorMatrix(mode=\"Rec.709->Rec.601\", d2v=\"movie.d2v\")\r\n"
                           "Yadif(order=1)\r\n"
                           "Crop(8, 72, -8, -72)\r\n"
                           "FFT3DFilter(sigma=3, plane=4, bt=3)\r\n"
                           "RemoveGrain(mode=17)\r\n"
                           "DeDot()\r\n"
                           "LimitedSharpenFaster(strength=120, dest_x=640, dest_y=272)\r\n"
                           "GradFun2db(1.2)\r\n"
                           "AddGrainC(var=1.0)\r\n"
                           "MysteryFilter(3)\r\n");
  ExpectFigures(r, 640, 272, 50, 25, 1);
  EXPECT_EQ(r.notes.approximated, (Names{"ColorMatrix", "Yadif", "FFT3DFilter", "RemoveGrain",
                                         "LimitedSharpenFaster", "GradFun2db", "AddGrainC"}));
  EXPECT_EQ(r.notes.notPreviewed, (Names{"DeDot", "MysteryFilter"}));
}

TEST_F(RealScripts, EditingFiltersOnDecodedVideo) {
  const std::string src = Source(*plain_);
  ScriptResult same = Run(*plain_, src + "Interleave(SelectEven(), SelectOdd())\r\n");
  ExpectFigures(same, 720, 576, 50, 25, 1);
  for (int n : {0, 1, 2, 25, 49})
    EXPECT_EQ(ReadFrameNumber(*same.clip->frame(n)), n);

  ScriptResult pulled = Run(*plain_, src + "AssumeTFF().SeparateFields()\r\nSelectEvery(8, 0,1, 2,3, 2,5, 4,7, 6,7)\r\n"
                                           "Weave()\r\n");
  ExpectFigures(pulled, 720, 576, 63, 125, 4); // 2:3 pulldown built from fields: 5 frames of every 4
  ScriptResult ranges = Run(*plain_, src + "SelectRangeEvery(10, 2)\r\n");
  ExpectFigures(ranges, 720, 576, 10, 25, 1);
  EXPECT_EQ(ReadFrameNumber(*ranges.clip->frame(3)), 11);

  ScriptResult fades = Run(*plain_, src + "FadeIn(5).FadeOut2(10)\r\n");
  ExpectFigures(fades, 720, 576, 53, 25, 1);
  EXPECT_EQ(ReadFrameNumber(*fades.clip->frame(20)), 19);

  ScriptResult boxed = Run(*plain_, src + "Letterbox(72, 72)\r\nConvertFPS(50)\r\n");
  ExpectFigures(boxed, 720, 576, 100, 50, 1);
  EXPECT_EQ(boxed.clip->frame(10)->row(0, 10)[360], 16);

  ScriptResult rates = Run(*plain_, src + "ChangeFPS(\"ntsc_video\")\r\nAssumeFPS(25)\r\n");
  ExpectFigures(rates, 720, 576, 60, 25, 1);
  ScriptResult runtime = Run(*plain_, src + "ScriptClip(\"Subtitle(String(AverageLuma()))\")\r\n");
  ExpectFigures(runtime, 720, 576, 50, 25, 1);
  EXPECT_EQ(runtime.notes.approximated, (Names{"ScriptClip"}));
}

// Scripts as encoding GUIs and encoders write them: headers with plugin and
// library lines, function libraries beside the script, IVTC passes, splices
// of parts at other rates, logos laid over the picture, repeated filters.
TEST_F(RealScripts, GuiHeadersLibrariesAndTwoPassIvtc) {
  std::ofstream(film_->d2v.parent_path() / "helpers.avsi", std::ios::binary)
      << "# the encoder's own helpers\r\n"
         "function Ivtc(clip c, int \"order\") {\r\n"
         "  order = Default(order, 1)\r\n"
         "  c.tfm(order=order).tdecimate(mode=1)\r\n"
         "}\r\n"
         "function Cut(clip c, int a, int b) { return c.Trim(a, b) }\r\n";
  const std::string header = "# Created by an encoding GUI\r\n"
                             "global Enc_darx = 16\r\nglobal Enc_dary = 9\r\n"
                             "LoadPlugin(\"C:\\Program Files\\encgui\\tools\\dgindex\\DGDecode.dll\")\r\n"
                             "LoadPlugin(\"C:\\Program Files\\AviSynth 2.5\\plugins\\TIVTC.dll\")\r\n"
                             "Import(\"C:\\Program Files\\AviSynth 2.5\\plugins\\LimitedSharpenFaster.avsi\")\r\n"
                             "Import(\"helpers.avsi\")\r\n";
  // Library functions called with `last` put in front, trimmed around a break.
  ScriptResult episode = Run(*film_, header + "DGDecode_mpeg2source(\"" + film_->d2v.filename().string() +
                                         "\", info=3)\r\nIvtc()\r\n"
                                         "Cut(0, 39) ++ Cut(60, 99)\r\n"
                                         "crop(8, 0, -8, 0)\r\nSpline36Resize(704, 480) # Spline36 (Neutral)\r\n");
  ExpectFigures(episode, 704, 480, 80, 24000, 1001);
  EXPECT_EQ(episode.notes.approximated, (Names{"tfm", "tdecimate"}));
  EXPECT_TRUE(episode.notes.notPreviewed.empty());
  EXPECT_EQ(episode.notes.missingImports, (Names{"C:\\Program Files\\AviSynth 2.5\\plugins\\LimitedSharpenFaster.avsi"}));

  // The two passes of a variable-rate IVTC: the first writes the matches and
  // metrics and keeps the video; the second's count is TDecimate's own
  // decision from those files, so it shows its input and says so.
  ScriptResult first = Run(*film_, header + Source(*film_) + "tfm(output=\"matches.txt\")\r\n"
                                                             "tdecimate(mode=4, output=\"metrics.txt\")\r\n");
  ExpectFigures(first, 720, 480, 125, 30000, 1001);
  ScriptResult second =
      Run(*film_, header + Source(*film_) +
                      "tfm(input=\"matches.txt\")\r\n"
                      "tdecimate(mode=5, hybrid=2, vfrDec=0, input=\"metrics.txt\", tfmIn=\"matches.txt\", "
                      "mkvOut=\"timecodes.txt\")\r\nTDeint(full=false)\r\n");
  ExpectFigures(second, 720, 480, 125, 30000, 1001);
  EXPECT_EQ(second.notes.approximated, (Names{"tfm", "TDeint"}));
  EXPECT_EQ(second.notes.notPreviewed, (Names{"tdecimate"}));
  // A mode TDecimate refuses is refused on its line.
  try {
    Run(*film_, header + Source(*film_) + "tfm()\r\ntdecimate(mode=5, hybrid=2)\r\n");
    ADD_FAILURE() << "mode 5 without mkvOut opened";
  } catch (const EngineError &e) {
    EXPECT_EQ(std::string(e.what()), "line 10: TDecimate: an mkvOut file (the timecodes) must be given in mode 5");
  }
}

TEST_F(RealScripts, SplicesAtOtherRatesLogosAndRepeatedFilters) {
  // Film-rate credits sped up to the PAL rate of the feature and spliced on.
  ScriptResult spliced = Run(*plain_, Source(*plain_) + "pal = last\r\n"
                                                        "BlankClip(pal, length=48, fps=24000, fps_denominator=1001)\r\n"
                                                        "AssumeFPS(pal)\r\n"
                                                        "pal ++ last\r\nFadeOut0(10)\r\n");
  ExpectFigures(spliced, 720, 576, 98, 25, 1);
  EXPECT_EQ(ReadFrameNumber(*spliced.clip->frame(49)), 49);

  // Deinterlaced, a logo laid over with `last` as the base, denoised twice
  // by a loop, cropped and resized.
  ScriptResult logo = Run(*interlaced_, "LoadPlugin(\"C:\\x\\yadif.dll\")\r\n" + Source(*interlaced_) +
                                            "AssumeTFF()\r\nYadif(mode=1)\r\nSelectEven()\r\n"
                                            "logo = BlankClip(last, width=64, height=32, color=$FFFFFF)\r\n"
                                            "Overlay(logo, x=16, y=16, mode=\"SoftLight\", opacity=0.5)\r\n"
                                            "for (i = 1, 2) {\r\n  RemoveGrain(mode=2)\r\n}\r\n"
                                            "Crop(8, 8, -8, -8).LanczosResize(640, 352)\r\n");
  ExpectFigures(logo, 640, 352, 50, 25, 1);
  EXPECT_EQ(logo.notes.approximated, (Names{"Yadif", "RemoveGrain"}));
  EXPECT_TRUE(logo.notes.notPreviewed.empty());
}

} // namespace
} // namespace reelwork::engine::test
