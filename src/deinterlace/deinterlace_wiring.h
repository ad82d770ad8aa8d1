#pragma once
// What the main window hands to the field-order and Deinterlace flows: its
// test buttons and radio buttons as a FieldOrderView, and its TForm5 as the
// wizard runner.

#include <functional>

#include "deinterlace/deinterlace_tool.h"
#include "deinterlace/field_order.h"

class QAbstractButton;

namespace reelwork {

class TForm5;

// The captions of BitBtn10 and BitBtn11 and the check of Field0. The buttons
// belong to the main window and must outlive the view.
class ButtonFieldOrderView : public FieldOrderView {
public:
  ButtonFieldOrderView(QAbstractButton *tff, QAbstractButton *bff, QAbstractButton *field0)
      : tff_(tff), bff_(bff), field0_(field0) {}
  QString TffCaption() const override;
  QString BffCaption() const override;
  void SetTestCaptions(const QString &tff, const QString &bff) override;
  bool Field0Checked() const override;

private:
  QAbstractButton *tff_, *bff_, *field0_;
};

// Runs TForm5 modally for the Deinterlace tool; `focusTrackBar` gives the
// main window's frame slider the focus.
class Form5Runner : public DeinterlaceDialogRunner {
public:
  Form5Runner(TForm5 &form, std::function<void()> focusTrackBar)
      : form_(form), focusTrackBar_(std::move(focusTrackBar)) {}
  int RunDeinterlaceWizard(QStringList &commands) override;
  void FocusTrackBar() override {
    if (focusTrackBar_)
      focusTrackBar_();
  }

private:
  TForm5 &form_;
  std::function<void()> focusTrackBar_;
};

} // namespace reelwork
