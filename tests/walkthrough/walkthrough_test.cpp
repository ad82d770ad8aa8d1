// A newcomer's road through the main window on the sample rip that the first
// start makes (PAL, made at test time), as the README's tour tells it: switch
// the Russian of a fresh start to English, open the project, find a combed
// frame, tick filters, deinterlace, find a light frame and crop, resize,
// calculate and save, each through the window's own buttons and dialogs with
// the values they offer, checking the script after every step and the
// calculator's report at the end.
//
// With REELWORK_SHOTS_DIR set, pictures of the windows are saved there: the
// README's screenshots, so they show what a user following the tour sees.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/language.h"
#include "app/main_window.h"
#include "app/shared_state.h"
#include "calculator/calculator_dialog.h"
#include "crop/crop_dialog.h"
#include "deinterlace/deinterlace_dialog.h"
#include "preview/tick_slider.h"
#include "resize/resize_dialogs.h"
#include "resize/resize_windows.h"
#include "settings/options_dialog.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

using namespace reelwork;

namespace {

// What a window says about itself in a failure message.
std::string Describe(QWidget *window) {
  QString text = window->metaObject()->className() + QString(" \"") + window->windowTitle() + "\"";
  if (auto *box = qobject_cast<QMessageBox *>(window))
    text += ": " + box->text();
  return text.toStdString();
}

// Closes every dialog on screen, message boxes included, the way Escape would.
void CancelOpenDialogs() {
  for (QWidget *top : QApplication::topLevelWidgets())
    if (auto *dialog = qobject_cast<QDialog *>(top); dialog && dialog->isVisible())
      dialog->reject();
}

// Works a modal window as a user does: once `window` is the active modal
// window, `steps` run; they are expected to close it. A window that does not
// appear in time, a message box nobody expected, or a window the steps leave
// open fails the test, and every dialog still on screen is cancelled so that
// the modal loops return instead of hanging.
class ModalDriver {
public:
  ModalDriver(QWidget *window, std::function<void()> steps, const char *what)
      : window_(window), steps_(std::move(steps)), what_(what) {
    clock_.start();
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    timer_.start();
    // A timer does not fire again inside its own handler, so a second one
    // watches the modal loops that the steps may start.
    watch_.setInterval(10);
    QObject::connect(&watch_, &QTimer::timeout, [this] { Watch(); });
  }
  ~ModalDriver() {
    timer_.stop();
    watch_.stop();
  }
  // The window came up, and the steps ran and closed it.
  bool ok() const { return ran_ && !failed_; }

private:
  // While the steps run: a window they opened and do not answer.
  void Watch() {
    QWidget *modal = QApplication::activeModalWidget();
    // The progress of long work (the title search) asks nothing.
    if (modal && modal != window_ && modal->objectName() != "ProgressWindow") {
      ADD_FAILURE() << what_ << ": an unexpected window came up: " << Describe(modal);
      if (auto *dialog = qobject_cast<QDialog *>(modal))
        dialog->reject();
      else
        modal->close();
    }
  }

  void Tick() {
    QWidget *modal = QApplication::activeModalWidget();
    if (!ran_ && !failed_ && window_->isVisible() && modal == window_) {
      ran_ = true;
      watch_.start();
      steps_();
      watch_.stop();
      if (window_->isVisible()) {
        ADD_FAILURE() << what_ << " was left open";
        failed_ = true;
      }
    } else if (!ran_ && !failed_ && qobject_cast<QMessageBox *>(modal)) {
      ADD_FAILURE() << "before " << what_ << " an unexpected message came up: " << Describe(modal);
      failed_ = true;
    } else if (!ran_ && !failed_ && clock_.elapsed() > kPatienceMs) {
      ADD_FAILURE() << what_ << " did not come up as the active modal window";
      failed_ = true;
    }
    if (failed_) {
      CancelOpenDialogs(); // on every tick, for as long as the driver lives
      return;
    }
    if (ran_)
      timer_.stop();
  }

  static constexpr qint64 kPatienceMs = 30000;
  QWidget *window_;
  std::function<void()> steps_;
  const char *what_;
  QTimer timer_;
  QTimer watch_;
  QElapsedTimer clock_;
  bool ran_ = false;
  bool failed_ = false;
};

// Key presses as the keyboard sends them, one character at a time.
void Type(QWidget *target, const QString &text) {
  for (const QChar ch : text) {
    const int key = ch == '\n' ? int(Qt::Key_Return) : int(ch.toUpper().unicode());
    const QString typed = ch == '\n' ? QString("\r") : QString(ch);
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, typed);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, typed);
    QCoreApplication::sendEvent(target, &release);
  }
}

// A mouse click on a row of a list.
void ClickRow(QListWidget *list, int row) {
  QListWidgetItem *item = list->item(row);
  ASSERT_NE(item, nullptr) << list->objectName().toStdString() << " row " << row;
  list->scrollToItem(item);
  const QPointF at = list->visualItemRect(item).center();
  const QPointF global = list->viewport()->mapToGlobal(at);
  QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(list->viewport(), &press);
  QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(list->viewport(), &release);
}

QString Join(const QStringList &lines) { return lines.join(" | "); }

} // namespace

namespace reelwork {
void PrintTo(const CropAmounts &c, std::ostream *os) {
  *os << "X1 " << c.X1 << " X2 " << c.X2 << " Y1 " << c.Y1 << " Y2 " << c.Y2;
}
} // namespace reelwork

class Walkthrough : public reelwork::test::TempDirTest {
protected:
  void SetUp() override {
    // The frame engine keeps its index cache away from the user's.
    const QByteArray old = qgetenv("XDG_CACHE_HOME");
    hadCache_ = !old.isNull();
    oldCache_ = old;
    qputenv("XDG_CACHE_HOME", path("cache").toUtf8());

    QProcess maker;
    maker.setProcessChannelMode(QProcess::MergedChannels);
    maker.start(REELWORK_CLI, {"sample", path("rip")});
    ASSERT_TRUE(maker.waitForFinished(120000)) << "the sample maker did not finish";
    ASSERT_EQ(maker.exitStatus(), QProcess::NormalExit);
    ASSERT_EQ(maker.exitCode(), 0) << maker.readAll().toStdString();
    rip = QDir(path("rip"));
    for (const char *name : {"VTS_01_1.d2v", "VTS_01_1.VOB", "VTS_01_0 - Info.txt"})
      ASSERT_TRUE(rip.exists(name)) << name;
    ASSERT_EQ(rip.entryList({"*.ac3"}).size(), 1);

    const QByteArray shots = qgetenv("REELWORK_SHOTS_DIR");
    if (!shots.isEmpty()) {
      shotsDir_ = QString::fromLocal8Bit(shots);
      QDir().mkpath(shotsDir_);
    }
  }
  void TearDown() override {
    if (hadCache_)
      qputenv("XDG_CACHE_HOME", oldCache_);
    else
      qunsetenv("XDG_CACHE_HOME");
  }

  // Saves a picture of the window when pictures are wanted.
  void Shot(QWidget *window, const char *name) {
    if (shotsDir_.isEmpty())
      return;
    EXPECT_TRUE(window->grab().save(QDir(shotsDir_).filePath(name))) << name;
  }

  QByteArray ripBytes(const QString &name) const {
    QFile file(rip.filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  // The sample as the first start makes it: 30 seconds at 25 fps, a dark
  // scene, a light one from frame 263 and the end titles (the last fifth)
  // from frame 600.
  static constexpr int kSeconds = 30;
  static constexpr int kFrames = kSeconds * 25;
  static constexpr int kTitleStart = 600;
  static constexpr int kLightFrom = 263;

  QDir rip;
  reelwork::test::FakeDialogs dialogs;

private:
  QString shotsDir_;
  QByteArray oldCache_;
  bool hadCache_ = false;
};

TEST_F(Walkthrough, FromProjectToSavedScriptAndReport) {
  // 0. A fresh start, without a settings file, speaks Russian; "Options"
  //    switches it to English and writes the choice.
  auto w = std::make_unique<TForm1>(path("Reelwork.ini"));
  w->setDialogs(&dialogs);
  w->state().Random.seed(20111); // the searches sample pixels at random
  w->show();
  const auto picture = [&] { return QSize(w->ShownPicture().width, w->ShownPicture().height); };
  const auto noMessages = [&] { return dialogs.messages.isEmpty() ? "" : dialogs.messages.join("; ").toStdString(); };
  EXPECT_EQ(w->state().Language, 1);
  EXPECT_EQ(w->BitBtn4->text().trimmed(), QString::fromUtf8("Опции"));
  ModalDriver options(
      w->Form7,
      [&] {
        EXPECT_TRUE(w->Form7->LanguageRussian->isChecked());
        w->Form7->LanguageEnglish->click();
        w->Form7->BitBtn1->click(); // OKey
      },
      "the options");
  w->BitBtn4->click();
  ASSERT_TRUE(options.ok());
  EXPECT_EQ(w->state().Language, 0);
  EXPECT_EQ(w->BitBtn4->text().trimmed(), "Options");
  EXPECT_EQ(w->BitBtn12->text().trimmed(), "Find Interlace");
  EXPECT_TRUE(readBytes("Reelwork.ini").contains("_LANGUAGE=0\r\n"));
  const QString avsName = "VTS_01_1.avs";

  // 1. "D2V" opens the project: a new script with its source line, frame 1 shown.
  dialogs.openNames = {rip.filePath("VTS_01_1.d2v")};
  w->BitBtn1->click();
  ASSERT_TRUE(w->state().VideoOpen) << Join(dialogs.details).toStdString();
  const QString source = "mpeg2source(\"VTS_01_1.d2v\")";
  EXPECT_EQ(w->editor().lines(), QStringList{source});
  EXPECT_EQ(ripBytes(avsName), (source + "\r\n").toUtf8());
  EXPECT_EQ(w->state().ScriptName, avsName);
  EXPECT_EQ(w->state().TvSystem, "PAL");
  EXPECT_EQ(w->state().FrameCount, kFrames);
  EXPECT_EQ(w->state().CurrentFrame, 1);
  EXPECT_EQ(w->TrackBar1->value(), 1);
  EXPECT_EQ(picture(), QSize(720, 576));
  EXPECT_EQ(w->windowTitle(), "Reelwork (build 201105) - [VTS_01_1.avs] - PAL / 25,0 fps  / 720 x 576");
  EXPECT_TRUE(dialogs.messages.isEmpty()) << noMessages();

  // 2. "Find Interlace" lands on a combed frame of the film, at the default
  //    sensitivity, without "Interlaced frames not found!".
  w->BitBtn12->click();
  EXPECT_TRUE(dialogs.messages.isEmpty()) << noMessages();
  EXPECT_GE(w->state().CurrentFrame, kFrames / 10);
  EXPECT_LT(w->state().CurrentFrame, kTitleStart);
  EXPECT_EQ(w->TrackBar1->value(), w->state().CurrentFrame);

  // 3. Ticking Sharpen and ColorYUV in the filter list appends their lines.
  const auto item = [&](const QString &name) -> QListWidgetItem * {
    const auto found = w->CheckListBox1->findItems(name, Qt::MatchExactly);
    return found.size() == 1 ? found[0] : nullptr;
  };
  for (const char *name : {"Sharpen()", "ColorYUV()"}) {
    QListWidgetItem *filter = item(name);
    ASSERT_NE(filter, nullptr) << name;
    filter->setCheckState(Qt::Checked);
  }
  const QString sharpen = "Sharpen(0.25)";
  const QString colors = "ColorYUV(cont_y=0, cont_u=0, cont_v=0)";
  EXPECT_EQ(w->editor().lines(), (QStringList{source, sharpen, colors}));
  EXPECT_EQ(ripBytes(avsName), (source + "\r\n" + sharpen + "\r\n" + colors + "\r\n").toUtf8());
  EXPECT_EQ(picture(), QSize(720, 576));

  // 4. The deinterlace wizard on PAL: the user picks "Telecide + TomsMoComp"
  //    and confirms; its commands follow the source line, which takes the
  //    decoder parameters of a post-processed method.
  QStringList wizardCommands;
  ModalDriver deinterlace(
      w->Form5,
      [&] {
        TForm5 *f = w->Form5;
        EXPECT_TRUE(f->CPAL->isChecked());
        EXPECT_EQ(f->MethodBox->count(), 5);
        const auto rows = f->MethodBox->findItems("Telecide + TomsMoComp", Qt::MatchExactly);
        ASSERT_EQ(rows.size(), 1);
        ClickRow(f->MethodBox, f->MethodBox->row(rows[0]));
        EXPECT_EQ(f->MethodBox->currentItem(), rows[0]);
        wizardCommands = f->Commands();
        EXPECT_FALSE(f->ExpMemo->toPlainText().isEmpty());
        EXPECT_TRUE(f->CheckBox1->isChecked());
        Shot(f, "deinterlace-wizard.png");
        f->BitBtn2->click(); // OKey
      },
      "the deinterlace wizard");
  w->BitBtn8->click();
  ASSERT_TRUE(deinterlace.ok());
  const QString tunedSource = "mpeg2source(\"VTS_01_1.d2v\",idct=0,cpu=4,iPP=true)";
  const QString telecide = "Telecide(order=1,post=1)";
  const QString toms = "TomsMoComp(1,5,1)";
  EXPECT_EQ(wizardCommands, (QStringList{telecide, toms}));
  EXPECT_EQ(w->editor().lines(), (QStringList{tunedSource, telecide, toms, sharpen, colors}));
  EXPECT_EQ(w->state().settings[Setting::Mpeg2Source], "idct=0,cpu=4,iPP=true");
  EXPECT_TRUE(ripBytes(avsName).startsWith((tunedSource + "\r\n" + telecide + "\r\n" + toms + "\r\n").toUtf8()));
  EXPECT_TRUE(w->state().VideoOpen);
  EXPECT_EQ(picture(), QSize(720, 576));
  EXPECT_TRUE(dialogs.messages.isEmpty()) << noMessages();

  // 5. "Find Light" jumps to a frame of the light scene; "Make Crop" opens
  //    the crop dialog with the script's amounts (none yet), "Find crop"
  //    measures the black bars, and OKey puts the Crop line after the
  //    deinterlacing.
  w->BitBtn2->click();
  EXPECT_TRUE(dialogs.messages.isEmpty()) << noMessages();
  const int lightFrame = w->state().CurrentFrame;
  EXPECT_GE(lightFrame, kLightFrom);
  EXPECT_LT(lightFrame, kTitleStart);
  ModalDriver crop(
      w->Form4,
      [&] {
        TForm4 *f = w->Form4;
        EXPECT_EQ(f->amounts(), CropAmounts{});
        EXPECT_EQ(w->state().CurrentFrame, lightFrame);
        f->FindBtn->click();
        // 64 black rows above and below, cut one row past the edge and made
        // even; no side borders (2 is the least found).
        EXPECT_EQ(f->amounts(), (CropAmounts{2, 2, 66, 66}));
        EXPECT_EQ(f->Edit1->text(), "66");
        EXPECT_EQ(f->Image1->size(), QSize(720, 576));
        Shot(f, "crop-dialog.png");
        f->OkeyBtn->click();
      },
      "the crop dialog");
  w->BitBtn7->click();
  ASSERT_TRUE(crop.ok());
  const QString cropLine = "Crop(2,66,-2,-66)";
  EXPECT_EQ(w->editor().lines(), (QStringList{tunedSource, telecide, toms, cropLine, sharpen, colors}));
  EXPECT_TRUE(ripBytes(avsName).contains((toms + "\r\n" + cropLine + "\r\n" + sharpen).toUtf8()));
  EXPECT_EQ(picture(), QSize(716, 444));
  EXPECT_EQ(w->state().CurrentFrame, lightFrame);
  EXPECT_TRUE(dialogs.messages.isEmpty()) << noMessages();

  // 6. Resize: the type chooser offers the automatic method of the default
  //    settings; its window computes a size for the cropped picture.
  ResizeWindows &resize = w->resizeWindows();
  ModalDriver chooser(
      resize.Form8,
      [&] {
        EXPECT_EQ(resize.Form8->SelectedType(), 0); // "Auto"
        EXPECT_FALSE(resize.Form8->TextMemo->toPlainText().isEmpty());
        resize.Form8->BitBtn1->click(); // Okey
      },
      "the resize type chooser");
  QString autoWidth, autoHeight;
  ModalDriver automatic(
      resize.Form6,
      [&] {
        TForm6 *f = resize.Form6;
        autoWidth = f->Edit1->text();
        autoHeight = f->Edit2->text();
        f->BitBtn1->click(); // Okey
      },
      "the automatic resize window");
  w->BitBtn6->click();
  ASSERT_TRUE(chooser.ok());
  ASSERT_TRUE(automatic.ok());
  // 640 wide (the default width) and the height that keeps the proportions
  // of the 4:3 picture once the bars are cut.
  EXPECT_EQ(autoWidth, "640");
  EXPECT_EQ(autoHeight, "368");
  const QString resizeLine = "BicubicResize(" + autoWidth + "," + autoHeight + ")";
  EXPECT_EQ(w->editor().lines(), (QStringList{tunedSource, telecide, toms, cropLine, resizeLine, sharpen, colors}));
  EXPECT_EQ(w->state().settings[Setting::ResizeMethod], "0");
  const QSize resized(autoWidth.toInt(), autoHeight.toInt());
  EXPECT_EQ(picture(), resized);
  EXPECT_TRUE(dialogs.messages.isEmpty()) << noMessages();

  // 7. The calculator: the video's own frames and time, the sound from the
  //    AC3 file's name, the end titles found by "Find Titles"; ReCalc, and
  //    Okey writes the report.
  QStringList expectedReport;
  ModalDriver calculator(
      w->Form3,
      [&] {
        TForm3 *f = w->Form3;
        EXPECT_EQ(f->Frames1->text(), QString::number(kFrames));
        EXPECT_EQ(f->FpsBox->currentText(), "25.000");
        EXPECT_EQ(f->Time1M->text(), "0");
        EXPECT_EQ(f->Time1S->text(), QString::number(kSeconds));

        f->BitBtn2->click(); // Find AC3: the file's name tells 448 kbps
        EXPECT_EQ(f->AudioBitrate1->currentText(), "448 Kbps");
        EXPECT_TRUE(dialogs.messages.isEmpty()) << noMessages();

        // The titles run from frame 600 to the end, whatever pixels the
        // search happens to sample.
        f->BitBtn3->click();
        EXPECT_TRUE(dialogs.messages.isEmpty()) << noMessages();
        EXPECT_TRUE(f->UseTitles->isChecked());
        EXPECT_EQ(f->Frames2->text(), QString::number(kFrames - kTitleStart));
        EXPECT_EQ(f->Time2M->text(), "0");
        EXPECT_EQ(f->Time2S->text(), "6");
        EXPECT_EQ(f->TitleBitrate->currentText(), "500 kbps");
        EXPECT_EQ(w->state().CurrentFrame, kTitleStart);

        f->ReCalc->click();
        EXPECT_FALSE(f->CalculatedBitrate->text().isEmpty());
        EXPECT_FALSE(f->Quality->text().isEmpty());
        EXPECT_TRUE(f->SaveBox->isChecked());
        expectedReport = QStringList{
            "",
            "Main Video Size: " + f->XSizeBox->currentText() + " x " + f->YSizeBox->currentText(),
            "Main Video Frames: " + QString::number(kFrames),
            "Main Video Fps: 25.000",
            "Full Video Time: 0 min 30 sec",
            "",
            "End Title Video Frames: 150",
            "End Title Video Time: 0min 6sec",
            "End Title Video Bitrate: 500 kbps",
            "",
            "Audio Stream 1: 448 Kbps",
            "",
            "Destination Size: " + f->Size1->text() + " Mb (" + f->Format1->text() + ")",
            "",
            "Calculated Bitrate: " + f->CalculatedBitrate->text() + " kbps",
            "Video Quality: " + f->Quality->text(),
        };
        Shot(f, "calculator.png");
        f->BitBtn1->click(); // Okey
      },
      "the calculator");
  w->BitBtn14->click();
  ASSERT_TRUE(calculator.ok());
  EXPECT_TRUE(dialogs.messages.isEmpty()) << noMessages();
  // The calculator leaves the script alone.
  EXPECT_EQ(w->editor().lines(), (QStringList{tunedSource, telecide, toms, cropLine, resizeLine, sharpen, colors}));

  const QByteArray report = ripBytes("ReelworkInfo.doc");
  ASSERT_FALSE(report.isEmpty()) << "no report beside the script";
  ASSERT_TRUE(report.endsWith("\r\n"));
  QStringList reportLines;
  for (QByteArray line : report.chopped(1).split('\n')) {
    EXPECT_TRUE(line.endsWith('\r')) << "a line without CR LF: " << line.constData();
    line.chop(1);
    reportLines.append(QString::fromLatin1(line));
  }
  ASSERT_FALSE(reportLines.isEmpty());
  EXPECT_TRUE(reportLines.front().startsWith("Reelwork Calculator: ")) << reportLines.front().toStdString();
  reportLines.removeFirst();
  EXPECT_EQ(reportLines, expectedReport);

  // 8. The user types one more line at the end of the script and presses
  //    "Save-Load": the file holds the whole script, and the preview shows
  //    the final size.
  QTextCursor end = w->Memo1->textCursor();
  end.movePosition(QTextCursor::End);
  w->Memo1->setTextCursor(end);
  Type(w->Memo1, "\nTweak(0,1.2,0,1.0)");
  const QString tweak = "Tweak(0,1.2,0,1.0)";
  w->BitBtn9->click();
  const QStringList finalScript{tunedSource, telecide, toms, cropLine, resizeLine, sharpen, colors, tweak};
  EXPECT_EQ(w->editor().lines(), finalScript);
  EXPECT_EQ(QString::fromUtf8(ripBytes(avsName)), finalScript.join("\r\n") + "\r\n");
  ASSERT_TRUE(w->state().VideoOpen);
  EXPECT_EQ(picture(), resized);
  EXPECT_EQ(w->state().VideoWidth, resized.width());
  EXPECT_EQ(w->state().VideoHeight, resized.height());
  EXPECT_EQ(w->Image1->height(), resized.height());
  // The check marks follow the script.
  for (const char *name : {"mpeg2source()", "Telecide()", "TomsMoComp()", "Crop()", "BicubicResize()", "Sharpen()",
                           "ColorYUV()"}) {
    QListWidgetItem *filter = item(name);
    ASSERT_NE(filter, nullptr) << name;
    EXPECT_EQ(filter->checkState(), Qt::Checked) << name;
  }
  for (const char *name : {"Decimate()", "Bob()", "MipSmooth()", "RGBAdjust()"})
    EXPECT_EQ(item(name)->checkState(), Qt::Unchecked) << name;
  EXPECT_TRUE(dialogs.messages.isEmpty()) << noMessages();

  // Back on the light frame the crop was measured on, at the final size.
  w->TrackBar1->setValue(lightFrame);
  EXPECT_EQ(w->state().CurrentFrame, lightFrame);
  EXPECT_EQ(picture(), resized);
  Shot(w.get(), "main-window.png");

  // The saved script closes without a question.
  EXPECT_TRUE(w->close());
  EXPECT_TRUE(dialogs.questions.isEmpty()) << Join(dialogs.questions).toStdString();
}
