#pragma once
// What the calculator dialog needs from the main window around it: the file
// chooser for the sound files, the preview for the title search, message
// boxes, the beep and the frame slider's focus. The main window passes one
// over its own parts (WorkbenchCalculatorHost); tests pass a scripted one.

#include <QString>

namespace reelwork {

class FramePreview;

class CalculatorHost {
public:
  virtual ~CalculatorHost() = default;
  // One entry of `folder` with the extension (the user chooses when there are
  // several); empty when there is none.
  virtual QString ChooseFile(const QString &folder, const QString &extension) = 0;
  // The main window's preview: frames shown there become the current frame.
  virtual FramePreview &Preview() = 0;
  virtual void ShowMessage(const QString &text) = 0;
  // A message with the reason behind it (a file that cannot be written).
  virtual void ShowMessage(const QString &text, const QString &detail) {
    ShowMessage(detail.isEmpty() ? text : text + "\n\n" + detail);
  }
  // Answer to input the calculator cannot use.
  virtual void Beep() = 0;
  // The main window's frame slider takes the keyboard focus.
  virtual void FocusTrackBar() = 0;
};

} // namespace reelwork
