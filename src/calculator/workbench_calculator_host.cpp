#include "calculator/workbench_calculator_host.h"

#include <QApplication>

#include "script/source_opening.h"
#include "tools/workbench.h"

namespace reelwork {

WorkbenchCalculatorHost::WorkbenchCalculatorHost(Workbench &bench, SourceOpener &opener,
                                                 std::function<void()> focusTrackBar)
    : bench_(bench), opener_(opener), focusTrackBar_(std::move(focusTrackBar)) {}

QString WorkbenchCalculatorHost::ChooseFile(const QString &folder, const QString &extension) {
  return opener_.ChooseFile(folder, extension);
}

FramePreview &WorkbenchCalculatorHost::Preview() { return bench_.preview; }

void WorkbenchCalculatorHost::ShowMessage(const QString &text) { bench_.dialogs.showMessage(text); }

void WorkbenchCalculatorHost::ShowMessage(const QString &text, const QString &detail) {
  bench_.dialogs.showMessage(text, detail);
}

void WorkbenchCalculatorHost::Beep() { QApplication::beep(); }

void WorkbenchCalculatorHost::FocusTrackBar() {
  if (focusTrackBar_)
    focusTrackBar_();
}

} // namespace reelwork
