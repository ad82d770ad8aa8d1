#include "app/widget_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QProgressDialog>
#include <algorithm>

#include "script/file_chooser_dialog.h"

namespace reelwork {

void WidgetDialogs::showMessage(const QString &text) {
  QMessageBox::information(parent_, QApplication::applicationName(), text);
}

void WidgetDialogs::showMessage(const QString &text, const QString &detail) {
  QMessageBox box(QMessageBox::Warning, QApplication::applicationName(), text, QMessageBox::Ok, parent_);
  if (!detail.isEmpty())
    box.setInformativeText(detail);
  box.exec();
}

bool WidgetDialogs::askYesNo(const QString &text) {
  return QMessageBox::question(parent_, "Warning", text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
         QMessageBox::Yes;
}

UserDialogs::CloseAnswer WidgetDialogs::askSaveAtClose(const QString &text) {
  QMessageBox box(QMessageBox::Question, "Warning", text, QMessageBox::Yes | QMessageBox::No, parent_);
  box.setDefaultButton(QMessageBox::Yes);
  // Escape and the box's close button answer this unseen Cancel, so that
  // neither of them drops the user's edits.
  QAbstractButton *cancel = box.addButton(QMessageBox::Cancel);
  cancel->hide();
  box.setEscapeButton(cancel);
  box.exec();
  if (box.clickedButton() == box.button(QMessageBox::Yes))
    return CloseAnswer::Yes;
  if (box.clickedButton() == box.button(QMessageBox::No))
    return CloseAnswer::No;
  return CloseAnswer::Cancel;
}

bool WidgetDialogs::askOkCancel(const QString &text) {
  // Over the window that asks: a wizard's dialog when one is open.
  QWidget *over = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : parent_;
  QMessageBox box(QMessageBox::Warning, "Warning", text, QMessageBox::Ok | QMessageBox::Cancel, over);
  return box.exec() == QMessageBox::Ok;
}

std::optional<QString> WidgetDialogs::askSaveFileName(const QString &filter) {
  const QString name = QFileDialog::getSaveFileName(parent_, QString(), startFolder_ ? startFolder_() : QString(), filter);
  if (name.isEmpty())
    return std::nullopt;
  return name;
}

std::optional<QString> WidgetDialogs::askOpenFileName(const QString &filter) {
  const QString name = QFileDialog::getOpenFileName(parent_, QString(), startFolder_ ? startFolder_() : QString(), filter);
  if (name.isEmpty())
    return std::nullopt;
  return name;
}

QStringList WidgetDialogs::runFileChooser(const QString &, int &) {
  // The chooser lists the shared SearchMask and stores the clicked row in the
  // shared ChosenIndex itself.
  if (!chooser_)
    return {};
  chooser_->exec();
  return chooser_->rows();
}

ProgressWindow::ProgressWindow(QWidget *parent, const QString &label, const QString &cancelText)
    : dialog_(std::make_unique<QProgressDialog>(label, cancelText, 0, 1000, parent)) {
  dialog_->setObjectName("ProgressWindow");
  dialog_->setWindowTitle(QApplication::applicationName());
  dialog_->setWindowModality(Qt::ApplicationModal);
  dialog_->setMinimumDuration(500);
  dialog_->setAutoReset(false);
  dialog_->setAutoClose(false);
  dialog_->setValue(0);
}

ProgressWindow::~ProgressWindow() = default;

bool ProgressWindow::report(double fraction) {
  if (!dialog_->wasCanceled()) {
    // Once shown, the modal dialog handles the user's input itself.
    dialog_->setValue(static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 999.0));
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
  return !dialog_->wasCanceled();
}

} // namespace reelwork
