#pragma once
// The main window under test: started with a settings file of the test's own
// and scripted dialogs, and over a small rip made by the sample maker.

#include <QPushButton>

#include "app/main_window.h"
#include "engine/sample_media.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

namespace reelwork::test {

class MainWindow : public TempDirTest {
protected:
  std::unique_ptr<TForm1> start(const QByteArray &ini) {
    if (!ini.isNull())
      writeBytes("Reelwork.ini", ini);
    auto window = std::make_unique<TForm1>(path("Reelwork.ini"));
    window->setDialogs(&dialogs);
    return window;
  }
  static QString caption(TForm1 &w, const char *name) { return w.findChild<QPushButton *>(name)->text(); }
  static QString hint(TForm1 &w, const char *name) { return w.findChild<QWidget *>(name)->toolTip(); }

  FakeDialogs dialogs;
};

// The window over a real project: a small rip made by the sample maker.
class MainWindowWithVideo : public MainWindow {
protected:
  void SetUp() override {
    engine::SampleOptions options;
    options.seconds = 1;
    options.withAudioFile = false;
    rip = engine::WriteSampleRip(dir.path().toStdString(), options);
  }
  // The window, shown, with the sample's project opened as the D2V button would.
  std::unique_ptr<TForm1> openProject() {
    auto w = start("_LANGUAGE=0\r\n");
    w->show();
    w->opener().OpenD2VPath(QString::fromStdString(rip.d2v.string()));
    return w;
  }
  engine::SampleRip rip;
};

} // namespace reelwork::test

using reelwork::test::MainWindow;
using reelwork::test::MainWindowWithVideo;
