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
    const bool answer = !answers.empty() && answers.front();
    if (!answers.empty())
      answers.pop_front();
    return answer;
  }
};

int RedIn(const QImage &image, const QRect &area) {
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      n += image.pixelColor(x, y) == QColor(255, 0, 0);
  return n;
}

// A grey frame with `dark` rows of level 16 at the top and bottom, and
// `pillar` black columns at the left.
RgbImage Frame(int dark, int picture = 100, int pillar = 0) {
  RgbImage p;
  p.resize(720, 576);
  for (int y = 0; y < 576; ++y)
    for (int x = 0; x < 720; ++x)
      std::fill_n(p.at(x, y), 3, std::uint8_t(x < pillar ? 0 : y < dark || y >= 576 - dark ? 16 : picture));
  return p;
}

class CropDialog : public ::testing::Test {
protected:
  void SetUp() override {
    t.openVideo(100, 720, 576);
    show(Frame(72));
  }
  void show(const RgbImage &frame) {
    t.preview.frames = [frame](int) { return frame; };
    t.preview.ShowFrame(t.state.CurrentFrame);
  }
  void open(ScriptedForm4 &d, int left, int right, int top, int bottom) {
    t.state.CropLeft = left;
    t.state.CropRight = right;
    t.state.CropTop = top;
    t.state.CropBottom = bottom;
    d.show();
    d.FormActivate();
  }
  QList<int> shared() const { return {t.state.CropLeft, t.state.CropRight, t.state.CropTop, t.state.CropBottom}; }

  test::TestBench t;
  ScriptedForm4 dialog{t.state, t.preview};
};

} // namespace

TEST_F(CropDialog, OpeningQuestionsComeInTheirOrder) {
  dialog.answers = {true};
  open(dialog, 7, 8, 0, 0); // X1 fixed to 8: the sum 16 needs no further question
  EXPECT_EQ(dialog.questions, QStringList({MessageText(26, 0)}));
  EXPECT_EQ(shared(), QList<int>({8, 8, 0, 0}));
  EXPECT_EQ(dialog.amounts().X1, 8);

  ScriptedForm4 declined{t.state, t.preview};
  open(declined, 7, 8, 0, 0); // X1 left at 7: the sum 15 is asked about
  EXPECT_EQ(declined.questions, QStringList({MessageText(26, 0), MessageText(MsgAlignFour, 0)}));
  EXPECT_EQ(shared(), QList<int>({7, 8, 0, 0}));

  ScriptedForm4 aligned{t.state, t.preview};
  aligned.answers = {true, true}; // X2 5 -> 6, then 8 + 6 aligned
  open(aligned, 8, 5, 0, 0);
  EXPECT_EQ(aligned.questions, QStringList({MessageText(27, 0), MessageText(MsgAlignFour, 0)}));
  EXPECT_EQ(shared(), QList<int>({8, 8, 0, 0}));
}

TEST_F(CropDialog, GuidesAndLabelsFallOnTheLastRemovedLines) {
  open(dialog, 0, 0, 0, 0);
  EXPECT_EQ(dialog.Image1->size(), QSize(720, 576));
  EXPECT_EQ(RedIn(dialog.picture(), QRect(0, 0, 720, 576)), 0); // the plain frame until a redraw
  dialog.Button1->click();
  EXPECT_GT(RedIn(dialog.picture(), QRect(350, 5, 30, 15)), 0); // "(0)" labels, no guides
  EXPECT_EQ(RedIn(dialog.picture(), QRect(40, 40, 640, 230)), 0);

  open(dialog, 8, 8, 74, 74);
  const QImage &p = dialog.picture();
  for (int row : {73, 502})
    EXPECT_EQ(RedIn(p, QRect(96, row - 1, 8, 3)), 2) << row; // (96, row) and (100, row)
  for (int column : {7, 712})
    EXPECT_EQ(RedIn(p, QRect(column - 1, 96, 3, 8)), 2) << column;
  for (const QRect label : {QRect(350, 5, 30, 15), QRect(350, 556, 30, 15), QRect(8, 283, 20, 15),
                            QRect(696, 283, 15, 15)})
    EXPECT_GT(RedIn(p, label), 0);
  EXPECT_EQ(RedIn(p, QRect(100, 100, 500, 300)), 0);
}

// The right-hand label is drawn whole, closing bracket included, however
// many digits it has.
TEST_F(CropDialog, RightLabelStaysInsideThePicture) {
  for (int amount : {12, 100}) {
    open(dialog, 0, 0, 0, 0);
    dialog.UpDnX2->setValue(amount);
    dialog.ShowCroping();
    const QImage &p = dialog.picture();
    EXPECT_GT(RedIn(p, QRect(720 - 60, 283, 58, 15)), 0) << amount;
    EXPECT_EQ(RedIn(p, QRect(720 - 2, 283, 2, 15)), 0) << amount;
  }
}

TEST_F(CropDialog, FindCropMeasuresTheFrameNotTheGuides) {
  // A dim picture: the only step, 16 -> 30 under the bars, is weaker than
  // the 21 that a dotted guide adds to its row.
  show(Frame(72, 30));
  open(dialog, 0, 0, 40, 0);
  dialog.FindBtn->click();
  EXPECT_EQ(dialog.amounts(), (CropAmounts{2, 2, 74, 74}));
  EXPECT_TRUE(dialog.questions.isEmpty());
}

TEST_F(CropDialog, FourMultipleAfterDetectionFollowsTheSetting) {
  show(Frame(0, 100, 10)); // X1 = 12, X2 = 2
  t.state.settings[Setting::HorizontalCrop] = "0";
  open(dialog, 0, 0, 0, 0);
  dialog.FindBtn->click(); // Cancel to the question
  EXPECT_EQ(dialog.questions, QStringList({MessageText(MsgAlignFour, 0)}));
  EXPECT_EQ(dialog.amounts(), (CropAmounts{12, 2, 2, 2}));
  dialog.answers = {true};
  dialog.FindBtn->click();
  EXPECT_EQ(dialog.amounts(), (CropAmounts{12, 4, 2, 2}));

  t.state.settings[Setting::HorizontalCrop] = "1";
  t.state.settings[Setting::AutoCropBalance] = "+4";
  dialog.FindBtn->click(); // 16 and 2, aligned without a question
  EXPECT_EQ(dialog.questions.size(), 2);
  EXPECT_EQ(dialog.amounts(), (CropAmounts{16, 4, 2, 2}));
}

TEST_F(CropDialog, FrameNavigationMovesTheMainSlider) {
  t.openVideo(40000, 720, 576);
  t.preview.ShowFrame(1);
  open(dialog, 0, 0, 0, 0);
  EXPECT_EQ(dialog.TrackBar1->maximum(), 40000);
  EXPECT_EQ(dialog.TrackBar1->ticks(), QVector<int>({15001, 30001}));
  dialog.BitBtn2->click(); // nothing before frame 1
  EXPECT_EQ(t.state.CurrentFrame, 1);
  dialog.BitBtn4->click();
  EXPECT_EQ(t.preview.shownFrames.last(), 2);
  EXPECT_EQ(dialog.TrackBar1->value(), 2);
  dialog.TrackBar1->setValue(40000);
  EXPECT_EQ(t.state.CurrentFrame, 40000);
  dialog.BitBtn4->click(); // nothing after the last
  EXPECT_EQ(t.preview.shownFrames.last(), 40000);

  const auto shown = t.preview.shownFrames.size();
  ScriptedForm4 again{t.state, t.preview};
  open(again, 0, 0, 0, 0); // the slider is set up quietly at the main one's position
  EXPECT_EQ(again.TrackBar1->value(), 40000);
  EXPECT_EQ(t.preview.shownFrames.size(), shown);
}

TEST_F(CropDialog, OkeyWritesTheAmountsAndCancelDoesNot) {
  open(dialog, 8, 8, 74, 74);
  dialog.Edit1->setText("80"); // typed, not stepped
  dialog.UpDnX2->stepBy(1);
  dialog.OkeyBtn->click();
  EXPECT_EQ(dialog.result(), 1);
  EXPECT_EQ(shared(), QList<int>({8, 10, 80, 74}));

  QTimer::singleShot(0, &dialog, [&] {
    dialog.FindBtn->click();
    dialog.BitBtn3->click();
  });
  EXPECT_EQ(dialog.RunCropDialog(), 3);
  EXPECT_EQ(shared(), QList<int>({8, 10, 80, 74}));
}

TEST_F(CropDialog, CaptionsFollowTheLanguage) {
  t.state.Language = 1;
  open(dialog, 0, 0, 0, 0);
  EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("Кропинг"));
  EXPECT_EQ(dialog.Button1->text(), QString::fromUtf8("Сброс в 0"));
  EXPECT_EQ(dialog.FindBtn->text(), QString::fromUtf8("Найти  "));
}
