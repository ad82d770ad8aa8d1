#include "script/script_model.h"

#include <QFileInfo>

#include "app/language.h"
#include "common/number.h"
#include "common/text_file.h"

namespace reelwork {

int ReadLeadingNumber(const QString &text) {
  float value = 0;
  ParseNumber(text.toStdString(), value);
  return static_cast<int>(RoundHalfEven(value));
}

void ReadCropNumbers(const QString &line, int &left, int &top, int &right, int &bottom) {
  // Each separator is searched after the previous one; one that is missing
  // leaves the position where it was, so the last number is read again.
  qsizetype pos = line.indexOf('(');
  pos = pos < 0 ? 0 : pos + 1;
  int *targets[] = {&left, &top, &right, &bottom};
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      const qsizetype comma = line.indexOf(',', pos);
      if (comma >= 0)
        pos = comma + 1;
    }
    *targets[i] = ReadLeadingNumber(line.mid(pos));
  }
}

QString ScriptModel::Message(int row) const { return MessageText(row, state_.Language); }

bool ScriptModel::CheckScriptOpen() {
  if (state_.VideoOpen)
    return true;
  if (state_.ScriptOpen)
    dialogs_.showMessage(Message(MsgAvsNotRead), state_.VideoError);
  else
    dialogs_.showMessage(Message(MsgOpenScriptFirst));
  view_.focusTrackBar();
  return false;
}

bool ScriptModel::CheckDocumentOpen() {
  if (state_.ScriptOpen || state_.VideoOpen)
    return true;
  dialogs_.showMessage(Message(MsgOpenScriptFirst));
  view_.focusTrackBar();
  return false;
}

int ScriptModel::FindCommandLine(const QString &name, bool select) {
  QString wanted = name;
  const qsizetype paren = wanted.indexOf('(');
  if (paren >= 0)
    wanted.truncate(paren + 1);
  wanted = wanted.toUpper();
  const int count = editor_.lineCount();
  for (int i = 0; i < count; ++i) {
    const qsizetype column = editor_.line(i).toUpper().indexOf(wanted);
    if (column >= 0) {
      if (select)
        editor_.selectFrom(i, static_cast<int>(column));
      return i;
    }
  }
  return -1;
}

void ScriptModel::ReadCropValues() {
  const int index = CropCommandLine(editor_);
  if (index < 0)
    return;
  const QString line = editor_.line(index);
  ReadCropNumbers(line.mid(CropCommandColumn(line)), state_.CropLeft, state_.CropTop, state_.CropRight,
                  state_.CropBottom);
}

qsizetype CropCommandColumn(const QString &line) {
  const qsizetype comment = line.indexOf('#');
  const qsizetype end = comment < 0 ? line.size() : comment;
  for (qsizetype at = line.indexOf("crop(", 0, Qt::CaseInsensitive); at >= 0 && at < end;
       at = line.indexOf("crop(", at + 1, Qt::CaseInsensitive)) {
    const bool ownName = at == 0 || !(line[at - 1].isLetterOrNumber() || line[at - 1] == '_');
    if (ownName)
      return at;
  }
  return -1;
}

int CropCommandLine(const ScriptEditor &editor) {
  const int count = editor.lineCount();
  for (int i = 0; i < count; ++i)
    if (CropCommandColumn(editor.line(i)) >= 0)
      return i;
  return -1;
}

void ScriptModel::RemoveEmptyLines() {
  for (int i = editor_.lineCount() - 1; i >= 0; --i)
    if (editor_.line(i).isEmpty())
      editor_.removeLine(i);
}

void ScriptModel::LoadScript(const QString &path) {
  // An unreadable file leaves the editor as it is; opening it as video then
  // fails and says why.
  if (const auto lines = ReadTextLines(path)) {
    editor_.setLines(*lines);
    state_.ScriptOpen = true;
  }
  view_.openVideo(path);
  view_.syncFilterChecks();
  view_.showCurrentFrame();
  view_.focusTrackBar();
}

bool ScriptModel::WriteScript() {
  SaveFailure failure;
  if (WriteTextLines(state_.ScriptPath(), editor_.lines(), failure))
    return true;
  dialogs_.showMessage(SaveFailureText(failure, state_.Language));
  return false;
}

bool ScriptModel::SaveAndReload() {
  RemoveEmptyLines();
  if (!WriteScript())
    return false;
  LoadScript(state_.ScriptPath());
  return true;
}

void ScriptModel::BackupScript() {
  state_.BackupName = state_.ScriptName;
  state_.BackupLines = editor_.lines();
}

void ScriptModel::RestoreScript() {
  editor_.setLines(state_.BackupLines);
  state_.ScriptName = state_.BackupName;
}

bool ScriptModel::AskSaveChanges() {
  // Asked whether or not the script could be shown: an edit that made it
  // fail is the one most worth keeping.
  if (!state_.ScriptOpen && !state_.VideoOpen)
    return true;
  // A script file that can no longer be read counts as changed, so the
  // user's lines can still be saved.
  const auto onDisk = ReadTextLines(state_.ScriptPath());
  BackupScript();
  const bool changed = !onDisk || *onDisk != editor_.lines();
  if (!changed)
    return true;
  switch (dialogs_.askSaveAtClose(Message(MsgScriptNotSaved))) {
  case UserDialogs::CloseAnswer::Yes:
    return WriteScript();
  case UserDialogs::CloseAnswer::No:
    return true;
  case UserDialogs::CloseAnswer::Cancel:
    break;
  }
  return false;
}

void ScriptModel::SaveLoad() {
  if (CheckDocumentOpen() && !state_.ScriptName.isEmpty() && !state_.WorkDir.isEmpty())
    SaveAndReload();
}

void ScriptModel::SaveAs() {
  if (!CheckDocumentOpen() || state_.ScriptName.isEmpty() || state_.WorkDir.isEmpty())
    return;
  const auto chosen = dialogs_.askSaveFileName("AVS Script File (*.AVS *.avs)");
  if (!chosen || chosen->isEmpty()) {
    view_.focusTrackBar();
    return;
  }
  QString name = QFileInfo(*chosen).fileName();
  if (!name.contains('.'))
    name += ".avs";
  // The script is written into the project's folder, whatever folder was
  // chosen; a name that cannot be written keeps the old one.
  const QString oldName = state_.ScriptName;
  state_.ScriptName = name;
  if (!SaveAndReload())
    state_.ScriptName = oldName;
}

} // namespace reelwork
