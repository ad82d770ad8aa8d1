#include "resize/resize_windows.h"

namespace reelwork {

ResizeWindows::ResizeWindows(SharedState &state, FramePreview &preview, QWidget *parent,
                             std::function<void()> focusTrackBar)
    : Form8(new TForm8(state, parent)), Form6(new TForm6(state, preview, parent)),
      Form9(new TForm9(state, preview, parent)), Form10(new TForm10(state, preview, parent)),
      focusTrackBar_(std::move(focusTrackBar)) {}

int ResizeWindows::RunTypeChooser(int &type) {
  const int result = Form8->exec();
  type = Form8->SelectedType();
  return result;
}

int ResizeWindows::RunResizeDialog(int type) {
  switch (type) {
  case 0:
    return Form6->exec();
  case 1:
    return Form9->exec();
  case 2:
    return Form10->exec();
  default:
    return 0;
  }
}

void ResizeWindows::FocusTrackBar() {
  if (focusTrackBar_)
    focusTrackBar_();
}

} // namespace reelwork
