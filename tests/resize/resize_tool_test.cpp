// The Resize button end to end in memory: the old line taken out while the
// windows run, the new line written, the old one put back on Cancel.

#include <gtest/gtest.h>

#include <functional>

#include "app/language.h"
#include "common/text_file.h"
#include "resize/resize_tool.h"
#include "support/temp_dir.h"
#include "support/test_bench.h"

using namespace reelwork;

namespace {

class ScriptedResizeWindows : public ResizeDialogRunner {
public:
  explicit ScriptedResizeWindows(test::TestBench &bench) : bench_(bench) {}
  int RunTypeChooser(int &type) override {
    ++chooserRuns;
    linesDuringChooser = bench_.editor.lines();
    oldSize = {bench_.state.OldWidth, bench_.state.OldHeight};
    crop = {bench_.state.CropLeft, bench_.state.CropTop, bench_.state.CropRight, bench_.state.CropBottom};
    type = chosenType;
    return chooserResult;
  }
  int RunResizeDialog(int type) override {
    dialogTypes.append(type);
    bench_.state.NewWidth = newSize.first;
    bench_.state.NewHeight = newSize.second;
    return dialogResult;
  }
  void FocusTrackBar() override { ++focuses; }

  int chosenType = 0;
  int chooserResult = 1;
  int dialogResult = 1;
  QPair<int, int> newSize{576, 432};

  int chooserRuns = 0;
  int focuses = 0;
  QList<int> dialogTypes;
  QStringList linesDuringChooser;
  QPair<int, int> oldSize;
  QList<int> crop;

private:
  test::TestBench &bench_;
};

class ResizeFlow : public test::TempDirTest {
protected:
  void SetUp() override {
    bench.openVideo(100, 704, 432);
    bench.state.WorkDir = dir.path() + "/";
    bench.state.ScriptName = "movie.avs";
  }
  void script(const QStringList &lines) { bench.editor.setLines(lines); }
  QStringList onDisk() const { return ReadTextLines(path("movie.avs")).value_or(QStringList{"<none>"}); }

  test::TestBench bench;
  ScriptedResizeWindows windows{bench};
};

} // namespace

TEST_F(ResizeFlow, CancelledChooserPutsTheSameLineBack) {
  script({"mpeg2source(\"movie.d2v\")", "Crop(8,72,-8,-72)", "BicubicResize(640,352)", "Sharpen(0.25)"});
  bench.state.settings[Setting::ResizeMethod] = "0";
  windows.chosenType = 1;
  windows.chooserResult = 2;
  const ResizeRun run = MakeResize(bench.bench, windows);

  EXPECT_TRUE(run.resizeFound);
  EXPECT_FALSE(run.written);
  EXPECT_EQ(windows.oldSize, qMakePair(640, 352));
  EXPECT_EQ(windows.crop, QList<int>({8, 72, 8, 72}));
  EXPECT_EQ(windows.linesDuringChooser,
            QStringList({"mpeg2source(\"movie.d2v\")", "Crop(8,72,-8,-72)", "Sharpen(0.25)"}));
  EXPECT_TRUE(windows.dialogTypes.isEmpty());
  const QStringList expected{"mpeg2source(\"movie.d2v\")", "Crop(8,72,-8,-72)", "BicubicResize(640,352)",
                             "Sharpen(0.25)"};
  EXPECT_EQ(bench.editor.lines(), expected);
  EXPECT_EQ(onDisk(), expected);
  EXPECT_EQ(bench.view.opened.size(), 2);
  // Cancel leaves the method setting alone even though another row was selected.
  EXPECT_EQ(bench.state.settings[Setting::ResizeMethod], "0");
}

TEST_F(ResizeFlow, ConfirmedSizeIsWrittenAfterTheCropAndTheChoiceKept) {
  script({"mpeg2source(\"movie.d2v\")", "Crop(8,72,-8,-72)", "Sharpen(0.25)"});
  bench.state.OldWidth = 704; // left from an earlier run
  bench.state.OldHeight = 400;
  windows.chosenType = 1;
  windows.newSize = {640, 352};
  const ResizeRun run = MakeResize(bench.bench, windows);

  EXPECT_FALSE(run.resizeFound);
  EXPECT_TRUE(run.written);
  EXPECT_EQ(windows.oldSize, qMakePair(0, 0));
  EXPECT_EQ(windows.dialogTypes, QList<int>({1}));
  EXPECT_EQ(bench.state.settings[Setting::ResizeMethod], "1");
  const QStringList expected{"mpeg2source(\"movie.d2v\")", "Crop(8,72,-8,-72)", "BicubicResize(640,352)",
                             "Sharpen(0.25)"};
  EXPECT_EQ(bench.editor.lines(), expected);
  EXPECT_EQ(onDisk(), expected);
  EXPECT_EQ(bench.view.opened.size(), 1); // nothing to take out first
  EXPECT_EQ(windows.focuses, 0);
}

TEST_F(ResizeFlow, NoCropLineGivesZeroAmounts) {
  script({"mpeg2source(\"movie.d2v\")", "BicubicResize(640,480)"});
  bench.state.CropLeft = 6; // from another script
  bench.state.CropBottom = 70;
  windows.chosenType = 2;
  windows.newSize = {641, 350};
  MakeResize(bench.bench, windows);
  EXPECT_EQ(windows.crop, QList<int>({0, 0, 0, 0}));
  EXPECT_EQ(windows.dialogTypes, QList<int>({2}));
  EXPECT_EQ(bench.state.settings[Setting::ResizeMethod], "2");
  // The old line went out and the new one (any integers) came in.
  EXPECT_EQ(onDisk(), QStringList({"mpeg2source(\"movie.d2v\")", "BicubicResize(641,350)"}));
  EXPECT_EQ(bench.view.opened.size(), 2);
}

TEST_F(ResizeFlow, CancelledDialogWithoutOldLineOnlyFocusesTheSlider) {
  script({"mpeg2source(\"movie.d2v\")", "", "Sharpen(0.25)"});
  windows.dialogResult = 2;
  MakeResize(bench.bench, windows);
  EXPECT_EQ(windows.dialogTypes, QList<int>({0}));
  EXPECT_EQ(bench.state.settings[Setting::ResizeMethod], "0"); // stored once the chooser said OK
  EXPECT_EQ(bench.editor.lineCount(), 3);
  EXPECT_TRUE(bench.view.opened.isEmpty());
  EXPECT_EQ(windows.focuses, 1);
}

TEST_F(ResizeFlow, ChooserOkWithoutSelectionCountsAsCancel) {
  script({"mpeg2source(\"movie.d2v\")", "BicubicResize(512,384)"});
  bench.state.settings[Setting::ResizeMethod] = "-1";
  windows.chosenType = -1;
  MakeResize(bench.bench, windows);
  EXPECT_TRUE(windows.dialogTypes.isEmpty());
  EXPECT_EQ(bench.state.settings[Setting::ResizeMethod], "-1");
  EXPECT_EQ(onDisk(), QStringList({"mpeg2source(\"movie.d2v\")", "BicubicResize(512,384)"}));
}

TEST_F(ResizeFlow, NothingHappensWithoutAnOpenScript) {
  script({"mpeg2source(\"movie.d2v\")", "BicubicResize(640,352)"});
  bench.state.VideoOpen = false;
  MakeResize(bench.bench, windows);
  EXPECT_EQ(windows.chooserRuns, 0);
  EXPECT_EQ(bench.dialogs.messages, QStringList({MessageText(MsgOpenScriptFirst, 0)}));
  EXPECT_EQ(bench.editor.lineCount(), 2);
}

TEST(ResizeLineNumbers, ReadAsFarAsTheyAreIntegers) {
  int w = -1, h = -1;
  ReadResizeNumbers("BicubicResize(640,352)", w, h);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 352);
  ReadResizeNumbers("bicubicresize( 704, 400) # wide", w, h);
  EXPECT_EQ(w, 704);
  EXPECT_EQ(h, 400);
  // A first number that is not an integer leaves both at 0.
  ReadResizeNumbers("BicubicResize(640.5,352)", w, h);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);
  ReadResizeNumbers("BicubicResize(640,352.0)", w, h);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 0);
  ReadResizeNumbers("BicubicResize(640,352", w, h);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(ResizeLine(640, 352), "BicubicResize(640,352)");
}
