#pragma once
// The resize windows behind the Resize tool: the main window owns one of
// these and passes it to BitBtn6Click.

#include <functional>

#include "resize/resize_dialogs.h"
#include "resize/resize_tool.h"

namespace reelwork {

class ResizeWindows : public ResizeDialogRunner {
public:
  // The four windows are created at once as children of `parent`;
  // `focusTrackBar` gives the main window's frame slider the focus.
  ResizeWindows(SharedState &state, FramePreview &preview, QWidget *parent, std::function<void()> focusTrackBar);

  int RunTypeChooser(int &type) override;
  int RunResizeDialog(int type) override;
  void FocusTrackBar() override;

  TForm8 *Form8;  // resize type chooser
  TForm6 *Form6;  // automatic resize
  TForm9 *Form9;  // exact resize
  TForm10 *Form10; // manual resize

private:
  std::function<void()> focusTrackBar_;
};

} // namespace reelwork
