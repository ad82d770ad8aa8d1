// The field-order test buttons and the field-order switch, end to end on an
// in-memory workbench writing real files.

#include <gtest/gtest.h>

#include <QFile>

#include "common/text_file.h"
#include "deinterlace/field_order.h"
#include "support/temp_dir.h"
#include "support/test_bench.h"

using namespace reelwork;

namespace {

const QStringList kUserScript{"mpeg2source(\"movie.d2v\")", "Telecide(order=1,post=2)", "Crop(8,74,-8,-74)"};
const QString kRule = "# ---------------------------------------------------------";

class FieldTest : public reelwork::test::TempDirTest {
protected:
  void SetUp() override {
    t.openVideo(1000, 720, 576);
    t.state.WorkDir = WithTrailingSlash(dir.path());
    t.state.ScriptName = "movie.avs";
    t.state.ProjectName = "movie.d2v";
    t.state.settings[Setting::Mpeg2Source] = "";
    t.editor.setLines(kUserScript);
    ASSERT_TRUE(WriteTextLines(t.state.ScriptPath(), kUserScript));
  }
  bool exists(const QString &name) const { return QFile::exists(path(name)); }
  QStringList onDisk(const QString &name) const { return ReadTextLines(path(name)).value_or(QStringList{"<none>"}); }

  reelwork::test::TestBench t;
  FieldOrderState view;
};

TEST(FieldTestScripts, SixLinesInTheLanguageOfTheMoment) {
  EXPECT_EQ(FieldTestScript("movie.d2v", "", true, 0),
            (QStringList{"mpeg2source(\"movie.d2v\")", "AssumeTFF().SeparateFields()", kRule,
                         "#    If no back-moves,", "#    then field order = 1", kRule}));
  EXPECT_EQ(FieldTestScript("movie.d2v", "idct=0,cpu=4,iPP=true", false, 1),
            (QStringList{"mpeg2source(\"movie.d2v\",idct=0,cpu=4,iPP=true)", "AssumeBFF().SeparateFields()", kRule,
                         QString::fromUtf8("#    если нет обратных движений,"),
                         QString::fromUtf8("#    то порядок полей = 0"), kRule}));
}

TEST_F(FieldTest, PressingTffTwiceBringsTheUsersScriptBackAndDeletesTheTestFile) {
  t.editor.insertLine(t.editor.lineCount(), "Sharpen(0.25)"); // typed but not saved: it survives the test
  BitBtn10Click(t.bench, view);
  EXPECT_EQ(view.tff, "TFF?");
  EXPECT_EQ(view.bff, "BFF");
  EXPECT_EQ(t.state.ScriptName, "TFF.avs");
  EXPECT_EQ(onDisk("TFF.avs"), FieldTestScript("movie.d2v", "", true, 0));
  EXPECT_EQ(t.view.opened.last(), path("TFF.avs"));
  EXPECT_EQ(onDisk("movie.avs"), kUserScript); // the user's file is untouched meanwhile

  BitBtn10Click(t.bench, view);
  EXPECT_EQ(view.tff, "TFF");
  EXPECT_EQ(t.state.ScriptName, "movie.avs");
  const QStringList typed = kUserScript + QStringList{"Sharpen(0.25)"};
  EXPECT_EQ(t.editor.lines(), typed);
  EXPECT_EQ(onDisk("movie.avs"), typed);
  EXPECT_EQ(t.view.opened.last(), path("movie.avs"));
  EXPECT_FALSE(exists("TFF.avs"));
  EXPECT_TRUE(t.dialogs.messages.isEmpty());
}

TEST_F(FieldTest, SwitchingTestsKeepsTheFirstBackupAndLeavesTheAbandonedFile) {
  t.state.settings[Setting::Mpeg2Source] = "idct=0,cpu=4,iPP=true";
  BitBtn10Click(t.bench, view);
  BitBtn11Click(t.bench, view);
  EXPECT_EQ(view.tff, "TFF");
  EXPECT_EQ(view.bff, "BFF?");
  EXPECT_EQ(t.state.ScriptName, "BFF.avs");
  EXPECT_EQ(onDisk("BFF.avs").value(0), "mpeg2source(\"movie.d2v\",idct=0,cpu=4,iPP=true)");
  EXPECT_EQ(onDisk("BFF.avs").value(1), "AssumeBFF().SeparateFields()");

  BitBtn11Click(t.bench, view);
  EXPECT_EQ(view.bff, "BFF");
  EXPECT_EQ(t.state.ScriptName, "movie.avs");
  EXPECT_EQ(t.editor.lines(), kUserScript); // not the TFF script of the moment BFF was pressed
  EXPECT_FALSE(exists("BFF.avs"));
  EXPECT_TRUE(exists("TFF.avs"));
}

TEST_F(FieldTest, NoScriptOpenOnlyShowsTheMessage) {
  t.state.VideoOpen = false;
  BitBtn10Click(t.bench, view);
  BitBtn11Click(t.bench, view);
  EXPECT_EQ(t.dialogs.messages, (QStringList(2, "You must open AVS-script before do it!")));
  EXPECT_EQ(view.tff, "TFF");
  EXPECT_EQ(view.bff, "BFF");
  EXPECT_FALSE(exists("TFF.avs"));
  EXPECT_EQ(t.editor.lines(), kUserScript);
}

// A test script that cannot be opened as video left the user unable to end
// the test and get the script back.
TEST_F(FieldTest, ATestWhoseScriptDidNotOpenCanStillBeEnded) {
  t.view.openSucceeds = false;
  BitBtn10Click(t.bench, view);
  ASSERT_FALSE(t.state.VideoOpen);
  t.view.openSucceeds = true;
  BitBtn10Click(t.bench, view);
  EXPECT_TRUE(t.dialogs.messages.isEmpty());
  EXPECT_EQ(t.editor.lines(), kUserScript);
  EXPECT_EQ(t.state.ScriptName, "movie.avs");
  EXPECT_TRUE(t.state.VideoOpen);
  EXPECT_FALSE(exists("TFF.avs"));
}

// Ending the test deleted the test file by name, which was the user's own
// script when it was called TFF.avs.
TEST_F(FieldTest, AUsersScriptCalledLikeTheTestFileSurvivesTheTest) {
  t.state.ScriptName = "TFF.avs";
  BitBtn10Click(t.bench, view);
  BitBtn10Click(t.bench, view);
  EXPECT_EQ(onDisk("TFF.avs"), kUserScript);
}

// A test file that cannot be written must not leave the test script in the
// editor under the test file's name.
TEST_F(FieldTest, ATestFileThatCannotBeWrittenStartsNoTest) {
  t.state.WorkDir = path("missing/folder/");
  BitBtn11Click(t.bench, view);
  EXPECT_EQ(t.dialogs.messages.size(), 1); // the write failure
  EXPECT_EQ(view.bff, "BFF");
  EXPECT_EQ(t.state.ScriptName, "movie.avs");
  EXPECT_EQ(t.editor.lines(), kUserScript);
}

TEST(FieldOrderRewrite, OnlyTheOrderCharacterOfTelecideAndTomsMoCompChanges) {
  EXPECT_EQ(RewriteFieldOrder("Telecide(order=1,post=2)", '0'), "Telecide(order=0,post=2)");
  EXPECT_EQ(RewriteFieldOrder("TomsMoComp(1,5,1)", '0'), "TomsMoComp(0,5,1)");
  EXPECT_EQ(RewriteFieldOrder("telecide(Order=1)", '0'), "telecide(Order=0)");
  EXPECT_EQ(RewriteFieldOrder("tomsmocomp(x,5,1)", '1'), "tomsmocomp(1,5,1)");
  EXPECT_EQ(RewriteFieldOrder("Telecide(post=2, order=0 )", '1'), "Telecide(post=2, order=1 )");
  // left alone
  for (const char *line : {"  Telecide(order=1)", "TomsMoComp(-1,5,1)", "Telecide(order=2)", "Telecide(order=",
                           "TomsMoComp(", "# Telecide(order=1)", "Decimate(order=1)", "TomsMoComp"})
    EXPECT_EQ(RewriteFieldOrder(line, '0'), line);
}

TEST_F(FieldTest, TheSwitchRewritesTheScriptAndSavesIt) {
  t.editor.setLines({"mpeg2source(\"movie.d2v\")", "Telecide(order=1,post=1)", "TomsMoComp(1,5,1)", "Decimate(5)"});
  view.field0 = true;
  Field0Click(t.bench, view);
  const QStringList expected{"mpeg2source(\"movie.d2v\")", "Telecide(order=0,post=1)", "TomsMoComp(0,5,1)",
                             "Decimate(5)"};
  EXPECT_EQ(t.editor.lines(), expected);
  EXPECT_EQ(onDisk("movie.avs"), expected);

  t.state.VideoOpen = false;
  t.state.ScriptOpen = false;
  view.field0 = false;
  Field0Click(t.bench, view);
  EXPECT_EQ(t.dialogs.messages, QStringList{"You must open AVS-script before do it!"});
  EXPECT_EQ(onDisk("movie.avs"), expected); // nothing saved without an open script
}

} // namespace
