// The D2V button started from the disc: a VIDEO_TS folder or VOB files become
// a project beside the VOBs, which then opens as a chosen project does.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include "app/main_window.h"
#include "engine/sample_media.h"
#include "script/project_from_vobs.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

using namespace reelwork;

namespace {

class D2vFromDisc : public reelwork::test::TempDirTest {
protected:
  void SetUp() override {
    engine::SampleOptions options;
    options.seconds = 1;
    options.withAudioFile = false;
    videoTs = path("VIDEO_TS");
    rip = engine::WriteSampleRip(videoTs.toStdString(), options);
    std::filesystem::remove(rip.d2v); // a fresh rip: VOBs only
  }
  std::unique_ptr<TForm1> start() {
    writeBytes("Reelwork.ini", "_LANGUAGE=0\r\n");
    auto window = std::make_unique<TForm1>(path("Reelwork.ini"));
    window->setDialogs(&dialogs);
    window->show();
    return window;
  }
  QString vob() const { return QString::fromStdString(rip.vobs.front().string()); }

  QString videoTs;
  engine::SampleRip rip;
  reelwork::test::FakeDialogs dialogs;
};

TEST_F(D2vFromDisc, ChoosingAVideoTsFolderMakesTheProjectAndShowsFrameOne) {
  auto w = start();
  dialogs.openNames.push_back(videoTs);
  w->BitBtn1->click();
  EXPECT_EQ(dialogs.filters, QStringList{kD2VOrDiscFilter});
  ASSERT_TRUE(w->state().VideoOpen) << dialogs.details.join("; ").toStdString();
  EXPECT_TRUE(dialogs.messages.isEmpty());
  EXPECT_TRUE(readBytes("VIDEO_TS/VTS_01.d2v").startsWith("DGIndexProjectFile16\r\n1\r\n" + vob().toUtf8() + "\r\n"));
  EXPECT_EQ(w->state().WorkDir, videoTs + "/");
  EXPECT_EQ(w->state().ProjectName, "VTS_01.d2v");
  EXPECT_EQ(w->state().ScriptName, "VTS_01.avs");
  EXPECT_EQ(w->Memo1->toPlainText().split('\n').front(), "mpeg2source(\"VTS_01.d2v\")");
  EXPECT_EQ(readBytes("VIDEO_TS/VTS_01.avs"), "mpeg2source(\"VTS_01.d2v\")\r\n");
  EXPECT_EQ(w->state().CurrentFrame, 1);
  EXPECT_EQ(w->state().FrameCount, rip.frames);

  // The same disc again: its project is opened as it is, not made again.
  const QDateTime made = QFileInfo(path("VIDEO_TS/VTS_01.d2v")).lastModified();
  writeBytes("VIDEO_TS/VTS_01.avs", "mpeg2source(\"VTS_01.d2v\")\r\nCrop(8,0,-8,0)\r\n");
  dialogs.openNames.push_back(vob());
  w->BitBtn1->click();
  EXPECT_EQ(QFileInfo(path("VIDEO_TS/VTS_01.d2v")).lastModified(), made);
  EXPECT_TRUE(w->Memo1->toPlainText().contains("Crop(8,0,-8,0)")) << "the user's script is kept";
  EXPECT_TRUE(w->state().VideoOpen);
}

TEST_F(D2vFromDisc, CancelledIndexingLeavesNoProjectAndNoVideo) {
  auto w = start();
  dialogs.openNames.push_back(videoTs);
  QTimer::singleShot(0, [] {
    for (QWidget *top : QApplication::topLevelWidgets())
      if (auto *progress = qobject_cast<QProgressDialog *>(top); progress && progress->objectName() == "IndexProgress")
        progress->cancel();
  });
  w->BitBtn1->click();
  EXPECT_FALSE(QFileInfo::exists(path("VIDEO_TS/VTS_01.d2v")));
  EXPECT_FALSE(w->state().VideoOpen);
  EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(D2vFromDisc, ChoicesAndProjectNames) {
  const DiscChoice folder = ReadDiscChoice(path("."));
  EXPECT_TRUE(folder.disc) << "the disc's root leads to its VIDEO_TS folder";
  EXPECT_EQ(folder.vobs, QStringList{vob()});
  EXPECT_EQ(folder.projectName, "VTS_01.d2v");
  EXPECT_EQ(ReadDiscChoice(videoTs + "/VIDEO_TS.IFO").vobs, QStringList{vob()});
  EXPECT_EQ(ReadDiscChoice(vob()).projectName, "VTS_01.d2v");
  EXPECT_FALSE(ReadDiscChoice(path("movie.d2v")).disc);

  // A project of that name that lists other files is never replaced.
  writeBytes("VIDEO_TS/OTHER.VOB", "x");
  writeBytes("VIDEO_TS/VTS_01.d2v", "DGIndexProjectFile16\r\n1\r\nD:\\RIP\\OTHER.VOB\r\n");
  bool reuse = true;
  EXPECT_EQ(ProjectPathFor(videoTs, "VTS_01.d2v", {vob()}, reuse), videoTs + "/VTS_01-2.d2v");
  EXPECT_FALSE(reuse);
  writeBytes("VIDEO_TS/VTS_01-2.d2v", "DGIndexProjectFile16\r\n1\r\n" + vob().toUtf8() + "\r\n");
  EXPECT_EQ(ProjectPathFor(videoTs, "VTS_01.d2v", {vob()}, reuse), videoTs + "/VTS_01-2.d2v");
  EXPECT_TRUE(reuse);

  // A folder without title VOBs is said so, and nothing opens.
  auto w = start();
  ASSERT_TRUE(QDir(path(".")).mkdir("empty"));
  dialogs.openNames.push_back(path("empty"));
  w->BitBtn1->click();
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_TRUE(dialogs.messages.front().startsWith(DiscText(0, kNoTitlesText)));
  EXPECT_FALSE(w->state().VideoOpen);
}

} // namespace
