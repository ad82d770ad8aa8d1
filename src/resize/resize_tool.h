#pragma once
// The Resize tool: takes the script's BicubicResize line out, runs the type
// chooser and one resize dialog, and writes the confirmed size back as a
// BicubicResize line (or puts the old line back when cancelled).

#include <QString>

#include "tools/workbench.h"

namespace reelwork {

// The resize windows as the tool runs them. The main window runs its real
// dialogs; tests answer from a script.
class ResizeDialogRunner {
public:
  virtual ~ResizeDialogRunner() = default;
  // Shows the type chooser modally. Returns its modal result (1 = OK) and puts
  // its selected row into `type`: 0 Auto, 1 Exact, 2 Manual, -1 none.
  virtual int RunTypeChooser(int &type) = 0;
  // Shows the resize dialog of `type` modally; on OK (1) it has written
  // NewWidth and NewHeight into the shared state.
  virtual int RunResizeDialog(int type) = 0;
  // Gives the keyboard focus to the main window's frame slider.
  virtual void FocusTrackBar() = 0;
};

// The two numbers of a BicubicResize line: the text before the first "," after
// the first "(" is the width; only when that reads as an integer, the text up to
// the next ")" is the height. What cannot be read stays 0.
void ReadResizeNumbers(const QString &line, int &width, int &height);

// "BicubicResize(" width "," height ")".
QString ResizeLine(int width, int height);

struct ResizeRun {
  bool resizeFound = false; // the script had a BicubicResize line
  bool written = false;     // a newly confirmed line was written
};

// The main window's "Resize" button (BitBtn6Click). Does nothing but the
// open-script message when no script is open.
ResizeRun MakeResize(Workbench &bench, ResizeDialogRunner &dialogs);

} // namespace reelwork
