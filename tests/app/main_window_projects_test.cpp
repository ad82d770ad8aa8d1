// Projects from Windows and from Russian users opened through the window's
// buttons: Cyrillic project and folder names, Windows paths into VIDEO_TS.

#include <gtest/gtest.h>

#include <QDir>
#include <QPushButton>

#include "app/main_window.h"
#include "engine/sample_media.h"
// GCC 12 at -O3 warns of an optional QString in the fakes being used
// uninitialised where it is not.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include "support/fakes.h"
#pragma GCC diagnostic pop
#include "support/temp_dir.h"

using namespace reelwork;

class MainWindowProjects : public reelwork::test::TempDirTest {};

TEST_F(MainWindowProjects, ACyrillicProjectInACyrillicFolderOpensThroughTheButtons) {
  const QString folder = path(QString::fromUtf8("Мои фильмы/Фильм"));
  ASSERT_TRUE(QDir().mkpath(folder + "/VIDEO_TS"));
  engine::SampleOptions options;
  options.seconds = 1;
  options.withAudioFile = false;
  const engine::SampleRip rip = engine::WriteSampleRip(path("made").toStdString(), options);
  ASSERT_TRUE(QFile::copy(QString::fromStdString(rip.vobs[0].string()), folder + "/VIDEO_TS/vts_01_1.vob"));
  // Written on Windows: the VOB by its full path there.
  writeBytes(QString::fromUtf8("Мои фильмы/Фильм/Фильм.d2v"),
             "DVD2AVIProjectFile\r\n1\r\n30 D:\\MOVIE\\VIDEO_TS\\VTS_01_1.VOB\r\n\r\n");

  reelwork::test::FakeDialogs dialogs;
  writeBytes("Reelwork.ini", "_LANGUAGE=0\r\n_VOBSCAN=1\r\n");
  TForm1 w(path("Reelwork.ini"));
  w.setDialogs(&dialogs);
  w.show();
  dialogs.openNames = {folder + QString::fromUtf8("/Фильм.d2v")};
  w.findChild<QPushButton *>("BitBtn1")->click();
  ASSERT_TRUE(w.state().VideoOpen) << dialogs.messages.join("; ").toStdString() << dialogs.details.join("; ").toStdString();
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join("; ").toStdString();
  EXPECT_EQ(w.state().FrameCount, rip.frames);
  EXPECT_EQ(w.state().ScriptName, QString::fromUtf8("Фильм.avs"));
  EXPECT_EQ(w.state().SourceWidth, 720);
  EXPECT_TRUE(w.windowTitle().contains(QString::fromUtf8("[Фильм.avs]")));
  // The script the window wrote is Windows-1251 text, as the encoder's side reads it.
  EXPECT_EQ(readBytes(QString::fromUtf8("Мои фильмы/Фильм/Фильм.avs")),
            "mpeg2source(\"\xD4\xE8\xEB\xFC\xEC.d2v\")\r\n");

  // The AVS button on a script naming the project in other capitals.
  writeBytes(QString::fromUtf8("Мои фильмы/Фильм/правка.avs"),
             "MPEG2Source(\"\xD4\xC8\xCB\xDC\xCC.D2V\")\r\nCrop(8,8,-8,-8)\r\n");
  dialogs.openNames = {folder + QString::fromUtf8("/правка.avs")};
  w.findChild<QPushButton *>("BitBtn13")->click();
  ASSERT_TRUE(w.state().VideoOpen) << dialogs.messages.join("; ").toStdString() << dialogs.details.join("; ").toStdString();
  EXPECT_EQ(w.state().ScriptName, QString::fromUtf8("правка.avs"));
  EXPECT_EQ(w.state().VideoWidth, 720 - 16);
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join("; ").toStdString();
}
