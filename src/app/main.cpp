// Reelwork: prepares the video of a DVD rip for encoding.
//
//   reelwork [FILE.d2v | FILE.avs]

#include <QApplication>
#include <QTimer>

#include "app/glyphs.h"
#include "app/main_window.h"

int main(int argc, char *argv[]) {
  reelwork::PrepareUnscaledDisplay();
  QApplication app(argc, argv);
  QApplication::setApplicationName("Reelwork");
  QApplication::setDesktopFileName("reelwork");
  QApplication::setWindowIcon(QIcon::fromTheme("reelwork", reelwork::GlyphIcon(reelwork::Glyph::Crop)));
  reelwork::TForm1 window;
  window.show();
  const QStringList args = QApplication::arguments();
  if (args.size() > 1) {
    const QString given = args.at(1);
    // Opened once the window is on screen, so that its messages have a parent.
    QTimer::singleShot(0, &window, [&window, given] {
      if (!window.OpenGivenFile(given))
        window.dialogs().showMessage(QString("Reelwork opens .d2v projects and .avs scripts: %1").arg(given));
    });
  }
  return QApplication::exec();
}
