#pragma once
// Starting the encoder front end with the finished script.

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "app/language.h"

namespace reelwork {

struct LaunchPlan {
  QString program;
  QStringList arguments; // each one argument, so blanks in paths are safe
};

// How to start VirtualDubMod from the folder setting (with or without a final
// separator, "\" or "/") and the script's full path. A native executable runs
// as it is; a Windows program runs through `wine` (given as its path, empty when
// wine is not installed), with the script path in wine's drive Z: form.
// Empty when the program file cannot be found or cannot be run; then
// `problem` (if given) says what is missing and `program` names the file.
struct LaunchProblem {
  ProgramProblem kind = ProgramProblem::NoProgram;
  QString program;
};
std::optional<LaunchPlan> PlanVirtualDubModStart(const QString &folder, const QString &scriptPath,
                                                 const QString &winePath, LaunchProblem *problem = nullptr);

// Starts the plan as a detached process; false when it could not start.
bool StartDetached(const LaunchPlan &plan);

// Plans and starts VirtualDubMod (through `start`, StartDetached by default).
// Returns the message for the user in `language` when it did not start, or
// an empty text when it did.
QString StartVirtualDubMod(const QString &folder, const QString &scriptPath, const QString &winePath, int language,
                           const std::function<bool(const LaunchPlan &)> &start = StartDetached);

} // namespace reelwork
