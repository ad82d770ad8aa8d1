#include "app/widget_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

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

} // namespace reelwork
