// The crop dialog on the offscreen platform: the opening questions, the
// guides, detection, frame navigation and the two ways out.

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <deque>

#include "app/language.h"
#include "crop/crop_dialog.h"
#include "preview/tick_slider.h"
#include "support/qt_print.h"
#include "support/test_bench.h"

using namespace reelwork;

namespace {

// The dialog with its OK/Cancel questions answered from a queue (Cancel when
// the queue is empty).
class ScriptedForm4 : public TForm4 {
public:
  using TForm4::TForm4;
  QStringList questions;
  std::deque<bool> answers;

protected:
  bool AskOkCancel(const QString &text) override {
    questions.append(text);
    if (answers.empty())
      return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

bool Red(const QImage &image, int x, int y) { return image.pixelColor(x, y) == QColor(255, 0, 0); }

int RedCount(const QImage &image) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      n += Red(image, x, y);
  return n;
}

// Grey frames of level 100; frame n has `dark` rows of level 16 at top and bottom.
RgbImage Frame(int w, int h, int dark, int picture = 100) {
  RgbImage p;
  p.resize(w, h);
  for (int y = 0; y < h; ++y)
    std::fill_n(p.at(0, y), w * 3, static_cast<std::uint8_t>(y < dark || y >= h - dark ? 16 : picture));
  return p;
}

class CropDialog : public ::testing::Test {
protected:
  void SetUp() override {
    t.openVideo(100, 720, 576);
    t.preview.frames = [this](int) { return Frame(720, 576, darkRows, pictureLevel); };
    t.preview.ShowFrame(1);
  }
  void open(int left, int right, int top, int bottom) {
    t.state.CropLeft = left;
    t.state.CropRight = right;
    t.state.CropTop = top;
    t.state.CropBottom = bottom;
    dialog.show();
    dialog.FormActivate();
  }
  CropAmounts spins() const { return dialog.amounts(); }

  test::TestBench t;
  int darkRows = 72;
  int pictureLevel = 100;
  ScriptedForm4 dialog{t.state, t.preview};
};

} // namespace

TEST_F(CropDialog, OddLeftAmountIsAskedAboutFirst) {
  dialog.answers = {true};
  open(7, 8, 0, 0);
  EXPECT_EQ(dialog.questions, QStringList({MessageText(26, 0)}));
  EXPECT_EQ(t.state.CropLeft, 8);
  EXPECT_EQ(t.state.CropRight, 8);
  EXPECT_EQ(spins().X1, 8);
}

TEST_F(CropDialog, DeclinedLeftCorrectionIsFollowedByTheFourMultipleQuestion) {
  dialog.answers = {false, true};
  open(7, 8, 0, 0);
  EXPECT_EQ(dialog.questions, QStringList({MessageText(26, 0), MessageText(MsgAlignFour, 0)}));
  EXPECT_EQ(t.state.CropLeft, 8); // 7 + 8 aligned: +1, +0
  EXPECT_EQ(t.state.CropRight, 8);

  ScriptedForm4 again{t.state, t.preview};
  t.state.CropLeft = 7;
  again.answers = {false, false};
  again.show();
  again.FormActivate();
  EXPECT_EQ(again.questions.size(), 2);
  EXPECT_EQ(t.state.CropLeft, 7);
  EXPECT_EQ(again.amounts().X1, 7);
}

TEST_F(CropDialog, GuidesAndLabelsFallOnTheLastRemovedLines) {
  open(8, 8, 74, 74);
  EXPECT_TRUE(dialog.questions.isEmpty());
  EXPECT_EQ(dialog.Image1->size(), QSize(720, 576));
  const QImage &p = dialog.picture();
  ASSERT_EQ(p.size(), QSize(720, 576));
  for (int row : {73, 502}) {
    EXPECT_TRUE(Red(p, 100, row)) << row;
    EXPECT_FALSE(Red(p, 101, row)) << row;
    EXPECT_FALSE(Red(p, 100, row + 1)) << row;
  }
  for (int column : {7, 712}) {
    EXPECT_TRUE(Red(p, column, 100)) << column;
    EXPECT_FALSE(Red(p, column, 102)) << column;
    EXPECT_FALSE(Red(p, column - 1, 100)) << column;
  }
  // The labels: red text next to each guide, none elsewhere in the middle.
  auto redIn = [&](int x, int y, int w, int h) { return RedCount(p.copy(x, y, w, h)); };
  EXPECT_GT(redIn(350, 5, 30, 15), 0);
  EXPECT_GT(redIn(350, 556, 30, 15), 0);
  EXPECT_GT(redIn(8, 283, 20, 15), 0);
  EXPECT_GT(redIn(696, 283, 15, 15), 0);
  EXPECT_EQ(redIn(100, 100, 500, 300), 0);
}

TEST_F(CropDialog, ZeroAmountsShowThePlainFrameUntilARedraw) {
  open(0, 0, 0, 0);
  EXPECT_EQ(RedCount(dialog.picture()), 0);
  dialog.Button1->click();
  const QImage &p = dialog.picture();
  EXPECT_GT(RedCount(p), 0);                               // the four "(0)" labels
  EXPECT_EQ(RedCount(p.copy(40, 40, 640, 230)), 0);        // and no guide
  EXPECT_EQ(spins(), (CropAmounts{0, 0, 0, 0}));
}

TEST_F(CropDialog, FindCropMeasuresTheFrameNotTheGuides) {
  // A dim picture: the only step is 16 -> 30 under the bars, weaker than
  // the 21 that a dotted guide adds to its row.
  pictureLevel = 30;
  t.preview.ShowFrame(1);
  open(0, 0, 40, 0);
  dialog.FindBtn->click();
  EXPECT_EQ(spins(), (CropAmounts{2, 2, 74, 74}));
  EXPECT_TRUE(dialog.questions.isEmpty());
}

TEST_F(CropDialog, FourMultipleAfterDetectionFollowsTheSetting) {
  t.preview.frames = [](int) {
    RgbImage p = Frame(720, 576, 0);
    for (int y = 0; y < 576; ++y)
      std::fill_n(p.at(0, y), 10 * 3, std::uint8_t{0}); // a pillar of 10 columns: X1 = 12
    return p;
  };
  t.preview.ShowFrame(1);
  t.state.settings[Setting::HorizontalCrop] = "0";
  open(0, 0, 0, 0);
  dialog.FindBtn->click(); // Cancel to the question
  EXPECT_EQ(dialog.questions, QStringList({MessageText(MsgAlignFour, 0)}));
  EXPECT_EQ(spins(), (CropAmounts{12, 2, 2, 2}));
  dialog.answers = {true};
  dialog.FindBtn->click();
  EXPECT_EQ(spins(), (CropAmounts{12, 4, 2, 2}));

  t.state.settings[Setting::HorizontalCrop] = "1";
  t.state.settings[Setting::AutoCropBalance] = "+4";
  dialog.FindBtn->click(); // 16 and 2: aligned without a question
  EXPECT_EQ(dialog.questions.size(), 2);
  EXPECT_EQ(spins(), (CropAmounts{16, 4, 2, 2}));
}

TEST_F(CropDialog, FrameButtonsStopAtTheEndsAndMoveTheMainSlider) {
  open(0, 0, 0, 0);
  dialog.BitBtn2->click();
  EXPECT_EQ(t.state.CurrentFrame, 1);
  dialog.BitBtn4->click();
  EXPECT_EQ(t.state.CurrentFrame, 2);
  EXPECT_EQ(t.preview.TrackBarPosition(), 2);
  EXPECT_EQ(dialog.TrackBar1->value(), 2);
  t.preview.ShowFrame(100);
  dialog.BitBtn4->click();
  EXPECT_EQ(t.state.CurrentFrame, 100);
  dialog.TrackBar1->setValue(40);
  EXPECT_EQ(t.state.CurrentFrame, 40);
  EXPECT_EQ(t.preview.shownFrames.last(), 40);
}

TEST_F(CropDialog, SliderCoversTheVideoWithTenMinuteTicks) {
  t.openVideo(40000, 720, 576);
  t.preview.ShowFrame(1234);
  open(0, 0, 0, 0);
  EXPECT_EQ(dialog.TrackBar1->minimum(), 1);
  EXPECT_EQ(dialog.TrackBar1->maximum(), 40000);
  EXPECT_EQ(dialog.TrackBar1->value(), 1234);
  EXPECT_EQ(dialog.TrackBar1->ticks(), QVector<int>({15001, 30001}));
  EXPECT_EQ(t.preview.shownFrames.last(), 1234); // preparing the slider showed nothing
}

TEST_F(CropDialog, OkeyWritesTheAmountsAndCancelDoesNot) {
  open(8, 8, 74, 74);
  dialog.Edit1->setText("80"); // typed, not stepped
  dialog.UpDnX2->stepBy(1);
  EXPECT_EQ(spins().X2, 10);
  dialog.OkeyBtn->click();
  EXPECT_EQ(dialog.result(), 1);
  EXPECT_EQ((QList<int>{t.state.CropLeft, t.state.CropRight, t.state.CropTop, t.state.CropBottom}),
            QList<int>({8, 10, 80, 74}));

  QTimer::singleShot(0, &dialog, [&] {
    dialog.FindBtn->click();
    dialog.BitBtn3->click();
  });
  EXPECT_EQ(dialog.RunCropDialog(), 3);
  EXPECT_EQ((QList<int>{t.state.CropLeft, t.state.CropRight, t.state.CropTop, t.state.CropBottom}),
            QList<int>({8, 10, 80, 74}));
  // The spin ranges bound what a typed value can become.
  QTimer::singleShot(0, &dialog, [&] {
    dialog.Edit2->setText("300");
    dialog.OkeyBtn->click();
  });
  EXPECT_EQ(dialog.RunCropDialog(), 1);
  EXPECT_LE(t.state.CropLeft, 100);
}

TEST_F(CropDialog, RussianCaptions) {
  t.state.Language = 1;
  open(0, 0, 0, 0);
  EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("Кропинг"));
  EXPECT_EQ(dialog.Button1->text(), QString::fromUtf8("Сброс в 0"));
  EXPECT_EQ(dialog.FindBtn->text(), QString::fromUtf8("Найти  "));
  EXPECT_EQ(dialog.OkeyBtn->text(), "OKey");
  t.state.Language = 0;
  dialog.FormActivate();
  EXPECT_EQ(dialog.windowTitle(), "Croping");
  EXPECT_EQ(dialog.FindBtn->text(), "Find crop");
}
