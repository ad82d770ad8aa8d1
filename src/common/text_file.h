#pragma once
// Text files as the program's users keep them: single-byte Windows-1251 text,
// lines ending in CR LF (LF alone is accepted when reading).

#include <QString>
#include <QStringList>
#include <optional>

#include "common/atomic_file.h"

namespace reelwork {

// The lines of a file; a final line break does not add an empty line. The
// text is decoded as DecodeProjectText says (Windows-1251, or UTF-8 when it
// is marked or plainly so).
// Empty when the file cannot be opened.
std::optional<QStringList> ReadTextLines(const QString &path);

// Writes each line followed by CR LF with WriteFileSafely: a protected file
// is refused, links are written through, a failed write leaves the old file
// whole. On failure `error` (if given) receives the reason.
bool WriteTextLines(const QString &path, const QStringList &lines, QString *error = nullptr);
bool WriteTextLines(const QString &path, const QStringList &lines, SaveFailure &failure);

// Decoding and encoding of single lines in Windows-1251.
QString FromSingleByte(const QByteArray &bytes);
QByteArray ToSingleByte(const QString &text);

// A folder with a final "/" (unless it is empty), ready to be joined with a name.
QString WithTrailingSlash(const QString &folder);

} // namespace reelwork
