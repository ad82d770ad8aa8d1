// The deinterlace wizard's rules and the Deinterlace tool, end to end on an
// in-memory workbench writing real files.

#include <gtest/gtest.h>

#include <functional>

#include "common/text_file.h"
#include "deinterlace/deinterlace_methods.h"
#include "deinterlace/deinterlace_tool.h"
#include "support/temp_dir.h"
#include "support/test_bench.h"

using namespace reelwork;

namespace {

QStringList ListTexts(int tvRow, int language) {
  QStringList texts;
  for (const DeinterlaceMethod &m : DeinterlaceMethods(tvRow, '1', language))
    texts.append(m.listText);
  return texts;
}

TEST(DeinterlaceMethodTables, TvSystemFromTheInfoOrTheFrameRate) {
  EXPECT_EQ(ChooseTvSystemRow("", 25.0f), PalRow);
  EXPECT_EQ(ChooseTvSystemRow("", 24.95f), PalRow);
  EXPECT_EQ(ChooseTvSystemRow("", 29.97f), NtscRow);
  EXPECT_EQ(ChooseTvSystemRow("", 23.976f), NtscRow);
  EXPECT_EQ(ChooseTvSystemRow("PAL", 29.97f), PalRow);
  EXPECT_EQ(ChooseTvSystemRow("NTSC", 25.0f), NtscRow);
}

TEST(DeinterlaceMethodTables, CommandsCarryTheFieldOrder) {
  const auto pal = DeinterlaceMethods(PalRow, '1', 0);
  ASSERT_EQ(pal.size(), 5);
  EXPECT_EQ(pal[3].commands, (QStringList{"Telecide(order=1,post=1)", "TomsMoComp(1,5,1)"}));
  EXPECT_EQ(pal[0].commands, QStringList{"Telecide(order=1,post=0)"});
  EXPECT_EQ(pal[0].description, "It's quite enough for deinterlacing in ordinary cases with PAL-source.");
  EXPECT_EQ(DeinterlaceMethods(PalRow, '0', 0)[2].commands, QStringList{"TomsMoComp(0,5,1)"});

  EXPECT_EQ(ListTexts(NtscRow, 1),
            (QStringList{"Telecide + Decimate(5)", "Telecide + TomsMoComp + Decimate(5)", "Telecide (test)",
                         "Telecide + Decimate(6)", "Bob + Repal", "SmoothDeinterlace + Repal"}));
  EXPECT_EQ(ListTexts(PalRow, 1).mid(0, 2),
            (QStringList{QString::fromUtf8("Telecide без постпроцессинга"), QString::fromUtf8("Telecide + постпроцессинг")}));
  const auto ntsc = DeinterlaceMethods(NtscRow, '1', 0);
  EXPECT_EQ(ntsc[1].commands, (QStringList{"Telecide(order=1,post=1)", "TomsMoComp(1,5,1)", "Decimate(5)"}));
  EXPECT_EQ(ntsc[3].commands, (QStringList{"Telecide(order=1,post=2,vthresh=90)", "Decimate(6)"}));
  // Order 1 is top field first, which SmoothDeinterlace calls tff=true.
  EXPECT_EQ(ntsc[5].commands.value(0), "SmoothDeinterlace(tff=true,doublerate=true,lacethresh=24)");
  EXPECT_EQ(DeinterlaceMethods(NtscRow, '0', 0)[5].commands.value(0),
            "SmoothDeinterlace(tff=false,doublerate=true,lacethresh=24)");
}

TEST(DeinterlaceMethodTables, SourceParametersAfterOKey) {
  EXPECT_EQ(Mpeg2SourceAfterOKey("", PalRow, 0), "idct=0,cpu=0,iPP=true");
  EXPECT_EQ(Mpeg2SourceAfterOKey("", PalRow, 1), "idct=0,cpu=4,iPP=true");
  EXPECT_EQ(Mpeg2SourceAfterOKey("idct=5,cpu=6,iPP=false", NtscRow, 2), "idct=5,cpu=6,iPP=true");
  EXPECT_EQ(Mpeg2SourceAfterOKey("idct=5,cpu=6", PalRow, 0), "idct=5,cpu=0,iPP=true");
  EXPECT_EQ(Mpeg2SourceAfterOKey("IDCT=2", NtscRow, 0), "idct=2,cpu=4,iPP=true");
}

// The wizard as the tool sees it: what it was shown, and a scripted answer.
class ScriptedWizard : public DeinterlaceDialogRunner {
public:
  int RunDeinterlaceWizard(QStringList &commands) override {
    ++runs;
    if (onShow)
      onShow();
    if (result == 1)
      commands = answer;
    return result;
  }
  void FocusTrackBar() override { ++focuses; }

  int result = 1;
  QStringList answer;
  std::function<void()> onShow;
  int runs = 0;
  int focuses = 0;
};

class DeinterlaceTool : public reelwork::test::TempDirTest {
protected:
  void SetUp() override {
    t.openVideo(2000, 720, 480, 23.976f);
    t.state.WorkDir = WithTrailingSlash(dir.path());
    t.state.ScriptName = "movie.avs";
    t.state.ProjectName = "movie.d2v";
    t.state.settings[Setting::Mpeg2Source] = "";
  }
  QStringList onDisk() { return ReadTextLines(t.state.ScriptPath()).value_or(QStringList{"<none>"}); }

  reelwork::test::TestBench t;
  ScriptedWizard wizard;
};

TEST_F(DeinterlaceTool, DecimatedFrameIsMappedBothWays) {
  t.editor.setLines({"mpeg2source(\"movie.d2v\",idct=2)", "Telecide(order=1,post=2)", "Decimate(5)",
                     "Crop(8,0,-8,-0)"});
  t.state.CurrentFrame = 1000;
  int seenFrame = 0;
  QStringList seenOnDisk;
  wizard.onShow = [&] {
    seenFrame = t.state.CurrentFrame;
    seenOnDisk = onDisk();
    t.state.FrameCount = 2500; // the reload gave the undecimated count
    t.state.settings[Setting::Mpeg2Source] = "idct=0,cpu=4,iPP=true";
  };
  wizard.answer = {"Telecide(order=1,post=2)", "Decimate(5)"};
  BitBtn8Click(t.bench, wizard);
  EXPECT_EQ(seenFrame, 1250);
  EXPECT_EQ(seenOnDisk, (QStringList{"mpeg2source(\"movie.d2v\",idct=2)", "Crop(8,0,-8,-0)"}));
  EXPECT_EQ(t.state.CurrentFrame, 1000);
  const QStringList expected{"mpeg2source(\"movie.d2v\",idct=0,cpu=4,iPP=true)", "Telecide(order=1,post=2)",
                             "Decimate(5)", "Crop(8,0,-8,-0)"};
  EXPECT_EQ(t.editor.lines(), expected);
  EXPECT_EQ(onDisk(), expected);
  EXPECT_EQ(t.view.shownFrames, (QList<int>{1250, 1000}));
}

// The end of a decimated video was clamped against the decimated frame count,
// so the wizard showed a picture a fifth of the video earlier.
TEST_F(DeinterlaceTool, TheLastFramesOfADecimatedVideoKeepTheirPicture) {
  t.state.FrameCount = 800;
  t.state.CurrentFrame = 800;
  t.editor.setLines({"mpeg2source(\"movie.d2v\")", "Telecide(order=1,post=2)", "Decimate(5)"});
  int seenFrame = 0;
  wizard.onShow = [&] {
    seenFrame = t.state.CurrentFrame;
    t.state.FrameCount = 1000;
  };
  wizard.answer = {"Telecide(order=1,post=2)", "Decimate(5)"};
  BitBtn8Click(t.bench, wizard);
  EXPECT_EQ(seenFrame, 1000);
  EXPECT_EQ(t.state.CurrentFrame, 800);
}

TEST_F(DeinterlaceTool, EveryKindOfDeinterlacingLineGoesAndUnreadableCyclesKeepTheFrame) {
  t.editor.setLines({"mpeg2source(\"movie.d2v\")", "Bob()", "Repal()", "SmoothDeinterlace(tff=true)",
                     "FieldDeinterlace()", "TomsMoComp(1,5,1)", "Decimate(2)", "Sharpen(0.25)"});
  t.state.CurrentFrame = 700;
  wizard.answer = {"FieldDeinterlace()", "", "Decimate(cycle)"};
  BitBtn8Click(t.bench, wizard);
  EXPECT_EQ(t.view.shownFrames, (QList<int>{700, 700}));
  // No parameters: the source line has no comma; the empty line is dropped.
  EXPECT_EQ(onDisk(),
            (QStringList{"mpeg2source(\"movie.d2v\")", "FieldDeinterlace()", "Decimate(cycle)", "Sharpen(0.25)"}));
}

TEST_F(DeinterlaceTool, WithoutSourceLineTheCommandsGoToTheTop) {
  t.editor.setLines({"AviSource(\"x.avi\")", "TomsMoComp(1,5,1)"});
  wizard.answer = {"Bob()", "Repal()"};
  BitBtn8Click(t.bench, wizard);
  EXPECT_EQ(onDisk(), (QStringList{"Bob()", "Repal()", "AviSource(\"x.avi\")"}));
}

TEST_F(DeinterlaceTool, CancelLeavesTheScriptWithoutDeinterlacing) {
  t.editor.setLines({"mpeg2source(\"movie.d2v\")", "Telecide(order=1,post=2)", "Decimate(5)"});
  t.state.CurrentFrame = 400;
  wizard.result = 2;
  wizard.answer = {"Bob()"};
  BitBtn8Click(t.bench, wizard);
  EXPECT_EQ(t.editor.lines(), QStringList{"mpeg2source(\"movie.d2v\")"});
  EXPECT_EQ(onDisk(), QStringList{"mpeg2source(\"movie.d2v\")"});
  EXPECT_EQ(t.state.CurrentFrame, 500);
  EXPECT_EQ(wizard.focuses, 1);
  EXPECT_EQ(t.view.opened.size(), 1);
}

} // namespace
