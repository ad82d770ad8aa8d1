#pragma once
// The calculator's report: a short text file beside the script that tells
// what the encode was planned for.

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

namespace reelwork {

inline constexpr char kReportName[] = "ReelworkInfo.doc";

// The texts of the dialog's controls as they stand when the report is made.
struct CalculatorReport {
  QString xSize, ySize;
  QString frames, fps, minutes, seconds;
  bool useTitles = false;
  QString titleFrames, titleMinutes, titleSeconds, titleBitrate;
  // The text of each audio list, or nothing when it is set to no stream.
  std::array<std::optional<QString>, 3> audio;
  QString size, format;
  QString bitrate, quality;
};

// The report's lines; the first carries `now` in the locale's long time and
// short date formats.
QStringList ReportLines(const CalculatorReport &report, const QDateTime &now,
                        const QLocale &locale = QLocale::system());

// Writes the lines as `folder` + "ReelworkInfo.doc" (Windows-1251, CR LF). The
// new report is complete before it replaces an old one; on failure the old
// file stays whole and `error` receives the reason.
bool WriteReport(const QString &folder, const QStringList &lines, QString *error = nullptr);

} // namespace reelwork
