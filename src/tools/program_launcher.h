#pragma once
// Starting the encoder front end with the finished script.

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace reelwork {

struct LaunchPlan {
  QString program;
  QStringList arguments; // each one argument, so blanks in paths are safe
};

// How to start VirtualDubMod from the folder setting (with or without a final
// separator, "\" or "/") and the script's full path. A native executable runs
// as it is; a Windows program runs through `wine` (given as its path, empty when
// wine is not installed), with the script path in wine's drive Z: form.
// Empty when the program file cannot be found or cannot be run.
std::optional<LaunchPlan> PlanVirtualDubModStart(const QString &folder, const QString &scriptPath,
                                                 const QString &winePath);

// Starts the plan as a detached process; false when it could not start.
bool StartDetached(const LaunchPlan &plan);

// The message shown when the program cannot be found (the same in both languages).
inline constexpr char kVirtualDubModMissing[] = "Cannot find VirtualDubMod!";

} // namespace reelwork
