#pragma once
// The operations on the script that every tool shares: the open check, the
// search for a command's line, the Crop amounts, saving and reloading, the
// backup copy, Save As and the question at close.

#include <QString>

#include "app/shared_state.h"
#include "script/script_editor.h"
#include "script/script_host.h"

namespace reelwork {

class ScriptModel {
public:
  ScriptModel(SharedState &state, ScriptEditor &editor, UserDialogs &dialogs, ScriptView &view)
      : state_(state), editor_(editor), dialogs_(dialogs), view_(view) {}

  // True when a video is open. Otherwise tells the user why there are no
  // frames: message 1 when a script is open but cannot be shown, message 2
  // when no script is open at all.
  bool CheckScriptOpen();

  // True when a script is open as the document, shown as video or not;
  // otherwise message 2. Saving and the filter list need no frames.
  bool CheckDocumentOpen();

  // Index of the first line containing `name` (cut after its first "(")
  // without regard to case, or -1. With `select` the editor selects it.
  int FindCommandLine(const QString &name, bool select = false);

  // Reads the four amounts of the script's Crop line (CropCommandLine) into
  // the state; without such a line the state keeps its amounts.
  void ReadCropValues();

  int CaretLineIndex() const { return editor_.caretLine(); }
  void RemoveEmptyLines();

  // Loads the file into the editor, opens it as video and shows the frame.
  // A file whose lines were read stays open as the document even when it
  // cannot be shown.
  void LoadScript(const QString &path);

  // Removes empty lines, writes the script and reloads it. A write that fails
  // is reported, and the editor keeps its lines (nothing is reloaded).
  bool SaveAndReload();

  void BackupScript();
  void RestoreScript();

  // At close: asks whether a script that differs from its file should be
  // saved. False when the window must stay open: the user cancelled the
  // question, or the save failed.
  bool AskSaveChanges();

  // "Save-Load" and "Save As".
  void SaveLoad();
  void SaveAs();

  // Writes the editor's lines to the script file; reports a failure.
  bool WriteScript();

private:
  QString Message(int row) const;

  SharedState &state_;
  ScriptEditor &editor_;
  UserDialogs &dialogs_;
  ScriptView &view_;
};

// The four numbers of a Crop line, each read with ParseNumber from the text
// after its separator and taken whether or not that reading succeeded.
void ReadCropNumbers(const QString &line, int &left, int &top, int &right, int &bottom);

// Where the Crop command itself stands in `line`: the column of "crop(" (any
// case) as a name of its own ("CropBottom(" and "AutoCrop(" are other
// commands) and ahead of any "#" comment; -1 when it is not there.
qsizetype CropCommandColumn(const QString &line);
// The first line holding the Crop command, or -1. The Crop tools read, take
// out and look for this one line.
int CropCommandLine(const ScriptEditor &editor);

// The whole number that starts a text: ParseNumber's value, taken whether or
// not the reading succeeded, rounded.
int ReadLeadingNumber(const QString &text);

} // namespace reelwork
