#include "resize/resize_tool.h"

#include "common/number.h"

namespace reelwork {

void ReadResizeNumbers(const QString &line, int &width, int &height) {
  width = 0;
  height = 0;
  const int open = line.indexOf('(');
  if (open < 0)
    return;
  const QString rest = line.mid(open + 1);
  const int comma = rest.indexOf(',');
  if (comma < 0)
    return;
  int value = 0;
  if (!StrToIntStrict(rest.left(comma).toStdString(), value))
    return;
  width = value;
  const int close = rest.indexOf(')', comma + 1);
  if (close < 0)
    return;
  if (StrToIntStrict(rest.mid(comma + 1, close - comma - 1).toStdString(), value))
    height = value;
}

QString ResizeLine(int width, int height) {
  return QString("BicubicResize(%1,%2)").arg(width).arg(height);
}

ResizeRun MakeResize(Workbench &bench, ResizeDialogRunner &dialogs) {
  ResizeRun run;
  SharedState &state = bench.state;
  if (!bench.script.CheckScriptOpen())
    return run;

  // The dialogs work from the crop amounts; the Crop line stays.
  if (CropCommandLine(bench.editor) >= 0) {
    bench.script.ReadCropValues();
  } else {
    state.CropLeft = state.CropTop = state.CropRight = state.CropBottom = 0;
  }

  // The old resize comes out, so the dialogs see the cropped picture.
  QString keptLine;
  const int resizeIndex = bench.script.FindCommandLine("BicubicResize(");
  if (resizeIndex >= 0) {
    run.resizeFound = true;
    keptLine = bench.editor.line(resizeIndex);
    ReadResizeNumbers(keptLine, state.OldWidth, state.OldHeight);
    bench.editor.removeLine(resizeIndex);
    bench.script.SaveAndReload();
  } else {
    state.OldWidth = 0;
    state.OldHeight = 0;
  }

  int type = -1;
  bool confirmed = false;
  if (dialogs.RunTypeChooser(type) == 1 && type >= 0 && type <= 2) {
    state.settings[Setting::ResizeMethod] = QString::number(type);
    confirmed = dialogs.RunResizeDialog(type) == 1;
  }

  if (confirmed) {
    bench.filters.InsertResizeLine(ResizeLine(state.NewWidth, state.NewHeight));
    bench.script.SaveAndReload();
    run.written = true;
  } else if (run.resizeFound) {
    bench.filters.InsertResizeLine(keptLine);
    bench.script.SaveAndReload();
  } else {
    dialogs.FocusTrackBar();
  }
  return run;
}

} // namespace reelwork
