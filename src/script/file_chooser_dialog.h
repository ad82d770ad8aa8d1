#pragma once
// The file chooser: lists the entries of a search mask and closes on a click.

#include <QDialog>

class QLabel;
class QListWidget;

namespace reelwork {

struct SharedState;

class TForm2 : public QDialog {
  Q_OBJECT
public:
  explicit TForm2(SharedState &state, QWidget *parent = nullptr);

  QLabel *Label3;       // the prompt
  QListWidget *ListBox1; // one row per matching entry

  // The rows of the last listing; they outlive the dialog's closing.
  QStringList rows() const;

  void FormActivate();
  void ListBox1Click();

protected:
  void showEvent(QShowEvent *event) override;
  void changeEvent(QEvent *event) override;

private:
  SharedState &state_;
};

} // namespace reelwork
