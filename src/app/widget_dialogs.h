#pragma once
// Message boxes and file dialogs over Qt's standard dialogs.

#include <QElapsedTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "script/script_host.h"

class QProgressDialog;

namespace reelwork {

class TForm2;

class WidgetDialogs : public UserDialogs {
public:
  explicit WidgetDialogs(QWidget *parent) : parent_(parent) {}

  using UserDialogs::showMessage;
  void showMessage(const QString &text) override;
  void showMessage(const QString &text, const QString &detail) override;
  bool askYesNo(const QString &text) override;
  CloseAnswer askSaveAtClose(const QString &text) override;
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

// A progress dialog with Cancel over long work done on the user-interface
// thread. It appears only once the work has lasted a moment; meanwhile the
// windows are repainted, and the user's input waits until it appears.
class ProgressWindow {
public:
  ProgressWindow(QWidget *parent, const QString &label, const QString &cancelText);
  ~ProgressWindow();
  ProgressWindow(const ProgressWindow &) = delete;
  ProgressWindow &operator=(const ProgressWindow &) = delete;

  // Shows how far the work is (0..1); false once Cancel has been pressed.
  bool report(double fraction);

private:
  std::unique_ptr<QProgressDialog> dialog_;
};

} // namespace reelwork
