#include "preview/preview_display.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

#include "app/language.h"
#include "common/number.h"

namespace reelwork {

QString PadNumber(long long value, int width, QChar fill) {
  QString digits = QString::number(value);
  if (digits.size() < width)
    digits.prepend(QString(width - digits.size(), fill));
  return digits;
}

QString FrameCounterLine(int n) {
  const QString six = PadNumber(((n % 1000000) + 1000000) % 1000000, 6, '0');
  return "F = " + six.left(3) + " " + six.mid(3);
}

QString TimeCounterLine(int n, float frameRate) {
  // Minutes as a single-precision value, as the counters have always shown them.
  const float minutes =
      frameRate > 0 ? static_cast<float>(static_cast<double>(n) / static_cast<double>(frameRate) / 60.0) : 0.0f;
  const double whole = std::trunc(static_cast<double>(minutes));
  const double seconds = (static_cast<double>(minutes) - whole) * 60.0;
  return "T = " + PadNumber(static_cast<long long>(whole), 3, '0') + " m " +
         PadNumber(RoundHalfEven(seconds), 2, '0') + " s";
}

int AverageBrightness(const RgbImage &picture, int width, int height, std::mt19937 &random) {
  width = std::min(width, picture.width);
  height = std::min(height, picture.height);
  if (width <= 0 || height <= 0)
    return 0;
  std::uniform_int_distribution<int> xs(0, width - 1);
  std::uniform_int_distribution<int> ys(0, height - 1);
  int sum = 0;
  for (int i = 0; i < 100; ++i) {
    const int x = xs(random);
    const int y = ys(random);
    const std::uint8_t *p = picture.at(x, y);
    sum += p[0] + p[1] + p[2];
  }
  return sum / 300;
}

namespace {

QString NamesList(const std::vector<std::string> &names) {
  QStringList list;
  for (const std::string &name : names)
    list.append(QString::fromStdString(name));
  return list.join(", ");
}

QString RangesList(const std::vector<engine::FrameRange> &ranges) {
  QStringList list;
  for (const engine::FrameRange &r : ranges) {
    const long long first = static_cast<long long>(r.first) + 1;
    const long long last = static_cast<long long>(r.last) + 1;
    list.append(first == last ? QString::number(first) : QString::number(first) + "-" + QString::number(last));
  }
  return list.join(", ");
}

} // namespace

QString PreviewNotesLine(const engine::PreviewNotes &notes, int language) {
  QStringList parts;
  if (!notes.notPreviewed.empty())
    parts.append(WindowTextFor(WindowText::NotPreviewed, language) + NamesList(notes.notPreviewed));
  if (!notes.approximated.empty())
    parts.append(WindowTextFor(WindowText::Approximated, language) + NamesList(notes.approximated));
  if (!notes.missingImports.empty())
    parts.append(WindowTextFor(WindowText::MissingImports, language) + NamesList(notes.missingImports));
  if (!notes.damaged.empty())
    parts.append(WindowTextFor(WindowText::DamagedFrames, language) + RangesList(notes.damaged));
  return parts.join(";   ");
}

QStringList FailureLines(const QString &scriptName, const QString &reason, int language) {
  QStringList lines{MessageText(MsgAvsNotRead, language)};
  // Script errors start with the line they were found on.
  static const QRegularExpression lineFirst(QStringLiteral("^line (\\d+): (.*)$"),
                                            QRegularExpression::DotMatchesEverythingOption);
  const QRegularExpressionMatch match = lineFirst.match(reason);
  if (match.hasMatch()) {
    lines.append(WindowTextFor(WindowText::ScriptLine, language).arg(scriptName, match.captured(1)));
    lines.append(match.captured(2));
  } else {
    lines.append(scriptName);
    if (!reason.isEmpty())
      lines.append(reason);
  }
  return lines;
}

} // namespace reelwork
