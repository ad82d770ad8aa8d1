#pragma once
// Starting from the disc: the D2V button also takes VOB files and a DVD
// folder, makes the project for them beside the VOBs and opens it as a
// chosen project is opened.

#include <QString>
#include <QStringList>
#include <functional>

#include "engine/video.h"
#include "script/script_host.h"
#include "script/source_opening.h"

namespace reelwork {

// The open dialog's filter of the D2V button: projects first, then VOB files
// and the DVD folder, chosen by its VIDEO_TS.IFO.
inline constexpr char kD2VOrDiscFilter[] =
    "DVD2AVI Project File (*.D2V *.d2v);;VOB Files (*.VOB *.vob);;DVD Folder (VIDEO_TS.IFO video_ts.ifo)";

// What a chosen path asks for.
struct DiscChoice {
  bool disc = false;   // false: the path is a project (or anything else), opened as it is
  QStringList vobs;    // the VOBs to index, in order; empty for a disc choice without titles
  QString projectName; // the new project's file name: VTS_nn.d2v for a title set, else the VOB's name
};

// A folder (VIDEO_TS or the disc's root) or an .IFO file in one: the largest
// title set. A VOB: its title set's VOBs from VTS_nn_1 on (any other VOB on its
// own). Anything else is no disc choice.
DiscChoice ReadDiscChoice(const QString &path);

// The project for `vobs` in `folder`: `name` when no such file stands there or
// when the one there lists the same VOBs (then `reuse` is set and it is opened
// as it is); otherwise the first free name of the form base-2.d2v, base-3.d2v.
QString ProjectPathFor(const QString &folder, const QString &name, const QStringList &vobs, bool &reuse);

// Runs `work` while showing its progress; the progress function throws when
// the user cancels, and then the runner returns false. Other exceptions pass.
using ProgressRunner =
    std::function<bool(const QString &label, const std::function<void(const engine::ProgressFn &)> &work)>;

// The texts of this flow, by language (0 English, 1 Russian).
QString DiscText(int language, int row);
enum DiscTextRow { kIndexingText = 0, kCannotMakeText = 1, kNoTitlesText = 2, kCancelText = 3 };

// The D2V button: asks for a project, VOB files or a DVD folder; for the
// latter two makes the project (beside the VOBs, or where the user saves it
// when that folder cannot be written), then opens the project.
void OpenD2VOrDisc(SourceOpener &opener, UserDialogs &dialogs, int language, const ProgressRunner &runner);

} // namespace reelwork
