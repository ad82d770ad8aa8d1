#pragma once
// The main window's two-language texts: numbered messages, captions and hints.

#include <QString>
#include <vector>

#include "common/atomic_file.h"

namespace reelwork {

enum LanguageIndex { English = 0, Russian = 1 };

// The text of message row `row` (1..30) in column `language` (0 English,
// 1 Russian). Rows that no operation uses give an empty text.
QString MessageText(int row, int language);

// One row of the caption and hint table of the main window. A null caption
// means the control keeps its own caption.
struct ControlTexts {
  const char *control; // object name of the control
  const char *caption[2];
  const char *hint[2];
};

const std::vector<ControlTexts> &MainWindowTexts();

// Message rows used by the main window and the tools.
enum MessageRow {
  MsgAvsNotRead = 1,
  MsgOpenScriptFirst = 2,
  MsgNoBackMoves = 3,
  MsgNoInterlace = 6,
  MsgPointCenterFirst = 7,
  MsgNoTitles = 11,
  MsgAlignFour = 12,
  MsgNoMpeg2Source = 28,
  MsgThenFieldOrder = 29,
  MsgScriptNotSaved = 30,
};

// Texts of the window's long work, the preview's notes line and failure
// picture, and refused files.
enum class WindowText {
  IndexBuild,       // progress while a video's frame index is built
  InterlaceSearch,  // progress of "Find Interlace"
  TitleSearch,      // progress of the calculator's "Find Titles"
  NotPreviewed,     // notes line: functions shown as their input
  Approximated,     // notes line: functions drawn by a nearby filter
  MissingImports,   // notes line: Import files that are not there
  DamagedFrames,    // notes line: frames near damage in the source
  ScriptLine,       // failure picture: "%1, line %2" (script, line number)
  OpeningCancelled, // failure picture after Cancel of an index build
  NotRegularFile,   // "%1" names a FIFO, device or folder given as a file
  Cancel,           // the button that stops long work
};
QString WindowTextFor(WindowText text, int language);

// Makes Qt's own texts (the standard buttons, the file dialogs) speak the
// interface language: Russian installs Qt's Russian translation from the
// system's Qt translations, English takes it away. False when the language
// is Russian and no translation could be loaded (Qt then speaks English).
bool ApplyQtLanguage(int language);

// Texts beyond the numbered table: saving, the settings file and starting
// VirtualDubMod, in the window's language.
QString SaveFailureText(const SaveFailure &failure, int language);
QString SettingsUnreadableText(const QString &path, int language);
enum class ProgramProblem {
  NoFolder,      // the VirtualDubMod folder setting is empty
  NoProgram,     // no VirtualDubMod.exe in that folder
  NotExecutable, // a native program without permission to run
  NoWine,        // a Windows program, and wine is not installed
  StartFailed,   // the system could not start it
};
// `program` is the file looked for (or found).
QString ProgramProblemText(ProgramProblem problem, const QString &program, int language);

} // namespace reelwork
