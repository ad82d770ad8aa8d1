#include "script/filter_list.h"

namespace reelwork {

QStringList SplitFilterList(const QString &setting) {
  QStringList items = setting.split(';');
  if (!items.isEmpty() && items.last().isEmpty())
    items.removeLast();
  return items;
}

QVector<bool> FilterChecks(const QStringList &items, const QStringList &scriptLines) {
  QVector<bool> checks(items.size(), false);
  for (const QString &line : scriptLines) {
    const QString upper = line.toUpper();
    for (qsizetype i = 0; i < items.size(); ++i) {
      const qsizetype paren = items[i].indexOf('(');
      if (paren >= 0 && upper.contains(items[i].left(paren).toUpper()))
        checks[i] = true;
    }
  }
  return checks;
}

} // namespace reelwork
