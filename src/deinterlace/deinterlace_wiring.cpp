#include "deinterlace/deinterlace_wiring.h"

#include <QAbstractButton>

#include "deinterlace/deinterlace_dialog.h"

namespace reelwork {

QString ButtonFieldOrderView::TffCaption() const { return tff_->text(); }
QString ButtonFieldOrderView::BffCaption() const { return bff_->text(); }

void ButtonFieldOrderView::SetTestCaptions(const QString &tff, const QString &bff) {
  tff_->setText(tff);
  bff_->setText(bff);
}

bool ButtonFieldOrderView::Field0Checked() const { return field0_->isChecked(); }

int Form5Runner::RunDeinterlaceWizard(QStringList &commands) { return form_.Run(commands); }

} // namespace reelwork
