// The resize windows under the offscreen platform: texts, activation, the
// handlers' effect on the fields, the fitted picture and frame stepping.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCursor>
#include <QScreen>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include <QTimer>

#include "common/text_file.h"
#include "preview/tick_slider.h"
#include "resize/resize_dialogs.h"
#include "resize/resize_math.h"
#include "resize/resize_texts.h"
#include "resize/resize_windows.h"
#include "support/temp_dir.h"
#include "support/test_bench.h"

using namespace reelwork;
using reelwork::resize::FittedWindowPosition;
using reelwork::resize::PreviewViewport;

namespace {

RgbImage Flat(int n) {
  RgbImage image;
  image.resize(8, 6);
  std::fill(image.pixels.begin(), image.pixels.end(), static_cast<std::uint8_t>(n));
  return image;
}

class ResizeWindow : public ::testing::Test {
protected:
  void SetUp() override {
    t.openVideo(150000, 704, 432);
    t.preview.frames = Flat;
    t.state.CurrentFrame = 5;
    t.preview.SetTrackBarPosition(5);
  }
  template <class Dialog> void capture(Dialog &d) {
    d.showError = [this](const QString &text) { errors.append(text); };
  }
  static bool red(QLineEdit *e) { return e->palette().color(QPalette::Text) == QColor(255, 0, 0); }

  test::TestBench t;
  QStringList errors;
};

} // namespace

TEST_F(ResizeWindow, ChooserOpensOnTheStoredType) {
  TForm8 chooser(t.state);
  t.state.settings[Setting::ResizeMethod] = "1";
  chooser.FormActivate();
  EXPECT_EQ(chooser.windowTitle(), "Resize Type");
  EXPECT_EQ(chooser.SelectedType(), 1);
  EXPECT_EQ(chooser.TypeGroup->itemText(1), "Exact");
  const QStringList lines = chooser.TextMemo->toPlainText().split('\n');
  ASSERT_EQ(lines.size(), 4);
  EXPECT_EQ(lines[0], "   Use \"exact\" method, if you exactly know output X:Y proportion.");
  EXPECT_TRUE(lines[3].startsWith("   As in \"auto\" method"));

  // A click replaces the four lines.
  chooser.TypeGroup->button(2)->click();
  EXPECT_EQ(chooser.SelectedType(), 2);
  EXPECT_EQ(chooser.TextMemo->toPlainText().split('\n').size(), 4);
  EXPECT_TRUE(chooser.TextMemo->toPlainText().startsWith("   You can use \"manual\""));

  // Russian at the next showing; above 2 selects the last item.
  t.state.Language = 1;
  t.state.settings[Setting::ResizeMethod] = "7";
  chooser.FormActivate();
  EXPECT_EQ(chooser.windowTitle(), QString::fromUtf8("Тип ресайза"));
  EXPECT_EQ(chooser.TypeGroup->itemText(0), QString::fromUtf8("Авто"));
  EXPECT_EQ(chooser.SelectedType(), 2);
  EXPECT_TRUE(chooser.TextMemo->toPlainText().startsWith(QString::fromUtf8("   Ресайз в режиме \"вручную\"")));
}

TEST_F(ResizeWindow, ChooserWithABadSetting) {
  TForm8 chooser(t.state);
  capture(chooser);
  t.state.settings[Setting::ResizeMethod] = "-1";
  chooser.FormActivate();
  EXPECT_EQ(chooser.SelectedType(), -1);
  EXPECT_TRUE(chooser.TextMemo->toPlainText().isEmpty());

  t.state.settings[Setting::ResizeMethod] = "0";
  chooser.FormActivate();
  t.state.settings[Setting::ResizeMethod] = "x";
  chooser.TypeGroup->button(1)->click();
  chooser.FormActivate(); // stops at the conversion: previous selection, memo as it was
  EXPECT_EQ(errors, QStringList({"'x' is not a valid integer value"}));
  EXPECT_EQ(chooser.SelectedType(), 1);
  EXPECT_TRUE(chooser.TextMemo->toPlainText().startsWith("   Use \"exact\""));
}

TEST_F(ResizeWindow, AutoActivationTakesTheHeaderAndTheOldSize) {
  TForm6 form(t.state, t.preview);
  capture(form);
  t.state.SourceWidth = 720;
  t.state.SourceHeight = 576;
  t.state.AspectCode = 3;
  t.state.OldWidth = 640;
  t.state.OldHeight = 352;
  form.FormActivate();
  EXPECT_EQ(form.windowTitle(), "Auto Resize");
  EXPECT_EQ(form.RadioGroup1->itemIndex(), 0);
  EXPECT_EQ(form.AspectGroup->itemIndex(), 3); // "1.85", not "1.77"
  EXPECT_EQ(form.Edit1->text(), "640");
  EXPECT_EQ(form.Edit2->text(), "352");
  EXPECT_EQ(form.Edit3->text(), "1.81818187236786");
  EXPECT_FALSE(red(form.Edit4));
  // The picture is fitted to X by Y and shows the main window's frame.
  EXPECT_EQ(form.Image1->size(), QSize(640, 352));
  EXPECT_EQ(form.Image1->picture().pixelColor(0, 0), QColor(5, 5, 5));
  EXPECT_EQ(form.TrackBar1->maximum(), 150000);
  EXPECT_EQ(form.TrackBar1->value(), 5);
  EXPECT_EQ(form.TrackBar1->ticks().value(0), 15001);

  // 650 by 352 is not taken over: 4:3 PAL with 150000 frames gives 576 by 432.
  t.state.OldWidth = 650;
  t.state.AspectCode = 2;
  form.FormActivate();
  EXPECT_EQ(form.Edit1->text(), "576");
  EXPECT_EQ(form.Edit2->text(), "432");
  EXPECT_EQ(form.Image1->size(), QSize(576, 432));
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(ResizeWindow, AutoHandlers) {
  TForm6 form(t.state, t.preview);
  capture(form);
  t.state.FrameCount = 100000;
  form.FormActivate();
  EXPECT_EQ(form.Edit2->text(), "480");

  // A typed width never recomputes Y: the error shows the mismatch in red.
  form.Edit1->setText("704");
  form.Edit1Exit();
  EXPECT_EQ(form.Edit2->text(), "480");
  EXPECT_TRUE(red(form.Edit4));
  EXPECT_EQ(form.UpDown1->position(), 704);
  form.CalcBtnClick();
  EXPECT_EQ(form.Edit2->text(), "528");

  // The user aspect: 1.85 -> "-" then "+" twice gives 1.87.
  form.AspectGroup->button(5)->click();
  form.Button3Click();
  form.Button4Click();
  form.Button4Click();
  EXPECT_EQ(form.Edit7->text() + "." + form.Edit5->text(), "1.87");
  form.Edit5->setText("0");
  form.Button5Click();
  EXPECT_EQ(form.Edit5->text(), "0");
  form.Edit5->setText("05");
  form.Button5Click();
  EXPECT_EQ(form.Edit5->text(), "4");
  form.Edit5->setText("9");
  form.Button4Click();
  EXPECT_EQ(form.Edit5->text(), "10");
  EXPECT_TRUE(errors.isEmpty());

  // An empty fraction leaves "1." which stops the handler; a zero aspect shows a dash.
  form.Edit5->setText("");
  form.Guard([&] { form.CalcBtnClick(); });
  EXPECT_EQ(errors, QStringList({"'1.' is not a valid floating point value"}));
  form.Edit7->setText("0");
  form.Edit5->setText("0");
  const QString height = form.Edit2->text();
  form.CalcBtnClick();
  EXPECT_EQ(form.Edit2->text(), height);
  EXPECT_EQ(form.Edit4->text(), "-");

  // Not an integer in Edit1: the message, the field keeps its text.
  form.Edit1->setText("64O");
  form.Guard([&] { form.UpDown1Click(); });
  EXPECT_EQ(errors.last(), "'64O' is not a valid integer value");
  EXPECT_EQ(form.Edit1->text(), "64O");
}

TEST_F(ResizeWindow, SpinsStepFromTheFieldAndStayInRange) {
  TForm6 form(t.state, t.preview);
  form.FormActivate();
  form.Edit1->setText("672");
  form.Edit1Exit();
  form.UpDown1->upButton->click();
  EXPECT_EQ(form.Edit1->text(), "704");
  form.UpDown1->upButton->click(); // at the top: nothing moves
  EXPECT_EQ(form.Edit1->text(), "704");
  QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
  QCoreApplication::sendEvent(form.Edit1, &down); // the arrow keys step the spin too
  EXPECT_EQ(form.Edit1->text(), "672");
  // A width typed outside the range stays as typed.
  form.Edit1->setText("900");
  form.Edit1Exit();
  EXPECT_EQ(form.Edit1->text(), "900");
  EXPECT_EQ(form.UpDown1->position(), 704);
}

TEST_F(ResizeWindow, ExactDialog) {
  TForm9 form(t.state, t.preview);
  capture(form);
  t.state.TvSystem = "PAL";
  t.state.FrameCount = 100000;
  t.state.OldWidth = 640;
  form.FormActivate();
  EXPECT_EQ(form.windowTitle(), "Exact Resize");
  EXPECT_EQ(form.Edit7->text(), "720");
  EXPECT_EQ(form.Edit5->text(), "576");
  EXPECT_EQ(form.Edit2->text(), "512");
  EXPECT_EQ(form.Edit3->text(), "1.25");
  EXPECT_EQ(form.Edit4->text(), "0");

  // One step of the X part: Y stays 512, so the window is not refitted.
  form.Image1->setFixedSize(10, 10);
  form.Button2Click();
  EXPECT_EQ(form.Edit7->text(), "721");
  EXPECT_EQ(form.Edit2->text(), "512");
  EXPECT_EQ(form.Image1->size(), QSize(10, 10));
  EXPECT_NE(form.Edit4->text(), "0");
  // A step that changes Y refits.
  form.Edit5->setText("600");
  form.Button4Click();
  EXPECT_EQ(form.Edit2->text(), "528");
  EXPECT_EQ(form.Image1->size(), QSize(640, 528));

  // The X part stops at "1"; stepping "01" down reaches 0 and shows a dash.
  form.Edit7->setText("1");
  form.Button3Click();
  EXPECT_EQ(form.Edit7->text(), "1");
  form.Edit7->setText("01");
  form.Button3Click();
  EXPECT_EQ(form.Edit7->text(), "0");
  EXPECT_EQ(form.Edit4->text(), "-");
  EXPECT_TRUE(errors.isEmpty());

  // NTSC and an OldWidth that is no multiple of 32: the automatic size.
  t.state.TvSystem = "NTSC";
  t.state.SourceHeight = 480;
  t.state.OldWidth = 650;
  form.FormActivate();
  EXPECT_EQ(form.Edit5->text(), "480");
  EXPECT_EQ(form.Edit1->text(), "640");
  EXPECT_EQ(form.Edit2->text(), "432");
}

TEST_F(ResizeWindow, ManualDialog) {
  TForm10 form(t.state, t.preview);
  capture(form);
  t.state.TvSystem = "PAL";
  t.state.AspectCode = 2;
  t.state.OldWidth = 640;
  t.state.OldHeight = 368;
  form.FormActivate();
  EXPECT_EQ(form.windowTitle(), "Manual Resize");
  EXPECT_EQ(form.Edit1->text(), "640");
  EXPECT_EQ(form.Edit2->text(), "368");

  form.UpDown3->upButton->click();
  EXPECT_EQ(form.Edit1->text(), "641");
  EXPECT_EQ(form.Image1->size(), QSize(641, 368));
  EXPECT_EQ(form.Edit3->text(), "1.74184787273407");
  form.UpDown4->downButton->click();
  EXPECT_EQ(form.Edit2->text(), "367");

  // A size set to the pixel is not offered again.
  t.state.OldWidth = 642;
  t.state.OldHeight = 350;
  form.FormActivate();
  EXPECT_EQ(form.Edit1->text(), "576");
  EXPECT_EQ(form.Edit2->text(), "432");

  form.BitBtn1Click();
  EXPECT_EQ(t.state.NewWidth, 576);
  EXPECT_EQ(t.state.NewHeight, 432);
  EXPECT_EQ(form.result(), 1);
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(ResizeWindow, FrameButtonsMoveTheMainWindow) {
  TForm10 form(t.state, t.preview);
  form.FormActivate();
  form.BitBtn4Click();
  EXPECT_EQ(t.state.CurrentFrame, 6);
  EXPECT_EQ(t.preview.TrackBarPosition(), 6);
  EXPECT_EQ(form.Image1->picture().pixelColor(0, 0), QColor(6, 6, 6));
  EXPECT_EQ(form.TrackBar1->value(), 5); // the dialog's own slider is not moved
  form.TrackBar1->setValue(100);
  EXPECT_EQ(t.state.CurrentFrame, 100);
  EXPECT_EQ(form.Image1->picture().pixelColor(0, 0), QColor(100, 100, 100));

  t.state.CurrentFrame = 1;
  t.preview.SetTrackBarPosition(1);
  const int shown = static_cast<int>(t.preview.shownFrames.size());
  form.BitBtn3Click();
  EXPECT_EQ(t.state.CurrentFrame, 1);
  t.state.CurrentFrame = t.state.FrameCount;
  form.BitBtn4Click();
  EXPECT_EQ(t.state.CurrentFrame, t.state.FrameCount);
  EXPECT_EQ(t.preview.shownFrames.size(), shown);
}

namespace {

// Answers a window when it is shown, the way a user would: `act` runs once the
// window's activation has finished.
class OnShow : public QObject {
public:
  OnShow(QWidget *window, std::function<void()> act) : act_(std::move(act)) { window->installEventFilter(this); }
  bool eventFilter(QObject *, QEvent *event) override {
    if (event->type() == QEvent::Show)
      QTimer::singleShot(0, this, [this] { act_(); });
    return false;
  }

private:
  std::function<void()> act_;
};

class ResizeButton : public test::TempDirTest {};

} // namespace

TEST_F(ResizeButton, ExactChosenAndConfirmedInTheRealWindows) {
  test::TestBench t;
  t.openVideo(100000, 704, 432);
  t.state.WorkDir = dir.path() + "/";
  t.state.ScriptName = "movie.avs";
  t.state.TvSystem = "PAL";
  t.editor.setLines({"mpeg2source(\"movie.d2v\")", "Crop(8,72,-8,-72)", "BicubicResize(640,352)"});
  int focuses = 0;
  ResizeWindows windows(t.state, t.preview, nullptr, [&] { ++focuses; });
  windows.Form8->showError = windows.Form9->showError = [](const QString &text) { ADD_FAILURE() << text.toStdString(); };

  QString chooserText;
  OnShow chooser(windows.Form8, [&] {
    chooserText = windows.Form8->TextMemo->toPlainText();
    windows.Form8->TypeGroup->button(1)->click();
    windows.Form8->BitBtn1->click();
  });
  QString height;
  OnShow exact(windows.Form9, [&] {
    height = windows.Form9->Edit2->text();
    windows.Form9->BitBtn1->click();
  });
  MakeResize(t.bench, windows);

  EXPECT_TRUE(chooserText.startsWith("   Use \"auto\"")); // opened on the stored type 0
  EXPECT_EQ(height, "512"); // 640 taken over, Y computed afresh from 720:576
  EXPECT_EQ(t.state.settings[Setting::ResizeMethod], "1");
  EXPECT_EQ(ReadTextLines(path("movie.avs")).value_or(QStringList()),
            QStringList({"mpeg2source(\"movie.d2v\")", "Crop(8,72,-8,-72)", "BicubicResize(640,512)"}));
  EXPECT_EQ(focuses, 0);
}

TEST_F(ResizeWindow, WindowIsCentredAndThePointerMovesWithIt) {
  TForm10 form(t.state, t.preview);
  form.show(); // activation fits the window to the automatic size
  QCursor::setPos(100, 100);
  const QPoint before = form.pos();
  form.Edit1->setText("300");
  form.Edit2->setText("200");
  form.Edit1Exit();
  EXPECT_EQ(form.Image1->size(), QSize(300, 200));
  const QSize screen = form.screen()->geometry().size();
  EXPECT_EQ(form.pos(), FittedWindowPosition(screen, form.frameGeometry().size()));
  EXPECT_NE(form.pos(), before);
  EXPECT_EQ(QCursor::pos() - QPoint(100, 100), form.pos() - before);
}

TEST(PreviewFit, ScrollsOnlyAlongWhatDoesNotFit) {
  EXPECT_EQ(PreviewViewport({640, 480}, {1000, 480}, 16), QSize(640, 480));
  // Too high: the height is cut and a vertical bar is added beside the picture.
  EXPECT_EQ(PreviewViewport({704, 528}, {1300, 400}, 16), QSize(720, 400));
  // Too wide as well once the bar takes its room: both bars.
  EXPECT_EQ(PreviewViewport({704, 528}, {710, 400}, 16), QSize(710, 400));
  EXPECT_EQ(PreviewViewport({900, 300}, {800, 600}, 16), QSize(800, 316));
  EXPECT_EQ(FittedWindowPosition(QRect(0, 30, 1366, 708), QSize(766, 600)), QPoint(300, 84));
}

// A picture that leaves no room on the screen for the slider and buttons
// scrolls inside the window, and the window says so; a smaller one does not.
TEST_F(ResizeWindow, WindowStaysOnTheScreenAndSaysWhenThePictureScrolls) {
  TForm9 form(t.state, t.preview);
  capture(form);
  form.show();
  const QRect area = form.screen()->availableGeometry();
  form.Edit1->setText(QString::number(area.width() - 100));
  form.Edit2->setText(QString::number(area.height()));
  form.Edit1Exit();
  EXPECT_EQ(form.Image1->size(), QSize(area.width() - 100, area.height())); // the picture keeps its size
  EXPECT_TRUE(form.ScrollNote->isVisible());
  EXPECT_EQ(form.ScrollNote->text(), resize::PreviewScrollNote(t.state.Language));
  EXPECT_TRUE(area.contains(form.frameGeometry()))
      << area.height() << " " << form.frameGeometry().height() << " " << form.PreviewArea->height() << " "
      << form.size().height();
  EXPECT_LT(form.PreviewArea->height(), area.height());

  form.Edit1->setText("320");
  form.Edit2->setText("240");
  form.Edit1Exit();
  EXPECT_FALSE(form.ScrollNote->isVisible());
  EXPECT_EQ(form.PreviewArea->size(), QSize(320, 240));
  EXPECT_TRUE(area.contains(form.frameGeometry()));
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(ResizeWindow, CancelEscapeAndTheChooserGiveTwo) {
  TForm10 manual(t.state, t.preview);
  manual.show();
  manual.BitBtn2->click();
  EXPECT_EQ(manual.result(), 2);
  manual.show();
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(&manual, &escape);
  EXPECT_EQ(manual.result(), 2);
  EXPECT_EQ(t.state.NewWidth, 0); // nothing written

  TForm8 chooser(t.state);
  chooser.show();
  const QRect area = chooser.screen()->availableGeometry();
  EXPECT_LE(std::abs(chooser.frameGeometry().center().x() - area.center().x()), 1);
  EXPECT_LE(std::abs(chooser.frameGeometry().center().y() - area.center().y()), 1);
  chooser.BitBtn2->click();
  EXPECT_EQ(chooser.result(), 2);
}
