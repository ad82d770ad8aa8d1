// The window on a desktop scaled to 200 %: one screen pixel per frame pixel,
// and the window keeps the size it has on an unscaled desktop. This program
// makes its application as the real one does, after the desktop's scaling.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>

#include "app/main_window.h"
#include "engine/sample_media.h"
#include "support/temp_dir.h"

using namespace reelwork;

namespace {

// Keeps the reasons of messages; nothing else is asked here.
struct Messages : UserDialogs {
  using UserDialogs::showMessage;
  void showMessage(const QString &text) override { texts.append(text); }
  bool askYesNo(const QString &) override { return false; }
  std::optional<QString> askSaveFileName(const QString &) override { return std::nullopt; }
  std::optional<QString> askOpenFileName(const QString &) override { return std::nullopt; }
  QStringList runFileChooser(const QString &, int &) override { return {}; }
  QStringList texts;
};

} // namespace

class ScaledDesktop : public test::TempDirTest {};

TEST_F(ScaledDesktop, OneScreenPixelPerFramePixel) {
  engine::SampleOptions options;
  options.seconds = 1;
  options.withAudioFile = false;
  const engine::SampleRip rip = engine::WriteSampleRip(dir.path().toStdString(), options);
  Messages messages;
  auto w = std::make_unique<TForm1>(path("Reelwork.ini"));
  w->setDialogs(&messages);
  w->show();
  w->OpenGivenFile(QString::fromStdString(rip.d2v.string()));
  ASSERT_TRUE(w->state().VideoOpen) << messages.texts.join("; ").toStdString();
  EXPECT_EQ(w->devicePixelRatioF(), 1.0);
  EXPECT_EQ(w->Image1->size(), QSize(720, 576));
  // The picture on screen is the frame, pixel for pixel.
  const QImage onScreen = w->Image1->grab().toImage();
  EXPECT_EQ(onScreen.size(), QSize(720, 576));
  // Fits a 1280 x 1024 screen, as it does unscaled.
  EXPECT_LE(w->frameGeometry().width(), 1280);
  EXPECT_LE(w->frameGeometry().height(), 1024);
  EXPECT_LT(w->Memo1->fontMetrics().height(), 20); // the design's 8 point, not doubled
}

int main(int argc, char **argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QT_SCALE_FACTOR", "2"); // what a desktop at 200 % gives a program
  PrepareUnscaledDisplay();
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
