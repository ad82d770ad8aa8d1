#include "calculator/calculator_report.h"

#include <QRegularExpression>

#include "common/text_file.h"

namespace reelwork {

namespace {

// The locale's long time format without the time zone, which Qt adds to it.
QString LongTimeText(const QTime &time, const QLocale &locale) {
  QString format = locale.timeFormat(QLocale::LongFormat);
  static const QRegularExpression zone(QStringLiteral("\\s*\\bt+\\b"));
  format.remove(zone);
  return locale.toString(time, format.trimmed());
}

} // namespace

QStringList ReportLines(const CalculatorReport &r, const QDateTime &now, const QLocale &locale) {
  QStringList lines;
  lines << "Reelwork Calculator: " + LongTimeText(now.time(), locale) + " " +
               locale.toString(now.date(), QLocale::ShortFormat);
  lines << QString();
  lines << "Main Video Size: " + r.xSize + " x " + r.ySize;
  lines << "Main Video Frames: " + r.frames;
  lines << "Main Video Fps: " + r.fps;
  lines << "Full Video Time: " + r.minutes + " min " + r.seconds + " sec";
  lines << QString();
  if (r.useTitles) {
    lines << "End Title Video Frames: " + r.titleFrames;
    lines << "End Title Video Time: " + r.titleMinutes + "min " + r.titleSeconds + "sec";
    lines << "End Title Video Bitrate: " + r.titleBitrate;
  } else {
    lines << "End Title Video: disabled";
  }
  lines << QString();
  for (size_t i = 0; i < r.audio.size(); ++i)
    if (r.audio[i])
      lines << QString("Audio Stream %1: ").arg(i + 1) + *r.audio[i];
  lines << QString();
  lines << "Destination Size: " + r.size + " Mb (" + r.format + ")";
  lines << QString();
  lines << "Calculated Bitrate: " + r.bitrate + " kbps";
  lines << "Video Quality: " + r.quality;
  return lines;
}

bool WriteReport(const QString &folder, const QStringList &lines, QString *error) {
  return WriteTextLines(WithTrailingSlash(folder) + kReportName, lines, error);
}

} // namespace reelwork
