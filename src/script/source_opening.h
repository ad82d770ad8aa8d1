#pragma once
// Opening a project: a D2V (with its first script written when there is none)
// or an existing AVS script, and the facts read around it: the ripper's info
// file for the TV system and the first VOB's sequence header for the picture
// size and aspect.

#include <QString>
#include <QStringList>
#include <optional>

#include "app/shared_state.h"
#include "script/script_editor.h"
#include "script/script_host.h"
#include "script/script_model.h"

namespace reelwork {

// The open dialogs' filters.
inline constexpr char kD2VFilter[] = "DVD2AVI Project File (*.D2V *.d2v)";
inline constexpr char kAvsFilter[] = "AVS Script File (*.AVS *.avs)";

// Reads "idct=", "cpu=" and "iPP=" from a parameter text (any case). Keys that
// are absent leave their values alone; returns whether any key was present.
bool ParseMpeg2SourceParams(const QString &text, int &idct, int &cpu, bool &ipp);

// The source line of a new script. With a parameter setting, only its idct
// value is written, and the setting is reduced to "idct=" and that number.
QString Mpeg2SourceLine(const QString &projectName, QString &mpeg2SourceSetting);

// The D2V named in a script's mpeg2source("...") line, if it names one.
std::optional<QString> D2VNameFromLines(const QStringList &lines);

// The entries of a search mask (folder + "*." + extension), files and folders
// alike, matched without regard to case.
QStringList ListSearchMask(const QString &searchMask);

// The first entry of `folder` with the extension whose name contains "INFO",
// in upper case; sets `searchMask`. Empty when there is none.
QString FindInfoFile(const QString &folder, const QString &extension, QString &searchMask);

// The first line of the file that contains `text` (case matters), or empty.
QString FindLineInFile(const QString &text, const QString &path);

// Sets `tvSystem` from a ripper's info file when a line there tells it.
void ReadInfoFile(const QString &path, QString &tvSystem);

// A path as a script or project writes it, found on disk as the frame engine
// finds it (FindNamedFile): relative to `folder`, a Windows path by its
// trailing components below `folder`, without regard to case. Empty when not
// found.
QString FindProjectFile(const QString &folder, const QString &written);

// Why a project of this name cannot have a script written for it (a letter
// that Windows-1251 cannot write, named; a double quote; a line break), in
// the user's language; empty when it can.
QString UnwritableInScript(const QString &name, int language);

class SourceOpener {
public:
  SourceOpener(SharedState &state, ScriptModel &script, ScriptEditor &editor, UserDialogs &dialogs)
      : state_(state), script_(script), editor_(editor), dialogs_(dialogs) {}

  void OpenD2VFile();
  void OpenAvsFile();
  // Opens a D2V or AVS given by path (the open dialogs' second half).
  void OpenD2VPath(const QString &path);
  void OpenAvsPath(const QString &path);

  // Refuses, with a message, a project name that the script could not hold.
  bool WriteNewScript();
  // Loads the script into the editor and takes ProjectName from it.
  bool FindD2VName(const QString &scriptPath);
  // Reads the first VOB's sequence header; reports a file that cannot be read.
  void ScanVobHeader();
  // One entry of `folder` with the extension, chosen by the user when there
  // are several; empty when there is none.
  QString ChooseFile(const QString &folder, const QString &extension);

private:
  void ReadInfo();
  // A FIFO, a device or a folder is refused at once with its name: reading it
  // could block the window for good.
  bool RefuseIrregularFile(const QString &path);

  SharedState &state_;
  ScriptModel &script_;
  ScriptEditor &editor_;
  UserDialogs &dialogs_;
};

} // namespace reelwork
