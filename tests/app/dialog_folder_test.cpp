// Where the open and save dialogs start.

#include <QDir>

#include "app/dialog_folder.h"
#include "support/temp_dir.h"

namespace reelwork {
namespace {

class DialogFolder : public test::TempDirTest {
protected:
  void SetUp() override {
    hadData_ = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    oldData_ = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", path("data").toUtf8());
  }
  void TearDown() override {
    if (hadData_)
      qputenv("XDG_DATA_HOME", oldData_);
    else
      qunsetenv("XDG_DATA_HOME");
  }

private:
  bool hadData_ = false;
  QByteArray oldData_;
};

TEST_F(DialogFolder, TheOpenScriptsFolderThenTheSampleThenNothing) {
  const QString sample = path("data") + "/reelwork/sample";
  EXPECT_EQ(SampleFolder(), sample);
  // No script open and no sample yet: the dialog chooses.
  EXPECT_EQ(FileDialogFolder(QString()), QString());
  ASSERT_TRUE(QDir().mkpath(sample));
  EXPECT_EQ(FileDialogFolder(QString()), sample);
  // A script's folder wins; one that has gone away does not.
  ASSERT_TRUE(QDir().mkpath(path("project")));
  EXPECT_EQ(FileDialogFolder(path("project") + "/"), path("project") + "/");
  EXPECT_EQ(FileDialogFolder(path("gone") + "/"), sample);
}

TEST_F(DialogFolder, ARelativeDataHomeCountsAsUnset) {
  qputenv("XDG_DATA_HOME", "relative/data");
  EXPECT_EQ(SampleFolder(), QDir::homePath() + "/.local/share/reelwork/sample");
  qunsetenv("XDG_DATA_HOME");
  EXPECT_EQ(SampleFolder(), QDir::homePath() + "/.local/share/reelwork/sample");
}

} // namespace
} // namespace reelwork
