#pragma once
// The deinterlace wizard TForm5: the TV system, its list of methods, the
// chosen method's description and editable commands, and the choice to set
// the source command's parameters on OKey.

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace reelwork {

struct SharedState;
class FieldOrderView;

class TForm5 : public QDialog {
  Q_OBJECT
public:
  // `fieldOrder` is the main window's field-order switch; both outlive the dialog.
  TForm5(SharedState &state, const FieldOrderView &fieldOrder, QWidget *parent = nullptr);

  QGroupBox *RadioGroup1;  // TV system of the source
  QRadioButton *CPAL;      // row 0, "PAL"
  QRadioButton *CNTSC;     // row 1, "NTSC"
  QListWidget *MethodBox;  // the methods of the chosen TV system
  QCheckBox *CheckBox1;    // set the source command's parameters on OKey
  QLabel *Label1;          // "Change parameters"
  QLabel *Label2;          // "of Mpeg2Source command:"
  QLabel *Label3;          // above the description
  QPlainTextEdit *ExpMemo; // the chosen method's description
  QLabel *Label4;          // above the commands
  QPlainTextEdit *AvsMemo; // the chosen method's commands, editable
  QPushButton *BitBtn1;    // "Cancel", modal result 2
  QPushButton *BitBtn2;    // "OKey", modal result 1

  // The TV system row (0 PAL, 1 NTSC) and the lines of the command box.
  int TvRow() const;
  QStringList Commands() const;

  // Shows the wizard modally; after OKey `commands` receives the command box.
  int Run(QStringList &commands);

  void FormActivate();
  void CPALClick();
  void MethodBoxClick();
  void BitBtn2Click();

  static constexpr int kCancel = 2;

public slots:
  void reject() override; // Escape and the close box answer as Cancel does

protected:
  void showEvent(QShowEvent *event) override;

private:
  void FillMethods();
  void ShowMethod(int row);

  SharedState &state_;
  const FieldOrderView &fieldOrder_;
};

} // namespace reelwork
