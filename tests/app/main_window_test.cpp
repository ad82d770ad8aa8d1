#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "app/main_window_fixture.h"
#include "crop/crop_dialog.h"
#include "resize/resize_windows.h"
#include "preview/tick_slider.h"

using namespace reelwork;

TEST_F(MainWindow, EnglishOnlyForLanguageZero) {
  auto w = start("_LANGUAGE=0\r\n");
  EXPECT_EQ(w->state().Language, 0);
  EXPECT_EQ(w->windowTitle(), "Reelwork (build 201105)");
  EXPECT_EQ(caption(*w, "BitBtn9"), "Save-Load ");
  EXPECT_EQ(caption(*w, "BitBtn12"), "Find Interlace");
  EXPECT_EQ(caption(*w, "BitBtn18"), "VDubMod  ");
  EXPECT_EQ(hint(*w, "BitBtn5"), "Save AVS-file with anouther name");
  EXPECT_EQ(hint(*w, "TrackBar1"), "Trace frames");
  EXPECT_EQ(hint(*w, "Field1"), "Set fields order \"1\"");
  EXPECT_EQ(w->MessageText(2), "You must open AVS-script before do it!");

  for (const QByteArray &ini : {QByteArray("_LANGUAGE=1\r\n"), QByteArray("_LANGUAGE=en\r\n"), QByteArray()}) {
    QFile::remove(path("Reelwork.ini"));
    auto r = start(ini);
    EXPECT_EQ(r->state().Language, 1) << ini.constData();
    EXPECT_EQ(caption(*r, "BitBtn9"), QString::fromUtf8("Сохр.Загр."));
    EXPECT_EQ(caption(*r, "BitBtn7"), QString::fromUtf8("Кропинг     "));
    EXPECT_EQ(hint(*r, "BitBtn11"), QString::fromUtf8("Проверка порядка полей \"1\""));
    EXPECT_EQ(hint(*r, "CheckListBox1"), QString::fromUtf8("Вставка и удаление фильтров"));
    EXPECT_EQ(r->MessageText(30), QString::fromUtf8("AVS-file не сохранен. Сохранить?"));
  }
}

TEST_F(MainWindow, EveryControlOfTheDesignExists) {
  auto w = start("_LANGUAGE=0\r\n");
  for (const char *name : {"BitBtn1", "BitBtn13", "BitBtn10", "BitBtn11", "BitBtn9", "BitBtn5", "BitBtn12", "BitBtn2",
                           "BitBtn6", "BitBtn15", "BitBtn8", "BitBtn7", "BitBtn14", "BitBtn18", "BitBtn4", "BitBtn16",
                           "BitBtn17"})
    EXPECT_NE(w->findChild<QPushButton *>(name), nullptr) << name;
  for (const char *name : {"Memo1", "CheckListBox1", "Image1", "Image2", "TrackBar1", "Field0", "Field1",
                           "RadioGroup1", "Bevel1"})
    EXPECT_NE(w->findChild<QWidget *>(name), nullptr) << name;
  EXPECT_EQ(w->BitBtn16->text(), "");
  EXPECT_EQ(w->Memo1->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_EQ(w->Image2->size(), QSize(78, 25));
  EXPECT_EQ(w->Image2->pixmap().toImage().pixelColor(40, 12), QColor(Qt::black));
  w->show();
  EXPECT_GE(w->width(), 800);
  EXPECT_GE(w->height(), 450);
}

TEST_F(MainWindow, FilterListAndFieldOrderComeFromTheSettings) {
  auto w = start("_FILTERS=Crop();Sharpen();\r\n_FIELDORDER=0\r\n");
  ASSERT_EQ(w->CheckListBox1->count(), 2);
  EXPECT_EQ(w->CheckListBox1->item(1)->text(), "Sharpen()");
  EXPECT_TRUE(w->Field0->isChecked());
  EXPECT_FALSE(w->Field1->isChecked());

  w->state().settings[Setting::Filters] = "Crop();;Sharpen()";
  w->state().settings[Setting::FieldOrder] = "1";
  w->ApplySettings();
  ASSERT_EQ(w->CheckListBox1->count(), 3);
  EXPECT_EQ(w->CheckListBox1->item(1)->text(), "");
  EXPECT_TRUE(w->Field1->isChecked());
  EXPECT_TRUE(dialogs.messages.isEmpty()); // no click handler ran
}

TEST_F(MainWindow, ToolsAskForAScriptFirst) {
  auto w = start("_LANGUAGE=0\r\n");
  for (QPushButton *b : {w->BitBtn12, w->BitBtn2, w->BitBtn6, w->BitBtn15, w->BitBtn8, w->BitBtn7, w->BitBtn14,
                         w->BitBtn18, w->BitBtn9, w->BitBtn5, w->BitBtn10, w->BitBtn11})
    b->click();
  w->Field0->click();
  EXPECT_EQ(dialogs.messages.size(), 13);
  EXPECT_EQ(dialogs.messages.count("You must open AVS-script before do it!"), 13);
  // Navigation without a video is silent.
  w->BitBtn16->click();
  w->BitBtn17->click();
  EXPECT_EQ(dialogs.messages.size(), 13);
}

TEST_F(MainWindow, ClosingWithoutAScriptAsksNothing) {
  auto w = start("_LANGUAGE=0\r\n");
  w->show();
  EXPECT_TRUE(w->close());
  EXPECT_TRUE(dialogs.questions.isEmpty());
}

TEST_F(MainWindowWithVideo, OpeningAProjectShowsFrameOneAtItsSize) {
  auto w = start("_LANGUAGE=0\r\n");
  w->show();
  w->state().CurrentFrame = 1;
  w->opener().OpenD2VPath(QString::fromStdString(rip.d2v.string()));
  ASSERT_TRUE(w->state().VideoOpen) << dialogs.details.join("; ").toStdString();
  EXPECT_EQ(w->state().FrameCount, rip.frames);
  EXPECT_EQ(w->state().FpsText, "25,0");
  EXPECT_EQ(w->state().TvSystem, "PAL");
  EXPECT_EQ(w->state().SourceWidth, 720);
  EXPECT_EQ(w->windowTitle(), "Reelwork (build 201105) - [VTS_01_1.avs] - PAL / 25,0 fps  / 720 x 576");
  // One screen pixel per frame pixel.
  EXPECT_EQ(w->Image1->size(), QSize(720, 576));
  EXPECT_EQ(w->TrackBar1->maximum(), rip.frames);
  EXPECT_EQ(w->state().CurrentFrame, 1);
  EXPECT_EQ(w->ShownPicture().width, 720);

  // Resizing by hand snaps back to the frame.
  w->resize(1000, 900);
  EXPECT_EQ(w->Image1->size(), QSize(720, 576));

  w->BitBtn17->click();
  EXPECT_EQ(w->state().CurrentFrame, 2);
  EXPECT_EQ(w->TrackBar1->value(), 2);
  w->BitBtn16->click();
  w->BitBtn16->click(); // nothing before frame 1
  EXPECT_EQ(w->state().CurrentFrame, 1);
  w->TrackBar1->setValue(rip.frames);
  EXPECT_EQ(w->state().CurrentFrame, rip.frames);
  w->BitBtn17->click(); // nothing past the last frame
  EXPECT_EQ(w->state().CurrentFrame, rip.frames);
  EXPECT_GE(w->AverageBrightness(), 0);

  // A click marks the point on the picture shown, not on the frame.
  w->Image1Click(QPoint(10, 20));
  EXPECT_EQ(w->state().ClickX, 10);
  EXPECT_EQ(w->state().ClickY, 20);
  EXPECT_EQ(w->ShownPicture().at(10, 20)[0], 255);
  EXPECT_EQ(w->ShownPicture().at(10, 20)[1], 0);

  // An edit that was not saved is offered for saving at close.
  w->Memo1->appendPlainText("Sharpen(0.25)");
  dialogs.answers = {true};
  EXPECT_TRUE(w->close());
  EXPECT_EQ(dialogs.questions, QStringList{"AVS-file is not saved. Save it?"});
  EXPECT_TRUE(readBytes("VTS_01_1.avs").endsWith("Sharpen(0.25)\r\n"));
}

TEST_F(MainWindowWithVideo, ABrokenScriptIsRefusedWithItsReason) {
  auto w = start("_LANGUAGE=0\r\n");
  writeBytes("bad.avs", "mpeg2source(\"VTS_01_1.d2v\")\r\nCrop(1,0,0,0)\r\n");
  w->OpenVideo(path("bad.avs"));
  EXPECT_FALSE(w->state().VideoOpen);
  ASSERT_EQ(dialogs.messages, QStringList{"AVS-file could not be read!"});
}

// The tool buttons reach their tools over the open project.
TEST_F(MainWindowWithVideo, ToolButtonsWorkOnTheOpenProject) {
  auto w = openProject();
  ASSERT_TRUE(w->state().VideoOpen);
  const QStringList userScript = w->editor().lines();

  // The field-order test swaps in its own script and gives the user's back;
  // a change of language in between does not lose the running test.
  w->BitBtn10->click();
  EXPECT_EQ(w->BitBtn10->text(), "TFF?");
  EXPECT_EQ(w->state().ScriptName, "TFF.avs");
  EXPECT_EQ(w->state().FrameCount, 2 * rip.frames);
  w->SetCaptions(1);
  EXPECT_EQ(w->BitBtn10->text(), "TFF?");
  w->BitBtn10->click();
  EXPECT_EQ(w->BitBtn10->text(), "TFF");
  EXPECT_EQ(w->editor().lines(), userScript);
  EXPECT_EQ(w->state().FrameCount, rip.frames);
  EXPECT_FALSE(QFile::exists(path("TFF.avs")));

  // The searches move the slider to a frame of the video.
  w->BitBtn2->click();
  EXPECT_GE(w->state().CurrentFrame, 1);
  EXPECT_LE(w->state().CurrentFrame, rip.frames);
  EXPECT_EQ(w->TrackBar1->value(), w->state().CurrentFrame);
  w->BitBtn12->click();
  EXPECT_GE(w->state().CurrentFrame, 1);
  EXPECT_LE(w->state().CurrentFrame, rip.frames);
  EXPECT_LE(dialogs.messages.size(), 1); // at most "not found" on this progressive rip
  dialogs.messages.clear();

  // Choosing field order 0 rewrites the deinterlacer's line and saves.
  w->Memo1->appendPlainText("Telecide(order=1,post=2)");
  w->Field0->click();
  EXPECT_TRUE(w->editor().lines().contains("Telecide(order=0,post=2)"));
  EXPECT_TRUE(readBytes("VTS_01_1.avs").contains("Telecide(order=0,post=2)\r\n"));
  EXPECT_TRUE(w->state().VideoOpen);
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join("; ").toStdString();
}

// Ticking filters rewrites the script and the preview shows its result at the
// frame the user was on.
TEST_F(MainWindowWithVideo, TickedFiltersChangeThePreview) {
  auto w = openProject();
  ASSERT_TRUE(w->state().VideoOpen);
  w->TrackBar1->setValue(7);
  const auto tick = [&](const QString &name) {
    const auto found = w->CheckListBox1->findItems(name, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << name.toStdString();
    found[0]->setCheckState(Qt::Checked);
  };
  tick("Crop()");
  EXPECT_TRUE(w->editor().lines().contains("Crop(0,0,-0,-0)"));
  tick("BicubicResize()");
  EXPECT_TRUE(w->editor().lines().contains("BicubicResize(576,432)"));
  EXPECT_TRUE(readBytes("VTS_01_1.avs").contains("BicubicResize(576,432)\r\n"));
  EXPECT_EQ(w->state().CurrentFrame, 7);
  EXPECT_EQ(w->ShownPicture().width, 576);
  EXPECT_EQ(w->ShownPicture().height, 432);
  // The window keeps its minimum width of 800, so the preview is a little wider.
  EXPECT_EQ(w->Image1->height(), 432);
  EXPECT_EQ(w->width(), 800);
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join("; ").toStdString();
}

// The wizards' questions and messages reach the user through the window's
// dialogs, so that they can be answered like every other.
TEST_F(MainWindowWithVideo, WizardQuestionsGoThroughTheWindowsDialogs) {
  auto w = openProject();
  ASSERT_TRUE(w->state().VideoOpen);
  w->Memo1->appendPlainText("Crop(7,66,-8,-66)");
  dialogs.answers = {true};
  int left = -1, right = -1;
  QTimer::singleShot(0, w.get(), [&] {
    left = w->state().CropLeft;
    right = w->state().CropRight;
    w->Form4->reject();
  });
  w->BitBtn7->click();
  ASSERT_EQ(dialogs.questions.size(), 1);
  EXPECT_EQ(left, 8);
  EXPECT_EQ(right, 8);

  // A resize setting that is no number is reported the same way.
  w->state().settings[Setting::ResizeMethod] = "x";
  QTimer::singleShot(0, w.get(), [&] { w->resizeWindows().Form8->reject(); });
  w->BitBtn6->click();
  EXPECT_TRUE(dialogs.messages.contains("'x' is not a valid integer value")) << dialogs.messages.join("; ").toStdString();
}
