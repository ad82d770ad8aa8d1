#include "common/text_file.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include "common/atomic_file.h"
#include "common/text_codec.h"

namespace reelwork {

QString FromSingleByte(const QByteArray &bytes) {
  QStringDecoder decoder("windows-1251");
  return decoder.isValid() ? decoder.decode(bytes) : QString::fromLatin1(bytes);
}

QByteArray ToSingleByte(const QString &text) {
  QStringEncoder encoder("windows-1251");
  return encoder.isValid() ? QByteArray(encoder.encode(text)) : text.toLatin1();
}

std::optional<QStringList> ReadTextLines(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return std::nullopt;
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError)
    return std::nullopt;
  // Decoded as the frame engine decodes scripts and projects.
  const std::string data = DecodeProjectText(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
  QStringList lines;
  size_t start = 0;
  while (start < data.size()) {
    size_t end = data.find('\n', start);
    const bool last = end == std::string::npos;
    if (last)
      end = data.size();
    size_t lineEnd = end;
    if (!last && lineEnd > start && data[lineEnd - 1] == '\r')
      --lineEnd;
    lines.append(QString::fromUtf8(data.data() + start, static_cast<qsizetype>(lineEnd - start)));
    start = end + 1;
  }
  return lines;
}

namespace {
QByteArray JoinCrLf(const QStringList &lines) {
  QByteArray data;
  for (const QString &line : lines) {
    data += ToSingleByte(line);
    data += "\r\n";
  }
  return data;
}
} // namespace

bool WriteTextLines(const QString &path, const QStringList &lines, QString *error) {
  const QByteArray data = JoinCrLf(lines);
  std::string reason;
  if (!WriteFileAtomically(path.toStdString(), std::string_view(data.constData(), data.size()),
                           &reason)) {
    if (error)
      *error = QString::fromStdString(reason);
    return false;
  }
  return true;
}

bool WriteTextLines(const QString &path, const QStringList &lines, SaveFailure &failure) {
  const QByteArray data = JoinCrLf(lines);
  return WriteFileSafely(path.toStdString(), std::string_view(data.constData(), data.size()),
                         &failure);
}

QString WithTrailingSlash(const QString &folder) {
  if (folder.isEmpty() || folder.endsWith('/'))
    return folder;
  return folder + '/';
}

} // namespace reelwork
