#include <gtest/gtest.h>

#include "app/language.h"
#include "common/text_file.h"
#include "script/script_model.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

using namespace reelwork;
using reelwork::test::FakeDialogs;
using reelwork::test::FakeView;

class ScriptOps : public reelwork::test::TempDirTest {
protected:
  void SetUp() override {
    state.Language = 0;
    state.WorkDir = WithTrailingSlash(dir.path());
    state.ScriptName = "movie.avs";
  }
  void open(const QStringList &lines) {
    ASSERT_TRUE(WriteTextLines(state.ScriptPath(), lines));
    model.LoadScript(state.ScriptPath());
  }

  SharedState state;
  LineListEditor editor;
  FakeDialogs dialogs;
  FakeView view{state};
  ScriptModel model{state, editor, dialogs, view};
};

TEST_F(ScriptOps, CheckScriptOpenAsksForAScriptFirst) {
  EXPECT_FALSE(model.CheckScriptOpen());
  EXPECT_EQ(dialogs.messages, QStringList{"You must open AVS-script before do it!"});
  EXPECT_EQ(view.focuses, 1);
  state.Language = 1;
  EXPECT_FALSE(model.CheckScriptOpen());
  EXPECT_EQ(dialogs.messages.last(), QString::fromUtf8("Сперва откройте AVS-файл!"));
  state.VideoOpen = true;
  EXPECT_TRUE(model.CheckScriptOpen());
  EXPECT_EQ(dialogs.messages.size(), 2);
}

TEST_F(ScriptOps, FindCommandLineIgnoresCaseAndCountsComments) {
  editor.setLines({"# MPEG2Source(\"old.d2v\")", "Mpeg2Source(\"a.d2v\")", "AutoCrop(mode=0)", "Crop(0,0,-0,-0)"});
  EXPECT_EQ(model.FindCommandLine("mpeg2source("), 0); // the comment comes first
  EXPECT_EQ(model.FindCommandLine("Crop"), 2);         // "AutoCrop" ends in the name
  // Cut after "(": "Crop(" is also found inside "AutoCrop(".
  EXPECT_EQ(model.FindCommandLine("Crop(0,0,-0,-0)"), 2);
  EXPECT_EQ(model.FindCommandLine("crop(0"), 2);
  EXPECT_EQ(model.FindCommandLine("-0,-0)"), 3);
  EXPECT_EQ(model.FindCommandLine("BicubicResize("), -1);
  EXPECT_EQ(editor.selectedLine, -1); // no select: the editor is untouched
}

TEST_F(ScriptOps, FindCommandLineWithSelectPutsTheCaretOnTheCommand) {
  editor.setLines({"0123456789", "abcde", "Crop(8,16,-8,-16)", "  Sharpen(0.25)"});
  EXPECT_EQ(model.FindCommandLine("Crop(", true), 2);
  EXPECT_EQ(editor.selectedLine, 2);
  EXPECT_EQ(editor.selectedColumn, 0);
  EXPECT_EQ(model.CaretLineIndex(), 2);
  EXPECT_EQ(model.FindCommandLine("sharpen", true), 3);
  EXPECT_EQ(editor.selectedColumn, 2);
}

TEST_F(ScriptOps, ReadCropValuesTakesTheDigitsOfEachArgument) {
  editor.setLines({"mpeg2source(\"a.d2v\")", "Crop(8,16,-8,-16)"});
  model.ReadCropValues();
  EXPECT_EQ((std::array{state.CropLeft, state.CropTop, state.CropRight, state.CropBottom}),
            (std::array{8, 16, 8, 16}));

  editor.setLines({"Crop( 10 , 2 , -6 , -4 )"}); // blanks everywhere read the same
  model.ReadCropValues();
  EXPECT_EQ((std::array{state.CropLeft, state.CropTop, state.CropRight, state.CropBottom}),
            (std::array{10, 2, 6, 4}));

  editor.setLines({"Crop(4,6)"}); // missing separators repeat the last number
  model.ReadCropValues();
  EXPECT_EQ((std::array{state.CropLeft, state.CropTop, state.CropRight, state.CropBottom}),
            (std::array{4, 6, 6, 6}));

  editor.setLines({"Sharpen(0.25)"}); // no crop line: nothing changes
  model.ReadCropValues();
  EXPECT_EQ(state.CropLeft, 4);
}

TEST_F(ScriptOps, SaveAndReloadDropsEmptyLinesWritesAndReopens) {
  state.CurrentFrame = 120;
  open({"mpeg2source(\"a.d2v\")"});
  editor.setLines({"mpeg2source(\"a.d2v\")", "", "", "", "  ", "Crop(0,0,-0,-0)", ""});
  ASSERT_TRUE(model.SaveAndReload());
  EXPECT_EQ(readBytes("movie.avs"), "mpeg2source(\"a.d2v\")\r\n  \r\nCrop(0,0,-0,-0)\r\n");
  EXPECT_EQ(editor.lines(), (QStringList{"mpeg2source(\"a.d2v\")", "  ", "Crop(0,0,-0,-0)"}));
  EXPECT_EQ(view.opened.size(), 2);
  EXPECT_EQ(view.shownFrames.last(), 120); // the same place of the film again
  EXPECT_EQ(view.syncs, 2);
}

TEST_F(ScriptOps, AFailedSaveIsReportedAndKeepsTheEdits) {
  open({"mpeg2source(\"a.d2v\")"});
  editor.setLines({"mpeg2source(\"a.d2v\")", "Sharpen(0.25)"});
  state.WorkDir = path("gone/");
  EXPECT_FALSE(model.SaveAndReload());
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_TRUE(dialogs.messages[0].startsWith("Cannot save"));
  EXPECT_EQ(editor.lineCount(), 2);
  EXPECT_EQ(view.opened.size(), 1); // nothing reloaded over the edits
}

TEST_F(ScriptOps, BackupAndRestoreSwapLinesAndName) {
  editor.setLines({"a", "b"});
  model.BackupScript();
  editor.setLines({"test"});
  state.ScriptName = "TFF.avs";
  model.RestoreScript();
  EXPECT_EQ(editor.lines(), (QStringList{"a", "b"}));
  EXPECT_EQ(state.ScriptName, "movie.avs");
}

TEST_F(ScriptOps, SaveAsAppendsTheExtensionAndWritesBesideTheProject) {
  open({"mpeg2source(\"a.d2v\")"});
  dialogs.saveNames = {std::nullopt, QString("/elsewhere/final"), QString("/elsewhere/v2.AVS")};
  model.SaveAs(); // cancelled
  EXPECT_EQ(state.ScriptName, "movie.avs");
  model.SaveAs();
  EXPECT_EQ(state.ScriptName, "final.avs");
  EXPECT_EQ(readBytes("final.avs"), "mpeg2source(\"a.d2v\")\r\n");
  EXPECT_EQ(view.opened.last(), path("final.avs"));
  model.SaveAs();
  EXPECT_EQ(state.ScriptName, "v2.AVS");
  EXPECT_TRUE(QFile::exists(path("v2.AVS")));
}

TEST_F(ScriptOps, QuestionAtCloseOnlyForAChangedScript) {
  open({"mpeg2source(\"a.d2v\")", "Crop(0,0,-0,-0)"});
  model.AskSaveChanges();
  EXPECT_TRUE(dialogs.questions.isEmpty());

  editor.replaceLine(1, "crop(0,0,-0,-0)"); // one letter's case is a change
  dialogs.answers = {false};
  model.AskSaveChanges();
  ASSERT_EQ(dialogs.questions, QStringList{"AVS-file is not saved. Save it?"});
  EXPECT_EQ(readBytes("movie.avs"), "mpeg2source(\"a.d2v\")\r\nCrop(0,0,-0,-0)\r\n");
  EXPECT_EQ(state.BackupLines, editor.lines());

  editor.insertLine(2, "Sharpen(0.25)");
  dialogs.answers = {true};
  model.AskSaveChanges();
  EXPECT_EQ(readBytes("movie.avs"), "mpeg2source(\"a.d2v\")\r\ncrop(0,0,-0,-0)\r\nSharpen(0.25)\r\n");
}

TEST_F(ScriptOps, QuestionAtCloseWhenTheFileIsGone) {
  open({"mpeg2source(\"a.d2v\")"});
  QFile::remove(state.ScriptPath());
  dialogs.answers = {true};
  model.AskSaveChanges();
  EXPECT_EQ(dialogs.questions.size(), 1);
  EXPECT_EQ(readBytes("movie.avs"), "mpeg2source(\"a.d2v\")\r\n");

  state.VideoOpen = false; // nothing open: no question
  state.ScriptOpen = false;
  model.AskSaveChanges();
  EXPECT_EQ(dialogs.questions.size(), 1);
}

