#pragma once
// Make Crop: takes the script's Crop and BicubicResize lines out, lets the
// user set the crop on the bare picture in the crop dialog, and writes the
// Crop line back (and the resize line after it).

#include <QString>

#include "tools/workbench.h"

namespace reelwork {

// Runs the crop dialog for Make Crop. The main window passes its crop dialog;
// tests pass scripted answers.
class CropDialogRunner {
public:
  virtual ~CropDialogRunner() = default;
  // Shows the dialog modally over the current frame. It reads and, when
  // confirmed, writes CropLeft/Top/Right/Bottom of the shared state. Returns
  // the modal result: 1 when confirmed, anything else when not.
  virtual int RunCropDialog() = 0;
};

// "Crop(left,top,-right,-bottom)": the right and bottom amounts written after
// a minus sign, so 0 gives "-0".
QString CropLine(int left, int top, int right, int bottom);

// The main window's "Make Crop". Does nothing but the open-script message
// when no script is open. The caller gives the frame slider the focus after.
void MakeCrop(Workbench &bench, CropDialogRunner &dialog);

} // namespace reelwork
