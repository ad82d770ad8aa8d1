#pragma once
// The Deinterlace tool (BitBtn8): takes the script's field-matching,
// deinterlacing and decimating lines out, runs the deinterlace wizard over
// the bare source, and writes the wizard's commands after the source line.
// The frame shown stays on the same picture while Decimate comes and goes.

#include <QStringList>

#include "tools/workbench.h"

namespace reelwork {

// Runs the wizard for the tool. The main window passes its TForm5; tests
// pass scripted answers.
class DeinterlaceDialogRunner {
public:
  virtual ~DeinterlaceDialogRunner() = default;
  // Shows the wizard modally. Returns its modal result, 1 for OKey and 2 for
  // Cancel; after OKey `commands` receives the lines of its command box (and
  // the wizard may have changed the _MPEG2SOURCE setting).
  virtual int RunDeinterlaceWizard(QStringList &commands) = 0;
  // Gives the keyboard focus to the main window's frame slider.
  virtual void FocusTrackBar() = 0;
};

// Frame n of a video decimated by `cycle` as the same picture in the video
// before decimation, and back.
int UndecimatedFrame(int n, int cycle);
int DecimatedFrame(int n, int cycle);

// The main window's "Deinterlace" button.
void BitBtn8Click(Workbench &bench, DeinterlaceDialogRunner &dialogs);

} // namespace reelwork
