#include "deinterlace/deinterlace_tool.h"

#include <algorithm>

#include "deinterlace/field_order.h"
#include "script/filter_list.h"

namespace reelwork {

namespace {

void DeleteFirst(Workbench &bench, const char *command) {
  const int index = bench.script.FindCommandLine(command);
  if (index >= 0)
    bench.editor.removeLine(index);
}

// The cycle of the script's Decimate line: its index, and the cycle when its
// first number reads and is greater than 2 (0 otherwise).
int FindDecimate(Workbench &bench, int &cycle) {
  cycle = 0;
  const int index = bench.script.FindCommandLine("Decimate(");
  int k = 0;
  if (index >= 0 && ReadFirstNumber(bench.editor.line(index), k) && k > 2)
    cycle = k;
  return index;
}

// Frame numbers run from 1 to the frame count of the video about to be loaded.
int ClampFrame(int n, int frameCount) { return std::clamp(n, 1, std::max(1, frameCount)); }

} // namespace

int UndecimatedFrame(int n, int cycle) {
  return static_cast<int>(static_cast<long long>(n) * cycle / (cycle - 1));
}

int DecimatedFrame(int n, int cycle) { return n - n / cycle; }

void BitBtn8Click(Workbench &bench, DeinterlaceDialogRunner &dialogs) {
  if (!bench.script.CheckScriptOpen())
    return;
  SharedState &state = bench.state;
  for (const char *command : {"Telecide(", "TomsMoComp(", "FieldDeinterlace("})
    DeleteFirst(bench, command);

  int frame = state.CurrentFrame;
  int cycle = 0;
  if (const int index = FindDecimate(bench, cycle); index >= 0) {
    // The video about to be shown has its undecimated frame count, which
    // the count of the decimated video gives back.
    int count = state.FrameCount;
    if (cycle > 0) {
      frame = UndecimatedFrame(state.CurrentFrame, cycle);
      count = UndecimatedFrame(state.FrameCount, cycle);
    }
    frame = ClampFrame(frame, count);
    bench.editor.removeLine(index);
  }
  for (const char *command : {"Bob(", "Repal(", "SmoothDeinterlace("})
    DeleteFirst(bench, command);

  state.CurrentFrame = frame;
  if (!bench.script.SaveAndReload())
    return; // the reason has been shown; the wizard would show the old script

  QStringList commands;
  if (dialogs.RunDeinterlaceWizard(commands) != 1) {
    dialogs.FocusTrackBar();
    return;
  }

  int insertAt = 0;
  if (const int source = bench.script.FindCommandLine("mpeg2source("); source >= 0) {
    bench.editor.replaceLine(source,
                             FullMpeg2SourceLine(state.ProjectName, state.settings[Setting::Mpeg2Source]));
    insertAt = source + 1;
  }
  for (const QString &line : commands)
    bench.editor.insertLine(insertAt++, line);

  frame = state.CurrentFrame;
  if (FindDecimate(bench, cycle) >= 0 && cycle > 0)
    frame = ClampFrame(DecimatedFrame(state.CurrentFrame, cycle),
                       static_cast<int>(static_cast<long long>(state.FrameCount) * (cycle - 1) / cycle));
  state.CurrentFrame = frame;
  bench.script.SaveAndReload();
}

} // namespace reelwork
