#pragma once
// The field-order test (TFF and BFF buttons) and the field-order switch: the
// test replaces the script for a while by a script that shows the source's
// fields one by one; the switch rewrites the order of the script's Telecide
// and TomsMoComp lines.

#include <QChar>
#include <QString>
#include <QStringList>

#include "tools/workbench.h"

namespace reelwork {

// The main window's field-order controls. The test state lives in the two
// test buttons' captions: a caption ending in "?" marks the running test.
class FieldOrderView {
public:
  virtual ~FieldOrderView() = default;
  virtual QString TffCaption() const = 0; // BitBtn10, "TFF" when idle
  virtual QString BffCaption() const = 0; // BitBtn11, "BFF" when idle
  virtual void SetTestCaptions(const QString &tff, const QString &bff) = 0;
  // True when the radio button Field0 (order 0, bottom field first) is checked.
  virtual bool Field0Checked() const = 0;
};

// A view over plain fields, for tests and for callers without buttons.
class FieldOrderState : public FieldOrderView {
public:
  QString TffCaption() const override { return tff; }
  QString BffCaption() const override { return bff; }
  void SetTestCaptions(const QString &t, const QString &b) override {
    tff = t;
    bff = b;
  }
  bool Field0Checked() const override { return field0; }

  QString tff = "TFF";
  QString bff = "BFF";
  bool field0 = false;
};

// '0' when Field0 is checked, '1' otherwise.
QChar FieldOrderChar(const FieldOrderView &view);

// "mpeg2source(\"<project>\"" followed by "," and the parameters when there
// are any, and ")".
QString FullMpeg2SourceLine(const QString &projectName, const QString &parameters);

// The six lines of TFF.avs (topFirst) or BFF.avs, comments in `language`.
QStringList FieldTestScript(const QString &projectName, const QString &parameters, bool topFirst, int language);

// The TFF button (BitBtn10) and the BFF button (BitBtn11): the first press
// starts the test, a second press of the same button ends it and brings the
// user's script back; a press of the other button switches tests.
void BitBtn10Click(Workbench &bench, FieldOrderView &view);
void BitBtn11Click(Workbench &bench, FieldOrderView &view);

// The line with the order character of a Telecide line ("order=" digit) or a
// TomsMoComp line (first argument 1, 0 or X) replaced by `order`; any other
// line unchanged.
QString RewriteFieldOrder(const QString &line, QChar order);

// A click on Field0 or Field1: rewrites every Telecide and TomsMoComp line to
// the checked order, then saves and reloads (or shows the open-script message).
void Field0Click(Workbench &bench, const FieldOrderView &view);

} // namespace reelwork
