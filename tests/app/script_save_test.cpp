// Saving the script over the user's file: a protected script is refused in
// the window's language.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "app/language.h"
#include "common/text_file.h"
#include "script/script_model.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

using namespace reelwork;

namespace {

class ScriptSave : public reelwork::test::TempDirTest {
protected:
  void SetUp() override {
    state.WorkDir = WithTrailingSlash(dir.path());
    state.ScriptName = "movie.avs";
    state.VideoOpen = true;
  }
  SharedState state;
  LineListEditor editor;
  test::FakeDialogs dialogs;
  test::FakeView view{state};
  ScriptModel model{state, editor, dialogs, view};
};

} // namespace

TEST_F(ScriptSave, ProtectedScriptIsRefusedInTheWindowsLanguage) {
  writeBytes("movie.avs", "mpeg2source(\"a.d2v\")\r\n");
  ::chmod(path("movie.avs").toLocal8Bit().constData(), 0444);
  editor.setLines({"mpeg2source(\"a.d2v\")", "Sharpen(0.25)"}); // a filter ticked
  state.Language = Russian;
  EXPECT_FALSE(model.SaveAndReload());
  EXPECT_EQ(readBytes("movie.avs"), "mpeg2source(\"a.d2v\")\r\n");
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(dialogs.messages[0], QString::fromUtf8("Файл %1 защищён от записи. Он не изменён.").arg(path("movie.avs")));
  EXPECT_TRUE(view.opened.isEmpty()); // nothing reloaded over the edits

  state.Language = English;
  EXPECT_FALSE(model.WriteScript());
  EXPECT_EQ(dialogs.messages[1], QString("The file %1 is write-protected. It was not changed.").arg(path("movie.avs")));
  EXPECT_EQ(editor.lineCount(), 2);
}

