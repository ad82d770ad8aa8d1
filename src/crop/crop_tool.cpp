#include "crop/crop_tool.h"

namespace reelwork {

QString CropLine(int left, int top, int right, int bottom) {
  return QString("Crop(%1,%2,-%3,-%4)").arg(left).arg(top).arg(right).arg(bottom);
}

namespace {

// InsertCropLine holds back while any line, a comment too, mentions "crop(".
// Make Crop has just taken the real command out, so its line goes in all the
// same, at the place InsertCropLine gives it: the lines that only mention
// crop are set aside for the insertion and then put back.
void PutCropLineBack(Workbench &bench, const QString &line) {
  ScriptEditor &editor = bench.editor;
  QList<QPair<int, QString>> mentions;
  for (int i = 0; i < editor.lineCount(); ++i) {
    if (editor.line(i).contains("crop(", Qt::CaseInsensitive) && CropCommandColumn(editor.line(i)) < 0) {
      mentions.append({i, editor.line(i)});
      editor.replaceLine(i, QString());
    }
  }
  bench.filters.InsertCropLine(line);
  const int inserted = CropCommandLine(editor);
  for (const auto &[index, text] : mentions)
    editor.replaceLine(inserted >= 0 && index >= inserted ? index + 1 : index, text);
}

} // namespace

void MakeCrop(Workbench &bench, CropDialogRunner &dialog) {
  if (!bench.script.CheckScriptOpen())
    return;
  SharedState &state = bench.state;
  ScriptEditor &editor = bench.editor;

  // The lines taken out, with where they stood, so that a failed save can
  // put them back exactly.
  const QStringList before = editor.lines();

  // The amounts are read from the very line that is taken out.
  const int cropIndex = CropCommandLine(editor);
  const bool cropFound = cropIndex >= 0;
  if (cropFound) {
    bench.script.ReadCropValues();
    editor.removeLine(cropIndex);
  } else {
    state.CropLeft = state.CropRight = state.CropTop = state.CropBottom = 0;
  }

  const int resizeIndex = bench.script.FindCommandLine("BicubicResize(");
  const bool resizeFound = resizeIndex >= 0;
  QString resizeLine;
  if (resizeFound) {
    resizeLine = editor.line(resizeIndex);
    editor.removeLine(resizeIndex);
  }

  if (cropFound || resizeFound) {
    // The dialog must measure the picture without crop and resize. When the
    // script cannot be written (the failure has been reported), the old
    // picture is still shown: give the lines back and stop rather than let
    // the user measure a cropped frame.
    if (!bench.script.SaveAndReload()) {
      editor.setLines(before);
      return;
    }
  }

  const bool confirmed = dialog.RunCropDialog() == 1;

  if (cropFound || confirmed)
    PutCropLineBack(bench, CropLine(state.CropLeft, state.CropTop, state.CropRight, state.CropBottom));
  if (resizeFound)
    bench.filters.InsertResizeLine(resizeLine);
  if (cropFound || confirmed || resizeFound)
    bench.script.SaveAndReload();
}

} // namespace reelwork
