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
                                                 const QString &winePath, LaunchProblem *problem) {
  auto fail = [&](ProgramProblem kind, const QString &program) -> std::optional<LaunchPlan> {
    if (problem)
      *problem = {kind, program};
    return std::nullopt;
  };
  QString dir = folder;
  if (dir.trimmed().isEmpty())
    return fail(ProgramProblem::NoFolder, "VirtualDubMod.exe");
  if (!dir.endsWith('\\') && !dir.endsWith('/'))
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
  const QString program = found ? QString::fromStdString(found->string()) : QString(written).replace('\\', '/');
  if (!found || !QFileInfo(program).isFile())
    return fail(ProgramProblem::NoProgram, program);
  if (!IsWindowsExecutable(program)) {
    if (QFileInfo(program).isExecutable())
      return LaunchPlan{program, {scriptPath}};
    // Without the "MZ" signature and without the right to run it: neither
    // wine nor the system can start it.
    if (!QFileInfo(program).isReadable() || winePath.isEmpty())
      return fail(ProgramProblem::NotExecutable, program);
  }
  if (winePath.isEmpty())
    return fail(ProgramProblem::NoWine, program);
  return LaunchPlan{winePath, {program, WineDrivePath(scriptPath)}};
}

bool StartDetached(const LaunchPlan &plan) { return QProcess::startDetached(plan.program, plan.arguments); }

QString StartVirtualDubMod(const QString &folder, const QString &scriptPath, const QString &winePath, int language,
                           const std::function<bool(const LaunchPlan &)> &start) {
  LaunchProblem problem;
  const auto plan = PlanVirtualDubModStart(folder, scriptPath, winePath, &problem);
  if (!plan)
    return ProgramProblemText(problem.kind, problem.program, language);
  if (!start(*plan))
    return ProgramProblemText(ProgramProblem::StartFailed, plan->program, language);
  return {};
}

} // namespace reelwork
