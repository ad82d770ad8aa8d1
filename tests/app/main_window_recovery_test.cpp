// The main window never locks the user out of a script that cannot be shown,
// says what the preview leaves out, shows progress of long work and gives the
// frame slider the focus after every dialog.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QTimer>
#include <sys/stat.h>

#include "app/main_window_fixture.h"
#include "engine/d2v_writer.h"
#include "engine/mpeg2_index.h"
#include "calculator/calculator_dialog.h"
#include "preview/preview_display.h"
#include "preview/tick_slider.h"
#include "settings/options_dialog.h"

using namespace reelwork;

namespace {

// How many pixels of the preview's picture are not black.
int LitPixels(const TForm1 &w) {
  const QImage image = w.Image1->pixmap().toImage();
  int lit = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      lit += image.pixelColor(x, y) != QColor(Qt::black);
  return lit;
}

void SetCheck(TForm1 &w, const QString &item, bool checked) {
  const auto found = w.CheckListBox1->findItems(item, Qt::MatchExactly);
  ASSERT_EQ(found.size(), 1) << item.toStdString();
  found[0]->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

// Answers the question at close from a queue; no answer left is Cancel.
class CloseDialogs : public test::FakeDialogs {
public:
  CloseAnswer askSaveAtClose(const QString &text) override {
    questions.append(text);
    if (closeAnswers.empty())
      return CloseAnswer::Cancel;
    const CloseAnswer answer = closeAnswers.front();
    closeAnswers.pop_front();
    return answer;
  }
  std::deque<CloseAnswer> closeAnswers;
};

// Presses Cancel on the progress window as soon as long work reports, and
// notes whether the wait cursor was on meanwhile.
struct CancelProgress {
  explicit CancelProgress(TForm1 &w) {
    QTimer::singleShot(0, &w, [this, &w] {
      waitCursor = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
      if (auto *dialog = w.findChild<QProgressDialog *>("ProgressWindow")) {
        label = dialog->labelText();
        dialog->cancel();
      }
    });
  }
  bool waitCursor = false;
  QString label;
};

} // namespace

// A mistyped line is reported, the script stays open, and the fixed line
// brings the video back at the same frame.
TEST_F(MainWindowWithVideo, ABrokenLineCanBeFixedAndSavedWithSaveLoad) {
  auto w = openProject();
  ASSERT_TRUE(w->state().VideoOpen);
  w->TrackBar1->setValue(5);
  w->Memo1->appendPlainText("Sharpen(1,,");
  w->BitBtn9->click();
  ASSERT_EQ(dialogs.messages, QStringList{"AVS-file could not be read!"});
  EXPECT_TRUE(dialogs.details.value(0).startsWith("line 2:")) << dialogs.details.join("; ").toStdString();
  EXPECT_FALSE(w->state().VideoOpen);
  EXPECT_TRUE(w->state().ScriptOpen);
  // The title and the picture no longer show the old script: the picture
  // holds the reason, with the script's line.
  EXPECT_EQ(w->windowTitle(), "Reelwork (build 201105) - [VTS_01_1.avs]");
  const int lit = LitPixels(*w);
  EXPECT_GT(lit, 200);
  // A click into the reason does not bring the old frame back.
  w->Image1Click(QPoint(10, 20));
  EXPECT_EQ(LitPixels(*w), lit);
  EXPECT_EQ(FailureLines("VTS_01_1.avs", w->state().VideoError, 0).value(1), "VTS_01_1.avs, line 2");
  EXPECT_TRUE(readBytes("VTS_01_1.avs").endsWith("Sharpen(1,,\r\n"));

  // Tools that need frames say the script cannot be read; none asks for a
  // script to be opened.
  dialogs.messages.clear();
  w->BitBtn12->click();
  w->BitBtn14->click();
  EXPECT_EQ(dialogs.messages, QStringList({"AVS-file could not be read!", "AVS-file could not be read!"}));

  QStringList fixed = w->editor().lines();
  fixed.last() = "Sharpen(1)";
  w->editor().setLines(fixed);
  dialogs.messages.clear();
  w->BitBtn9->click();
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join("; ").toStdString();
  ASSERT_TRUE(w->state().VideoOpen);
  EXPECT_TRUE(w->state().VideoError.isEmpty());
  EXPECT_EQ(w->state().CurrentFrame, 5);
  EXPECT_EQ(w->ShownPicture().width, 720);
  EXPECT_EQ(w->TrackBar1->maximum(), rip.frames);
  EXPECT_EQ(w->windowTitle(), "Reelwork (build 201105) - [VTS_01_1.avs] - PAL / 25,0 fps  / 720 x 576");
  EXPECT_TRUE(readBytes("VTS_01_1.avs").endsWith("Sharpen(1)\r\n"));

  // Save As works on a script that cannot be shown.
  w->Memo1->appendPlainText("Blur(");
  dialogs.saveNames = {path("other.avs")};
  w->BitBtn5->click();
  EXPECT_EQ(w->state().ScriptName, "other.avs");
  EXPECT_FALSE(w->state().VideoOpen);
  EXPECT_TRUE(readBytes("other.avs").endsWith("Blur(\r\n"));
}

// Filter combinations the engine refuses are undone through the list itself.
TEST_F(MainWindowWithVideo, RefusedFilterCombinationsCanBeUndoneInTheList) {
  auto w = openProject();
  ASSERT_TRUE(w->state().VideoOpen);
  SetCheck(*w, "RGBAdjust()", true);
  ASSERT_TRUE(w->state().VideoOpen) << dialogs.details.join("; ").toStdString();
  SetCheck(*w, "ColorYUV()", true);
  ASSERT_FALSE(w->state().VideoOpen) << "the engine now shows ColorYUV over RGB; pick another refused pair";
  SetCheck(*w, "ColorYUV()", false);
  EXPECT_TRUE(w->state().VideoOpen) << dialogs.details.join("; ").toStdString();
  EXPECT_FALSE(w->editor().lines().join("\n").contains("ColorYUV"));

  SetCheck(*w, "mpeg2source()", false);
  EXPECT_FALSE(w->state().VideoOpen);
  EXPECT_FALSE(w->editor().lines().join("\n").contains("mpeg2source"));
  SetCheck(*w, "mpeg2source()", true);
  EXPECT_TRUE(w->state().VideoOpen) << dialogs.details.join("; ").toStdString();
  EXPECT_EQ(w->editor().lines().value(0), "mpeg2source(\"VTS_01_1.d2v\")");
}

// The question at close comes for an edit that could not be shown; Escape or
// closing the box keeps the window and the edits; a failed save keeps it too.
TEST_F(MainWindowWithVideo, TheCloseQuestionKeepsTheWindowUnlessAnswered) {
  CloseDialogs answers;
  auto w = openProject();
  w->setDialogs(&answers);
  w->Memo1->appendPlainText("Sharpen(1,,");
  w->BitBtn9->click();
  ASSERT_FALSE(w->state().VideoOpen);
  w->Memo1->appendPlainText("Blur(1)");
  const QStringList edited = w->editor().lines();

  EXPECT_FALSE(w->close()); // the fake answers Cancel
  EXPECT_EQ(answers.questions, QStringList{"AVS-file is not saved. Save it?"});
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->editor().lines(), edited);
  EXPECT_EQ(w->focusWidget(), w->TrackBar1);

  // The real question box: Escape, then its close button, both cancel.
  w->setDialogs(nullptr);
  int boxes = 0;
  const auto dismiss = [&](bool escape) {
    QTimer::singleShot(0, w.get(), [&boxes, escape] {
      auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
      if (!box)
        return;
      ++boxes;
      if (escape) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(box, &key);
      } else {
        box->close();
      }
    });
  };
  dismiss(true);
  EXPECT_FALSE(w->close());
  dismiss(false);
  EXPECT_FALSE(w->close());
  EXPECT_EQ(boxes, 2);
  EXPECT_EQ(w->editor().lines(), edited);

  // Yes with a script that can no longer be written: the window stays.
  w->setDialogs(&answers);
  ASSERT_TRUE(QFile::remove(path("VTS_01_1.avs")));
  ASSERT_TRUE(QDir(dir.path()).mkdir("VTS_01_1.avs"));
  answers.closeAnswers = {UserDialogs::CloseAnswer::Yes};
  answers.messages.clear();
  EXPECT_FALSE(w->close());
  EXPECT_EQ(answers.messages.size(), 1);
  ASSERT_TRUE(QDir(dir.path()).rmdir("VTS_01_1.avs"));

  answers.closeAnswers = {UserDialogs::CloseAnswer::Yes};
  EXPECT_TRUE(w->close());
  EXPECT_EQ(readBytes("VTS_01_1.avs"), (edited.join("\r\n") + "\r\n").toUtf8());
}

// The index build shows its progress under the wait cursor and can be
// cancelled; the script then stays open and the next Save-Load builds it.
TEST_F(MainWindowWithVideo, IndexBuildCanBeCancelled) {
  auto w = start("_LANGUAGE=0\r\n");
  w->show();
  CancelProgress cancel(*w);
  w->opener().OpenD2VPath(QString::fromStdString(rip.d2v.string()));
  EXPECT_TRUE(cancel.waitCursor);
  EXPECT_EQ(cancel.label, "Indexing the video...");
  EXPECT_FALSE(w->state().VideoOpen);
  EXPECT_TRUE(w->state().ScriptOpen);
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join("; ").toStdString();
  EXPECT_TRUE(w->state().VideoError.startsWith("Opening cancelled"));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  w->BitBtn9->click();
  EXPECT_TRUE(w->state().VideoOpen) << dialogs.details.join("; ").toStdString();
  EXPECT_EQ(w->state().CurrentFrame, 1);
}

// Find Interlace can be stopped: the frame shown before comes back, no message.
TEST_F(MainWindowWithVideo, FindInterlaceCanBeCancelled) {
  auto w = openProject();
  ASSERT_TRUE(w->state().VideoOpen);
  w->TrackBar1->setValue(3);
  CancelProgress cancel(*w);
  w->BitBtn12->click();
  EXPECT_EQ(cancel.label, "Searching for interlaced frames...");
  EXPECT_EQ(w->state().CurrentFrame, 3);
  EXPECT_EQ(w->TrackBar1->value(), 3);
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join("; ").toStdString();
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// A line under the preview names what it leaves out, in the window's language,
// and goes away when nothing is left out.
TEST_F(MainWindowWithVideo, TheNotesLineNamesWhatThePreviewLeavesOut) {
  auto w = openProject();
  ASSERT_TRUE(w->state().VideoOpen);
  EXPECT_FALSE(w->NotesLine->isVisible());
  w->Memo1->appendPlainText("MipSmooth(preset = \"movieHQ\")");
  w->Memo1->appendPlainText("Blurr(1)");
  w->BitBtn9->click();
  ASSERT_TRUE(w->state().VideoOpen) << dialogs.details.join("; ").toStdString();
  ASSERT_TRUE(w->NotesLine->isVisible());
  EXPECT_TRUE(w->NotesLine->toolTip().contains("Blurr")) << w->NotesLine->toolTip().toStdString();
  EXPECT_TRUE(w->NotesLine->toolTip().contains("MipSmooth")) << w->NotesLine->toolTip().toStdString();
  EXPECT_TRUE(dialogs.messages.isEmpty());
  // The picture keeps one screen pixel per frame pixel above the line.
  EXPECT_EQ(w->Image1->size(), QSize(720, 576));

  if (const QByteArray shots = qgetenv("REELWORK_SHOTS_DIR"); !shots.isEmpty()) {
    QDir().mkpath(QString::fromLocal8Bit(shots));
    EXPECT_TRUE(w->grab().save(QDir(QString::fromLocal8Bit(shots)).filePath("not-previewed.png")));
  }

  w->state().settings[Setting::Language] = "1";
  w->ApplySettings();
  EXPECT_TRUE(w->NotesLine->toolTip().startsWith(QString::fromUtf8("Не показано: ")))
      << w->NotesLine->toolTip().toStdString();

  QStringList plain = w->editor().lines();
  plain.removeLast();
  plain.removeLast();
  w->editor().setLines(plain);
  w->BitBtn9->click();
  EXPECT_FALSE(w->NotesLine->isVisible());
  EXPECT_EQ(w->Image1->size(), QSize(720, 576));
}

// A frame that cannot be decoded (here: the VOB cut short after opening)
// shows why in its place; the video stays open and the other frames show.
TEST_F(MainWindowWithVideo, AFrameThatCannotBeDecodedLeavesTheVideoOpen) {
  // A rip larger than what the source reads ahead.
  engine::SampleOptions options;
  options.seconds = 8;
  options.withAudioFile = false;
  const engine::SampleRip longer = engine::WriteSampleRip(path("long").toStdString(), options);
  auto w = start("_LANGUAGE=0\r\n");
  w->show();
  w->opener().OpenD2VPath(QString::fromStdString(longer.d2v.string()));
  ASSERT_TRUE(w->state().VideoOpen);
  const RgbImage first = w->ShownPicture();
  ASSERT_EQ(first.width, 720);
  std::filesystem::resize_file(longer.vobs.front(), std::filesystem::file_size(longer.vobs.front()) / 2);

  w->TrackBar1->setValue(longer.frames);
  EXPECT_EQ(w->state().CurrentFrame, longer.frames);
  const int lit = LitPixels(*w);
  EXPECT_GT(lit, 200) << "the reason is drawn in the picture";
  EXPECT_EQ(w->ShownPicture().width, 720) << "the tools read a black frame of the video's size";
  EXPECT_EQ(w->AverageBrightness(), 0);
  w->Image1Click(QPoint(10, 20));
  EXPECT_EQ(LitPixels(*w), lit) << "a click leaves the reason";
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join("; ").toStdString();

  w->TrackBar1->setValue(1);
  EXPECT_TRUE(w->state().VideoOpen);
  EXPECT_EQ(w->state().CurrentFrame, 1);
  EXPECT_EQ(w->ShownPicture(), first) << "the video stayed open";
}

// A project opened from its data lines (no index of its files kept) meets
// damage only when it decodes the damaged group: the line under the picture
// names the damaged frames from then on.
TEST_F(MainWindowWithVideo, DamageMetWhileSteppingJoinsTheNotesLine) {
  engine::SampleOptions options;
  options.seconds = 6;
  options.withAudioFile = false;
  const engine::SampleRip longer = engine::WriteSampleRip(path("long").toStdString(), options);
  const QByteArray oldCache = qgetenv("XDG_CACHE_HOME");
  // A lost sector inside a picture, found with an index kept apart.
  qputenv("XDG_CACHE_HOME", path("probe").toLocal8Bit());
  std::ifstream in(longer.vobs.front(), std::ios::binary);
  const std::string vob((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  bool found = false;
  for (size_t sector = vob.size() / 2 / 2048 * 2048; sector + 2048 < vob.size() && !found; sector += 2048) {
    std::string copy = vob;
    copy.replace(sector, 2048, 2048, '\0');
    std::ofstream(longer.vobs.front(), std::ios::binary | std::ios::trunc) << copy;
    engine::ForgetIndexesInMemory();
    const engine::IndexPtr index = engine::GetMpeg2Index(longer.vobs, {});
    found = index->frameCount() == longer.frames && !index->damaged.empty();
  }
  ASSERT_TRUE(found);
  engine::WriteD2vProject(longer.d2v, longer.vobs);
  qputenv("XDG_CACHE_HOME", path("cache").toLocal8Bit());
  engine::ForgetIndexesInMemory();

  auto w = start("_LANGUAGE=0\r\n");
  w->show();
  w->opener().OpenD2VPath(QString::fromStdString(longer.d2v.string()));
  ASSERT_TRUE(w->state().VideoOpen);
  EXPECT_FALSE(w->NotesLine->isVisible());
  for (int n = 1; n <= longer.frames; ++n)
    w->TrackBar1->setValue(n);
  EXPECT_TRUE(w->NotesLine->isVisible());
  EXPECT_TRUE(w->NotesLine->toolTip().contains("Damaged")) << w->NotesLine->toolTip().toStdString();
  w.reset();
  engine::ForgetIndexesInMemory();
  if (oldCache.isNull())
    qunsetenv("XDG_CACHE_HOME");
  else
    qputenv("XDG_CACHE_HOME", oldCache);
}

// Dialogs give the frame slider the focus however they were closed.
TEST_F(MainWindowWithVideo, FocusReturnsToTheSliderAfterEveryDialog) {
  auto w = openProject();
  ASSERT_TRUE(w->state().VideoOpen);
  const auto escapeFrom = [&](QDialog *dialog) {
    QTimer::singleShot(0, dialog, [dialog] {
      QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QApplication::sendEvent(dialog, &key);
    });
  };
  w->BitBtn14->setFocus();
  escapeFrom(w->Form3);
  w->BitBtn14->click();
  EXPECT_EQ(w->focusWidget(), w->TrackBar1);

  w->BitBtn4->setFocus();
  QTimer::singleShot(0, w.get(), [&] { w->Form7->close(); });
  w->BitBtn4->click();
  EXPECT_EQ(w->focusWidget(), w->TrackBar1);
}

// Only regular files are opened: a FIFO or a folder is refused at once by name.
TEST_F(MainWindow, FifosAndFoldersAreRefusedByName) {
  auto w = start("_LANGUAGE=0\r\n");
  ASSERT_EQ(mkfifo(path("pipe.d2v").toLocal8Bit().constData(), 0600), 0);
  ASSERT_TRUE(QDir(dir.path()).mkdir("folder.avs"));
  EXPECT_TRUE(w->OpenGivenFile(path("pipe.d2v")));
  EXPECT_TRUE(w->OpenGivenFile(path("folder.avs")));
  ASSERT_EQ(dialogs.messages.size(), 2);
  EXPECT_EQ(dialogs.messages[0], "\"" + path("pipe.d2v") + "\" is not a regular file and cannot be opened.");
  EXPECT_TRUE(dialogs.messages[1].contains("folder.avs"));
  EXPECT_FALSE(w->state().ScriptOpen);
  EXPECT_FALSE(QFile::exists(path("pipe.avs"))); // no script was written for it
}
