#pragma once
// The calculator's host over the main window's own parts: the source opener's
// file chooser, the preview, the message boxes and the frame slider.

#include <functional>

#include "calculator/calculator_host.h"

namespace reelwork {

class SourceOpener;
struct Workbench;

class WorkbenchCalculatorHost : public CalculatorHost {
public:
  // `bench` and `opener` must outlive the host; `focusTrackBar` gives the main
  // window's frame slider the focus (may be empty).
  WorkbenchCalculatorHost(Workbench &bench, SourceOpener &opener, std::function<void()> focusTrackBar = {});

  QString ChooseFile(const QString &folder, const QString &extension) override;
  FramePreview &Preview() override;
  using CalculatorHost::ShowMessage;
  void ShowMessage(const QString &text) override;
  void ShowMessage(const QString &text, const QString &detail) override;
  void Beep() override;
  void FocusTrackBar() override;

private:
  Workbench &bench_;
  SourceOpener &opener_;
  std::function<void()> focusTrackBar_;
};

} // namespace reelwork
