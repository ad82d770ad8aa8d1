#include "app/dialog_folder.h"

#include <QDir>
#include <QFileInfo>

namespace reelwork {

QString SampleFolder() {
  QString data = qEnvironmentVariable("XDG_DATA_HOME");
  // XDG_DATA_HOME counts only as an absolute path, as desktops read it.
  if (data.isEmpty() || QDir::isRelativePath(data))
    data = QDir::homePath() + "/.local/share";
  return QDir::cleanPath(data + "/reelwork/sample");
}

QString FileDialogFolder(const QString &workDir) {
  if (!workDir.isEmpty() && QFileInfo(workDir).isDir())
    return workDir;
  const QString sample = SampleFolder();
  return QFileInfo(sample).isDir() ? sample : QString();
}

} // namespace reelwork
