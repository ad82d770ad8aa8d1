#pragma once
// Where the open and save dialogs start: the folder of the open script, else
// the sample rip made on the first start, else the dialog's own choice.

#include <QString>

namespace reelwork {

// The sample rip's folder: $XDG_DATA_HOME/reelwork/sample, by default
// ~/.local/share/reelwork/sample (whether or not it exists).
QString SampleFolder();

// `workDir` when it is an existing folder, else SampleFolder() when that
// exists, else an empty text (the dialog then picks its own).
QString FileDialogFolder(const QString &workDir);

} // namespace reelwork
