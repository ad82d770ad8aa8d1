#pragma once
// Message boxes and file dialogs over Qt's standard dialogs.

#include <QWidget>

#include "script/script_host.h"

namespace reelwork {

class WidgetDialogs : public UserDialogs {
public:
  explicit WidgetDialogs(QWidget *parent) : parent_(parent) {}

  using UserDialogs::showMessage;
  void showMessage(const QString &text) override;
  void showMessage(const QString &text, const QString &detail) override;
  bool askYesNo(const QString &text) override;
  std::optional<QString> askSaveFileName(const QString &filter) override;

private:
  QWidget *parent_;
};

} // namespace reelwork
