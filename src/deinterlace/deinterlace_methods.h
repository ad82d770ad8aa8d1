#pragma once
// The deinterlace wizard's rules: the PAL and NTSC method tables with their
// commands and descriptions, the TV system chosen on opening, and the source
// parameters set on OKey.

#include <QChar>
#include <QString>
#include <QStringList>
#include <QVector>

namespace reelwork {

enum TvSystemRow { PalRow = 0, NtscRow = 1 };

struct DeinterlaceMethod {
  QString listText;     // the row of MethodBox
  QStringList commands; // the lines of AvsMemo
  QString description;  // the text of ExpMemo
};

// "true" for order '1' (top field first), "false" for order '0'.
QString SmoothDeinterlaceTff(QChar order);

// The methods of one TV system in list order, for the order character
// `order` ('0' or '1') and the language (0 English, 1 Russian).
QVector<DeinterlaceMethod> DeinterlaceMethods(int tvRow, QChar order, int language);

// PAL when the TV system says "PAL", NTSC when it says "NTSC"; otherwise PAL
// for a frame rate within 0.1 of 25 and NTSC for any other.
int ChooseTvSystemRow(const QString &tvSystem, float frameRate);

// The source parameters after OKey with "Change parameters" ticked: idct and
// cpu read from `current` (0 when missing); cpu 0 for the first PAL method,
// otherwise a cpu of 0 becomes 4; written as "idct=<i>,cpu=<c>,iPP=true".
QString Mpeg2SourceAfterOKey(const QString &current, int tvRow, int methodRow);

} // namespace reelwork
