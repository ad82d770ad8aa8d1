// Reelwork: prepares the video of a DVD rip for encoding.

#include <QApplication>

#include "app/main_window.h"

int main(int argc, char *argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Reelwork");
  reelwork::TForm1 window;
  window.show();
  return QApplication::exec();
}
