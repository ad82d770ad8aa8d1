// The calculator window: what it shows when it opens, how its linked
// controls follow each other, its searches and its report.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <cmath>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "calculator/calculator_dialog.h"
#include "common/text_file.h"
#include "support/temp_dir.h"
#include "support/test_bench.h"

namespace reelwork {
namespace {

class FakeHost : public CalculatorHost {
public:
  explicit FakeHost(test::TestBench &bench)
      : bench_(bench), opener_(bench.state, bench.script, bench.editor, bench.dialogs) {}
  QString ChooseFile(const QString &folder, const QString &extension) override {
    return opener_.ChooseFile(folder, extension);
  }
  FramePreview &Preview() override { return bench_.preview; }
  using CalculatorHost::ShowMessage;
  void ShowMessage(const QString &text) override { bench_.dialogs.showMessage(text); }
  void ShowMessage(const QString &text, const QString &detail) override { bench_.dialogs.showMessage(text, detail); }
  void Beep() override { ++beeps; }
  void FocusTrackBar() override { ++focuses; }

  int beeps = 0;
  int focuses = 0;

private:
  test::TestBench &bench_;
  SourceOpener opener_;
};

RgbImage Grey(int value) {
  RgbImage image;
  image.resize(4, 4);
  std::fill(image.pixels.begin(), image.pixels.end(), static_cast<std::uint8_t>(value));
  return image;
}

// A 100-minute PAL film at 4:3, its script in a folder of its own.
class CalculatorDialog : public test::TempDirTest {
protected:
  CalculatorDialog() {
    bench.openVideo(150000, 720, 576, 25.0f);
    bench.state.AspectCode = 2;
    bench.state.WorkDir = dir.path() + "/";
  }
  QStringList &messages() { return bench.dialogs.messages; }
  bool resultsCleared() const {
    const QColor silver(192, 192, 192);
    return form.CalculatedBitrate->text().isEmpty() && form.Quality->text().isEmpty() &&
           form.CalculatedBitrate->palette().color(QPalette::Base) == silver &&
           form.Quality->palette().color(QPalette::Base) == silver;
  }
  void computeOnce() {
    form.ReCalcClick();
    ASSERT_FALSE(form.CalculatedBitrate->text().isEmpty());
  }

  test::TestBench bench;
  FakeHost host{bench};
  TForm3 form{bench.state, host};
};

TEST_F(CalculatorDialog, OpensOnTheVideosFramesRateAndTwoCds) {
  form.show(); // showing the window activates it
  EXPECT_EQ(form.size(), QSize(782, 399));
  EXPECT_EQ(form.FpsBox->currentText(), "25.000");
  EXPECT_EQ(form.FpsBox->count(), 5);
  EXPECT_EQ(form.Frames1->text(), "150000");
  EXPECT_EQ(form.Time1M->text(), "100");
  EXPECT_EQ(form.Time1S->text(), "0");
  EXPECT_EQ(form.TimeBar1->value(), 6000);
  EXPECT_EQ(form.TimeBar1->selectionEnd(), 6000);
  EXPECT_EQ(form.SizeBar->value(), 1400);
  EXPECT_EQ(form.Size1->text(), "1400");
  EXPECT_EQ(form.Format1->text(), "2.00 CD");
  // 1495 kbps is too little for 640 x 480 at 4:3: narrowed to 576 x 432.
  EXPECT_EQ(form.XSizeBox->currentText(), "576");
  EXPECT_EQ(form.YSizeBox->currentText(), "432");
  EXPECT_TRUE(resultsCleared());
  EXPECT_EQ(form.SizeBar->ticks().size(), 11);
  EXPECT_EQ(form.TimeBar1->ticks().size(), 17);
  EXPECT_EQ(form.SizeBarLabels[1]->x() - form.SizeBarLabels[0]->x(), (form.SizeBar->width() - 12) * 1000 / 4480);
  EXPECT_EQ(form.windowTitle(), "Calculator");
  form.hide();

  // Opening again puts the preset back over a typed size.
  form.Size1->setText("999");
  form.FormActivate();
  EXPECT_EQ(form.Size1->text(), "1400");
}

TEST_F(CalculatorDialog, AFiftyFpsVideoGetsOneEntryOfItsOwn) {
  bench.state.FrameRate = 50.0f;
  bench.state.Language = 1;
  form.FormActivate();
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Калькулятор"));
  EXPECT_EQ(form.BitBtn4->text(), QString::fromUtf8("С текущего фрейма"));
  form.FormActivate(); // opening twice does not pile up entries
  EXPECT_EQ(form.FpsBox->count(), 6);
  EXPECT_EQ(form.FpsBox->currentText(), "50.000");
  EXPECT_EQ(form.CalcRate, 50.0f);
  EXPECT_EQ(form.Time1M->text(), "50");
  bench.state.FrameRate = 25.0f;
  form.FormActivate();
  EXPECT_EQ(form.FpsBox->count(), 5);
}

TEST_F(CalculatorDialog, ReCalcWithAndWithoutEndTitles) {
  form.FormActivate();
  form.XSizeBox->setCurrentIndex(2); // 640
  form.YSizeBox->setCurrentIndex(1); // 480
  form.ReCalcClick();
  EXPECT_EQ(form.CalculatedBitrate->text(), "1495");
  EXPECT_EQ(form.CalculatedBitrate->palette().color(QPalette::Text), QColor(Qt::black));
  EXPECT_EQ(form.Quality->text(), "0,19");
  EXPECT_EQ(form.Quality->palette().color(QPalette::Text), QColor(Qt::red));

  form.TimeBar2->setValue(300); // five minutes of titles at "500 kbps"
  EXPECT_TRUE(resultsCleared());
  EXPECT_EQ(form.Frames2->text(), "7500");
  form.UseTitles->setChecked(true);
  form.ReCalcClick();
  EXPECT_EQ(form.CalculatedBitrate->text(), "1548");

  // 100 minutes of titles typed: only a beep, the result stays.
  form.Time2M->setText("100");
  EXPECT_EQ(form.TimeBar2->value(), 6000);
  form.CalculatedBitrate->setText("kept");
  form.ReCalcClick();
  EXPECT_EQ(host.beeps, 1);
  EXPECT_EQ(form.CalculatedBitrate->text(), "kept");

  form.UseTitles->setChecked(false);
  form.SizeBar->setValue(700);
  form.TimeBar1->setValue(5400);
  form.ReCalcClick();
  EXPECT_EQ(form.CalculatedBitrate->text(), "632");
  EXPECT_EQ(form.CalculatedBitrate->palette().color(QPalette::Text), QColor(Qt::red));
}

TEST_F(CalculatorDialog, InputsThatGiveNoResultBeep) {
  form.FormActivate();
  form.Size1->setText("1,5");
  form.ReCalcClick();
  form.Size1->setText("1000"); // typed: still the allowance of 2 CDs
  form.TimeBar1->setValue(0);
  form.ReCalcClick();
  form.TimeBar1->setValue(6000);
  form.FpsBox->setEditText("0");
  form.ReCalcClick();
  EXPECT_EQ(host.beeps, 3);
  EXPECT_TRUE(resultsCleared());
  form.FpsBox->setEditText("25.000");
  form.ReCalcClick();
  EXPECT_EQ(form.CalculatedBitrate->text(), "936");
}

TEST_F(CalculatorDialog, TimeSliderAndFieldsFollowEachOther) {
  form.FormActivate();
  computeOnce();
  form.TimeBar1->setValue(3600);
  EXPECT_EQ(form.Time1M->text(), "60");
  EXPECT_EQ(form.Time1S->text(), "0");
  EXPECT_EQ(form.Frames1->text(), "90000");
  EXPECT_EQ(form.TimeBar1->selectionEnd(), 3600);
  EXPECT_TRUE(resultsCleared());
  EXPECT_EQ(form.CalcFrameCount, 150000); // only typed frames change it

  form.Time1M->setText("1.5"); // 90 s
  EXPECT_EQ(form.TimeBar1->value(), 90);
  EXPECT_EQ(form.Frames1->text(), "2250");
  for (const char *outside : {"401", "-1"}) {
    form.Time1M->setText(outside);
    EXPECT_EQ(form.TimeBar1->value(), 90) << outside;
    EXPECT_EQ(form.Frames1->text(), "2250") << outside;
  }
}

TEST_F(CalculatorDialog, TypedFramesMoveTheTimeQuietly) {
  form.FormActivate();
  form.FpsBox->setCurrentIndex(1); // 23.976: the frames stay, the time follows
  EXPECT_EQ(form.CalcRate, 23.976f);
  EXPECT_EQ(form.Time1M->text(), "104");
  form.Frames1->setText("135000");
  EXPECT_EQ(form.CalcFrameCount, 135000);
  EXPECT_EQ(form.Time1M->text(), "93");
  EXPECT_EQ(form.Time1S->text(), "51");
  EXPECT_EQ(form.TimeBar1->value(), 5631);
  // Had the slider's handler run, it would have written 135009 frames.
  EXPECT_EQ(form.Frames1->text(), "135000");

  form.Frames1->setText("12a");
  EXPECT_EQ(messages(), QStringList{"'12a' is not a valid integer value"});
  EXPECT_EQ(form.CalcFrameCount, 135000);
}

TEST_F(CalculatorDialog, ATypedRateCountsAtOnceAndAnUnreadableOneIsIgnored) {
  form.FormActivate();
  form.FpsBox->setEditText("30");
  EXPECT_EQ(form.CalcRate, 30.0f);
  EXPECT_EQ(form.Time1M->text(), "83");
  EXPECT_EQ(form.Time1S->text(), "20");
  computeOnce();
  form.FpsBox->setEditText("30,5");
  EXPECT_EQ(form.CalcRate, 30.0f);
  EXPECT_TRUE(resultsCleared());
}

TEST_F(CalculatorDialog, FrameAndSecondArrows) {
  form.FormActivate();
  form.Frames1UpClick();
  EXPECT_EQ(form.CalcFrameCount, 150001);
  form.Frames1->setText("0");
  form.Frames1DnClick();
  EXPECT_EQ(form.Frames1->text(), "0");

  form.TimeBar1->setValue(6000);
  form.Time1LeftClick();
  EXPECT_EQ(form.Time1M->text() + ":" + form.Time1S->text(), "99:59");
  EXPECT_EQ(form.Frames1->text(), "149975");
  form.TimeBar1->setValue(24000);
  form.Time1RightClick();
  EXPECT_EQ(form.TimeBar1->value(), 24000);

  // The end-title arrows go through the fields' own handler.
  form.TimeBar2->setValue(59);
  form.Time2RightClick();
  EXPECT_EQ(form.Time2M->text() + ":" + form.Time2S->text(), "1:0");
  EXPECT_EQ(form.TimeBar2->value(), 60);
  EXPECT_EQ(form.Frames2->text(), "1500");
  form.Time2LeftClick();
  EXPECT_EQ(form.TimeBar2->value(), 59);
}

TEST_F(CalculatorDialog, SizeSliderSnapsToPresetsAndListsClearWhatTheyShould) {
  form.FormActivate();
  form.SizeBar->setValue(1725);
  EXPECT_EQ(form.SizeBar->value(), 2048);
  EXPECT_EQ(form.Size1->text(), "2048");
  EXPECT_EQ(form.Format1->text(), "2.00 GB");

  computeOnce();
  form.AudioBitrate2->setCurrentIndex(0); // by program: no handler runs
  EXPECT_FALSE(form.CalculatedBitrate->text().isEmpty());
  form.XSizeBoxChange();
  EXPECT_FALSE(form.CalculatedBitrate->text().isEmpty());
  EXPECT_TRUE(form.Quality->text().isEmpty());
}

TEST_F(CalculatorDialog, FromCurrentFrameOnlyInTheLastFifth) {
  form.FormActivate();
  bench.state.CurrentFrame = 100000;
  form.BitBtn4Click();
  EXPECT_EQ(form.Frames2->text(), "0");
  EXPECT_FALSE(form.UseTitles->isChecked());
  bench.state.CurrentFrame = 140000;
  form.BitBtn4Click();
  EXPECT_EQ(form.Frames2->text(), "10000");
  EXPECT_TRUE(form.UseTitles->isChecked());
  EXPECT_EQ(form.TimeBar2->value(), 400);
}

TEST_F(CalculatorDialog, FindAc3SetsTheFirstStreamFromTheFilesName) {
  form.FormActivate();
  const std::pair<const char *, const char *> cases[] = {
      {"movie 448kBpS.ac3", "448 Kbps"},
      {"movie 96kbps.ac3", "192 Kbps"},  // not a listed rate
      {"movie 448 kbps.ac3", "192 Kbps"}, // a blank before the letters
      {nullptr, "192 Kbps"},              // no sound file
  };
  for (const auto &[name, expected] : cases) {
    QDir(dir.path()).removeRecursively();
    QDir().mkpath(dir.path());
    if (name)
      writeBytes(name, "");
    form.AudioBitrate1->setCurrentIndex(5); // 192
    computeOnce();
    form.BitBtn2Click();
    EXPECT_EQ(form.AudioBitrate1->currentText(), expected) << (name ? name : "none");
    EXPECT_EQ(form.AudioBitrate2->currentText(), "000 Kbps");
    EXPECT_TRUE(resultsCleared());
  }
  EXPECT_TRUE(messages().isEmpty());
}

TEST_F(CalculatorDialog, FindTitlesUnderTheWaitCursor) {
  form.FormActivate();
  bench.preview.frames = [](int n) { return Grey(n >= 146437 ? 5 : 120); };
  form.BitBtn3Click();
  EXPECT_EQ(form.Frames2->text(), "3563");
  EXPECT_TRUE(form.UseTitles->isChecked());
  EXPECT_EQ(form.TimeBar2->value(), 143);
  EXPECT_EQ(bench.state.CurrentFrame, 146437);
  EXPECT_EQ(bench.preview.busyChanges, (QList<bool>{true, false}));

  // A light end: the message, and the title fields stay.
  bench.state.Language = 1;
  form.UseTitles->setChecked(false);
  bench.preview.frames = [](int) { return Grey(120); };
  form.BitBtn3Click();
  EXPECT_EQ(messages(), QStringList{QString::fromUtf8("Не могу найти титры!")});
  EXPECT_EQ(form.Frames2->text(), "3563");
  EXPECT_FALSE(form.UseTitles->isChecked());
}

TEST_F(CalculatorDialog, OkeyWritesTheReportAndCloses) {
  form.FormActivate();
  form.ReCalcClick();
  form.BitBtn1Click();
  EXPECT_EQ(form.result(), 1);
  EXPECT_EQ(host.focuses, 1);
  const auto lines = ReadTextLines(path("ReelworkInfo.doc"));
  ASSERT_TRUE(lines);
  const QStringList beginnings = {"Reelwork Calculator: ", "", "Main Video Size: ", "Main Video Frames: ",
                                  "Main Video Fps: ", "Full Video Time: ", "", "End Title Video: disabled", "",
                                  "Audio Stream 1: ", "", "Destination Size: ", "", "Calculated Bitrate: ",
                                  "Video Quality: "};
  ASSERT_EQ(lines->size(), beginnings.size());
  for (int i = 0; i < lines->size(); ++i) {
    if (beginnings[i].isEmpty())
      EXPECT_TRUE((*lines)[i].isEmpty()) << i;
    else
      EXPECT_TRUE((*lines)[i].startsWith(beginnings[i])) << i;
  }
  EXPECT_EQ((*lines)[2], "Main Video Size: 576 x 432");
  EXPECT_EQ((*lines)[13], "Calculated Bitrate: 1495 kbps");
  EXPECT_EQ((*lines)[14], "Video Quality: 0,24");
}

TEST_F(CalculatorDialog, OkeyWithoutSavingOrWithAnUnwritableFolder) {
  form.FormActivate();
  form.SaveBox->setChecked(false);
  form.BitBtn1Click();
  EXPECT_FALSE(QFile::exists(path("ReelworkInfo.doc")));

  bench.state.WorkDir = dir.path() + "/gone/";
  form.SaveBox->setChecked(true);
  form.BitBtn1Click();
  ASSERT_EQ(messages().size(), 1);
  EXPECT_TRUE(messages()[0].contains("ReelworkInfo.doc"));
  EXPECT_FALSE(bench.dialogs.details.value(0).isEmpty());
  EXPECT_EQ(form.result(), 1);
}

} // namespace
} // namespace reelwork

namespace reelwork {
namespace {

TEST(CalculatorQuality, RedBelowTheDecimalThreshold) {
  EXPECT_TRUE(QualityShownLow(0.225f)); // 0.224999994 as stored
  EXPECT_TRUE(QualityShownLow(0.2f));
  EXPECT_FALSE(QualityShownLow(std::nextafter(0.225f, 1.0f)));
  EXPECT_FALSE(QualityShownLow(0.3f));
}

TEST_F(CalculatorDialog, MinuteLabelsShowTheirWholeTextApart) {
  form.show();
  for (const auto *labels : {&form.TimeBar1Labels, &form.TimeBar2Labels}) {
    for (size_t k = 0; k < labels->size(); ++k) {
      const QLabel *label = (*labels)[k];
      EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text())) << label->text().toStdString();
      if (k > 0) {
        EXPECT_GT(label->x(), (*labels)[k - 1]->geometry().right()) << label->text().toStdString();
      }
    }
  }
}

} // namespace
} // namespace reelwork
