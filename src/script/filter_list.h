#pragma once
// The filter check-list: its items from the _FILTERS setting and the check
// marks that mirror the script.

#include <QString>
#include <QStringList>
#include <QVector>

namespace reelwork {

// Cuts the setting at each ";": every piece is an item, empty pieces between
// two ";" included; an empty remainder after the last ";" is no item.
QStringList SplitFilterList(const QString &setting);

// For every item, whether some script line contains the item's text before its
// first "(" (without regard to case). An item without "(" is never checked.
QVector<bool> FilterChecks(const QStringList &items, const QStringList &scriptLines);

} // namespace reelwork
