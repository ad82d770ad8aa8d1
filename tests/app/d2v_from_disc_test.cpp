// The D2V button started from the disc: a VIDEO_TS folder or VOB files become
// a project beside the VOBs, which then opens as a chosen project does.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Keeps new files out of a folder while it lives, for every user: its write
// permission is taken away, and for root, whom permissions do not stop, it
// is made immutable (where the file system and the process's capabilities
// allow; `refuses()` says whether a file can still be made in it).
class UnwritableFolder {
public:
  explicit UnwritableFolder(const QString &folder) : folder_(folder.toStdString()) {
    ::chmod(folder_.c_str(), 0555);
    if (::geteuid() == 0)
      immutable_ = SetImmutable(true);
  }
  ~UnwritableFolder() {
    if (immutable_)
      SetImmutable(false);
    ::chmod(folder_.c_str(), 0755);
  }
  bool refuses() const {
    const std::string probe = folder_ + "/probe";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0)
      return true;
    ::close(fd);
    ::unlink(probe.c_str());
    return false;
  }

private:
  bool SetImmutable(bool on) const {
    const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
      return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
      flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
      done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
  }

  std::string folder_;
  bool immutable_ = false;
};

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

// A disc or a folder the user may not write to: the project is saved where
// the user says (".d2v" added to a bare name) and opens from there; when the
// user closes the dialog instead, nothing opens and nothing is said.
TEST_F(D2vFromDisc, AFolderThatCannotBeWrittenAsksWhereTheProjectGoes) {
  ASSERT_TRUE(QDir(path(".")).mkdir("projects"));
  auto w = start();
  const UnwritableFolder readOnly(videoTs);
  if (!readOnly.refuses())
    GTEST_SKIP() << "no way here to keep files out of a folder (root without the immutable flag)";

  dialogs.openNames.push_back(videoTs);
  dialogs.saveNames.push_back(std::nullopt);
  w->BitBtn1->click();
  EXPECT_EQ(dialogs.filters, (QStringList{kD2VOrDiscFilter, kD2VFilter}));
  EXPECT_FALSE(w->state().VideoOpen);
  EXPECT_TRUE(dialogs.messages.isEmpty());

  dialogs.filters.clear();
  dialogs.openNames.push_back(vob());
  dialogs.saveNames.push_back(path("projects/my title"));
  w->BitBtn1->click();
  EXPECT_EQ(dialogs.filters, (QStringList{kD2VOrDiscFilter, kD2VFilter}));
  ASSERT_TRUE(w->state().VideoOpen) << dialogs.messages.join("; ").toStdString();
  EXPECT_TRUE(readBytes("projects/my title.d2v").startsWith("DGIndexProjectFile16\r\n1\r\n" + vob().toUtf8() + "\r\n"));
  EXPECT_EQ(w->state().WorkDir, path("projects") + "/");
  EXPECT_EQ(w->state().ProjectName, "my title.d2v");
  EXPECT_EQ(w->state().FrameCount, rip.frames);
  EXPECT_TRUE(QDir(videoTs).entryList({"*.d2v", "*.avs"}, QDir::Files).isEmpty()) << "nothing beside the VOBs";
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
