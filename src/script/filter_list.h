#pragma once
// The filter check-list: its items from the _FILTERS setting, the check marks
// that mirror the script, and the lines a check mark adds or removes.

#include <QString>
#include <QStringList>
#include <QVector>

#include "app/shared_state.h"
#include "script/script_editor.h"
#include "script/script_model.h"

namespace reelwork {

// Cuts the setting at each ";": every piece is an item, empty pieces between
// two ";" included; an empty remainder after the last ";" is no item.
QStringList SplitFilterList(const QString &setting);

// For every item, whether some script line contains the item's text before its
// first "(" (without regard to case). An item without "(" is never checked.
QVector<bool> FilterChecks(const QStringList &items, const QStringList &scriptLines);

// The number after a line's first "(", rounded; false when there is no "(".
bool ReadFirstNumber(const QString &line, int &value);

class FilterList {
public:
  FilterList(SharedState &state, ScriptModel &script, ScriptEditor &editor)
      : state_(state), script_(script), editor_(editor) {}

  // Inserts a Crop line after the source and deinterlacing lines, unless the
  // script has a crop line already.
  void InsertCropLine(const QString &line);
  // Inserts a resize line after the lowest of the chain's earlier commands,
  // unless the script has a BicubicResize line already.
  void InsertResizeLine(const QString &line);

  // The user clicked an item: the editor selects that filter's line.
  void Click(const QString &item);

  // The user toggled an item's check box (now `checked`). Adds or removes the
  // filter's line, saves and reloads. `fieldOrder` is '0' or '1'. Returns the
  // check state the item should show afterwards.
  bool ClickCheck(const QString &item, bool checked, QChar fieldOrder);

private:
  int After(const QStringList &commands) const; // index after the first found, else -1
  int LowestOf(const QStringList &commands) const;
  void ClampCurrentFrame(int n);

  SharedState &state_;
  ScriptModel &script_;
  ScriptEditor &editor_;
};

} // namespace reelwork
