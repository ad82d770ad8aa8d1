#pragma once
// The progress dialog with Cancel shown while the VOB files are indexed.

#include <QString>

#include "script/project_from_vobs.h"

class QWidget;

namespace reelwork {

// A ProgressRunner over a modal QProgressDialog on `parent`; its Cancel
// button stops the work at the next progress report.
ProgressRunner IndexProgressRunner(QWidget *parent, const QString &cancelText);

} // namespace reelwork
