#include "tools/program_launcher.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "common/file_lookup.h"

namespace reelwork {

namespace {

// Windows executables start with the "MZ" signature.
bool IsWindowsExecutable(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) && file.read(2) == "MZ";
}

QString WineDrivePath(const QString &unixPath) {
  QString path = unixPath;
  path.replace('/', '\\');
  return "Z:" + path;
}

} // namespace

std::optional<LaunchPlan> PlanVirtualDubModStart(const QString &folder, const QString &scriptPath,
                                                 const QString &winePath) {
  QString dir = folder;
  if (!dir.isEmpty() && !dir.endsWith('\\') && !dir.endsWith('/'))
    dir += '\\';
  const QString written = dir + "VirtualDubMod.exe";
  // Settings may come from a Windows machine: try the path as written, then
  // with "/" separators, each found without regard to case.
  std::optional<std::filesystem::path> found;
  for (const QString &candidate : {written, QString(written).replace('\\', '/')}) {
    found = ResolvePathNoCase(candidate.toStdString());
    if (found)
      break;
  }
  if (!found)
    return std::nullopt;
  const QString program = QString::fromStdString(found->string());
  if (!QFileInfo(program).isFile())
    return std::nullopt;
  if (!IsWindowsExecutable(program) && QFileInfo(program).isExecutable())
    return LaunchPlan{program, {scriptPath}};
  if (winePath.isEmpty())
    return std::nullopt;
  return LaunchPlan{winePath, {program, WineDrivePath(scriptPath)}};
}

bool StartDetached(const LaunchPlan &plan) { return QProcess::startDetached(plan.program, plan.arguments); }

} // namespace reelwork
