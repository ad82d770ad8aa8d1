#include "script/index_progress_dialog.h"

#include <QApplication>
#include <QProgressDialog>

namespace reelwork {

namespace {

constexpr int kSteps = 1000;

struct Cancelled {};

} // namespace

ProgressRunner IndexProgressRunner(QWidget *parent, const QString &cancelText) {
  return [parent, cancelText](const QString &label, const std::function<void(const engine::ProgressFn &)> &work) {
    QProgressDialog dialog(label, cancelText, 0, kSteps, parent);
    dialog.setObjectName("IndexProgress");
    dialog.setWindowTitle(QApplication::applicationName());
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(0);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.show();
    QApplication::processEvents();
    try {
      work([&dialog](double fraction) {
        dialog.setValue(static_cast<int>(fraction * kSteps));
        QApplication::processEvents();
        if (dialog.wasCanceled())
          throw Cancelled{};
      });
    } catch (const Cancelled &) {
      return false;
    }
    return true;
  };
}

} // namespace reelwork
