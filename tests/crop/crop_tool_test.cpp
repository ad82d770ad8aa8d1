// Make Crop end to end in memory: the lines taken out while the dialog runs,
// the Crop line written back, the resize line put back, and every save.

#include <gtest/gtest.h>

#include <functional>

#include "app/language.h"
#include "common/text_file.h"
#include "crop/crop_tool.h"
#include "script/script_model.h"
#include "support/temp_dir.h"
#include "support/test_bench.h"

using namespace reelwork;

namespace {

// Answers the dialog with a fixed result after an optional change of the
// shared amounts, and records what the script looked like meanwhile.
class ScriptedCropDialog : public CropDialogRunner {
public:
  explicit ScriptedCropDialog(test::TestBench &bench) : bench_(bench) {}
  int RunCropDialog() override {
    ++runs;
    const SharedState &s = bench_.state;
    linesDuringDialog = bench_.editor.lines();
    amountsDuringDialog = {s.CropLeft, s.CropTop, s.CropRight, s.CropBottom};
    if (answer)
      answer(bench_.state);
    return result;
  }
  int result = 1;
  std::function<void(SharedState &)> answer;
  int runs = 0;
  QStringList linesDuringDialog;
  QList<int> amountsDuringDialog;

private:
  test::TestBench &bench_;
};

class MakeCropFlow : public test::TempDirTest {
protected:
  void SetUp() override {
    bench.openVideo(100, 720, 576);
    bench.state.WorkDir = dir.path() + "/";
    bench.state.ScriptName = "movie.avs";
  }
  void script(const QStringList &lines) { bench.editor.setLines(lines); }
  QStringList onDisk() const { return ReadTextLines(path("movie.avs")).value_or(QStringList{"<none>"}); }

  test::TestBench bench;
  ScriptedCropDialog dialog{bench};
};

} // namespace

TEST_F(MakeCropFlow, ConfirmedCropIsWrittenBackAfterTheSourceAndDeinterlacing) {
  script({"mpeg2source(\"movie.d2v\")", "Crop(8,72,-8,-72)", "Telecide(order=1)", "Sharpen(0.25)"});
  MakeCrop(bench.bench, dialog);

  EXPECT_EQ(dialog.linesDuringDialog, QStringList({"mpeg2source(\"movie.d2v\")", "Telecide(order=1)", "Sharpen(0.25)"}));
  EXPECT_EQ(dialog.amountsDuringDialog, QList<int>({8, 72, 8, 72}));
  const QStringList expected{"mpeg2source(\"movie.d2v\")", "Telecide(order=1)", "Crop(8,72,-8,-72)", "Sharpen(0.25)"};
  EXPECT_EQ(bench.editor.lines(), expected);
  EXPECT_EQ(onDisk(), expected);
  EXPECT_EQ(bench.view.opened.size(), 2); // saved and reloaded without the line, then with it
}

TEST_F(MakeCropFlow, CancelWithoutCropAddsNothingButPutsTheResizeBack) {
  script({"mpeg2source(\"movie.d2v\")", "BicubicResize(640,480)", "Sharpen(0.25)"});
  bench.state.CropLeft = 6; // left over from another script
  dialog.result = 3;
  MakeCrop(bench.bench, dialog);

  EXPECT_EQ(dialog.linesDuringDialog, QStringList({"mpeg2source(\"movie.d2v\")", "Sharpen(0.25)"}));
  EXPECT_EQ(dialog.amountsDuringDialog, QList<int>({0, 0, 0, 0}));
  const QStringList expected{"mpeg2source(\"movie.d2v\")", "BicubicResize(640,480)", "Sharpen(0.25)"};
  EXPECT_EQ(bench.editor.lines(), expected);
  EXPECT_EQ(onDisk(), expected);
  EXPECT_EQ(bench.view.opened.size(), 2);
}

TEST_F(MakeCropFlow, CancelOnAPlainScriptChangesAndSavesNothing) {
  script({"mpeg2source(\"movie.d2v\")", "", "Sharpen(0.25)"});
  dialog.result = 0; // closed by the window's close box
  MakeCrop(bench.bench, dialog);
  EXPECT_EQ(dialog.runs, 1);
  EXPECT_EQ(bench.editor.lineCount(), 3);
  EXPECT_TRUE(bench.view.opened.isEmpty());

  bench.state.VideoOpen = false; // and without an open script, only the message
  MakeCrop(bench.bench, dialog);
  EXPECT_EQ(dialog.runs, 1);
  EXPECT_EQ(bench.dialogs.messages, QStringList({MessageText(MsgOpenScriptFirst, 0)}));
}

TEST_F(MakeCropFlow, ConfirmedNewCropGoesBeforeTheResizeLine) {
  script({"mpeg2source(\"movie.d2v\")", "TomsMoComp(1,5,1)", "BicubicResize(640,480)"});
  dialog.answer = [](SharedState &s) { s.CropLeft = s.CropTop = s.CropRight = s.CropBottom = 0; };
  MakeCrop(bench.bench, dialog);
  EXPECT_EQ(bench.editor.lines(),
            QStringList({"mpeg2source(\"movie.d2v\")", "TomsMoComp(1,5,1)", "Crop(0,0,-0,-0)", "BicubicResize(640,480)"}));
  EXPECT_EQ(bench.view.opened.size(), 2);
}

TEST_F(MakeCropFlow, CancelKeepsTheOldCropWithTheCorrectionsAccepted) {
  script({"mpeg2source(\"movie.d2v\")", "crop( 7, 72, -8, -72)"});
  dialog.result = 3;
  dialog.answer = [](SharedState &s) { s.CropLeft = 8; }; // the X1 correction was accepted
  MakeCrop(bench.bench, dialog);
  EXPECT_EQ(bench.editor.lines(), QStringList({"mpeg2source(\"movie.d2v\")", "Crop(8,72,-8,-72)"}));
  EXPECT_EQ(onDisk(), bench.editor.lines());
}

// Regression: a script that cannot be saved kept the preview cropped while
// the dialog measured it, and the lines taken out were at stake.
TEST_F(MakeCropFlow, AFailedSaveGivesTheLinesBackAndOpensNoDialog) {
  bench.state.WorkDir = dir.path() + "/missing-folder/";
  const QStringList lines{"mpeg2source(\"movie.d2v\")", "", "Crop(8,72,-8,-72)", "BicubicResize(640,480)"};
  script(lines);
  MakeCrop(bench.bench, dialog);
  EXPECT_EQ(dialog.runs, 0);
  EXPECT_EQ(bench.editor.lines(), lines);
  EXPECT_EQ(bench.dialogs.messages.size(), 1);
}

// The amounts come from the line that is taken out: another command whose
// name begins with "Crop", or a comment that mentions crop(, above the real
// line, neither gives the amounts nor is taken out in its place.
TEST_F(MakeCropFlow, ReadsAndTakesOutTheSameCropCommand) {
  script({"mpeg2source(\"movie.d2v\")", "CropBottom(10)", "Crop(8,72,-8,-72)", "Sharpen(0.25)"});
  dialog.result = 3; // Cancel puts the old amounts back
  MakeCrop(bench.bench, dialog);
  EXPECT_EQ(dialog.amountsDuringDialog, QList<int>({8, 72, 8, 72}));
  EXPECT_EQ(dialog.linesDuringDialog, QStringList({"mpeg2source(\"movie.d2v\")", "CropBottom(10)", "Sharpen(0.25)"}));
  QStringList expected{"mpeg2source(\"movie.d2v\")", "Crop(8,72,-8,-72)", "CropBottom(10)", "Sharpen(0.25)"};
  EXPECT_EQ(bench.editor.lines(), expected);

  script({"mpeg2source(\"movie.d2v\")", "# crop(0,0,0,0) was too little", "Crop(8,72,-8,-72)  # crop(4,4)"});
  dialog.result = 1;
  dialog.answer = [](SharedState &s) { s.CropLeft = s.CropRight = 16; };
  MakeCrop(bench.bench, dialog);
  EXPECT_EQ(dialog.amountsDuringDialog, QList<int>({8, 72, 8, 72}));
  EXPECT_EQ(dialog.linesDuringDialog, QStringList({"mpeg2source(\"movie.d2v\")", "# crop(0,0,0,0) was too little"}));
  expected = {"mpeg2source(\"movie.d2v\")", "Crop(16,72,-16,-72)", "# crop(0,0,0,0) was too little"};
  EXPECT_EQ(bench.editor.lines(), expected); // the confirmed amounts are kept
  EXPECT_EQ(onDisk(), expected);
}

TEST(CropCommand, IsFoundAsANameOfItsOwnOutsideComments) {
  EXPECT_EQ(CropCommandColumn("Crop(8,8,-8,-8)"), 0);
  EXPECT_EQ(CropCommandColumn("last.crop (8,8)"), -1); // a blank before "(": not this command
  EXPECT_EQ(CropCommandColumn("Trim(0,99).CROP(8,8,-8,-8)"), 11);
  EXPECT_EQ(CropCommandColumn("CropBottom(10)"), -1);
  EXPECT_EQ(CropCommandColumn("AutoCrop(mode=0)"), -1);
  EXPECT_EQ(CropCommandColumn("#Crop(8,8,-8,-8)"), -1);
  EXPECT_EQ(CropCommandColumn("Sharpen(0.25) # crop(2,2)"), -1);
  EXPECT_EQ(CropCommandColumn("AutoCrop(1).Crop(2,2,-2,-2)"), 12);
}
