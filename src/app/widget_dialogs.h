#pragma once
// Message boxes and file dialogs over Qt's standard dialogs.

#include <QWidget>
#include <functional>

#include "script/script_host.h"

namespace reelwork {

class TForm2;

class WidgetDialogs : public UserDialogs {
public:
  explicit WidgetDialogs(QWidget *parent) : parent_(parent) {}

  using UserDialogs::showMessage;
  void showMessage(const QString &text) override;
  void showMessage(const QString &text, const QString &detail) override;
  bool askYesNo(const QString &text) override;
  bool askOkCancel(const QString &text) override;
  std::optional<QString> askSaveFileName(const QString &filter) override;
  std::optional<QString> askOpenFileName(const QString &filter) override;
  QStringList runFileChooser(const QString &searchMask, int &chosenIndex) override;

  // The file chooser shown by runFileChooser.
  void setFileChooser(TForm2 *chooser) { chooser_ = chooser; }
  // The folder the open and save dialogs start in, asked each time.
  void setStartFolder(std::function<QString()> folder) { startFolder_ = std::move(folder); }

private:
  QWidget *parent_;
  TForm2 *chooser_ = nullptr;
  std::function<QString()> startFolder_;
};

} // namespace reelwork
