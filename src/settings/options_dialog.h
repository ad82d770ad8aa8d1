#pragma once
// The options dialog: every setting in one window. Activation copies the
// settings into the controls; "OKey" copies the controls back.

#include <QAbstractSpinBox>
#include <QDialog>
#include <array>
#include <functional>

#include "settings/settings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QGroupBox;
class QSlider;

namespace reelwork {

struct SharedState;
class UserDialogs;

// A number field with up-down arrows that keeps whatever text is typed in
// it: the arrows step from the number shown (or from their last position)
// by `step`, within [min, max].
class FreeSpinBox : public QAbstractSpinBox {
  Q_OBJECT
public:
  FreeSpinBox(int min, int max, int step, QWidget *parent = nullptr);
  // The arrows' position (kept within the range); the field shows it.
  void setPosition(int position);
  int position() const { return position_; }
  // Puts a text in the field, as typing does.
  void setText(const QString &text);
  void stepBy(int steps) override;
  QValidator::State validate(QString &, int &) const override { return QValidator::Acceptable; }

protected:
  StepEnabled stepEnabled() const override;

private:
  int startOfStep() const;
  int min_, max_, step_, position_;
};

class TForm7 : public QDialog {
  Q_OBJECT
public:
  // `filterItems` gives the main window's check-list items, `scriptLines` the
  // script's lines (for the parameters the script really uses).
  TForm7(SharedState &state, UserDialogs &dialogs, std::function<QStringList()> filterItems,
         std::function<QStringList()> scriptLines, QWidget *parent = nullptr);

  // Fills the controls from the settings; false when a number setting is no
  // integer (the message has been shown and the filling stopped there).
  bool FormActivate();
  // Where messages and the browse dialog go (tests give scripted answers).
  void setDialogs(UserDialogs &dialogs) { dialogs_ = &dialogs; }
  // "OKey": stores the controls into the settings and closes with OK.
  void BitBtn1Click();
  // "...": browses for the VirtualDubMod folder.
  void Button1Click();

  QGroupBox *RadioGroup1;     // language
  QRadioButton *LanguageRussian; // choice 0 of RadioGroup1
  QRadioButton *LanguageEnglish; // choice 1 of RadioGroup1
  QLabel *Label3;             // "Language"
  QCheckBox *CheckBox1;       // "VOB Scaning"
  QLabel *Label1;             // "Filter/Command List"
  QPlainTextEdit *Memo1;      // the filter list, one item a line
  QLabel *Label4;             // "Sharpen Default"
  QLineEdit *Edit2;           // Sharpen argument
  QCheckBox *CheckBox3;       // "Default Field Order = 1"
  QCheckBox *UseM2S_Box;      // use mpeg2source parameters
  QLabel *Label17, *Label18, *Label21; // "iDCT = ", "CPU = ", "iPP = "
  QLabel *Label19, *Label20, *Label22; // headings of the three lists
  QComboBox *iDCT_Box;
  QComboBox *CPU_Box;
  QComboBox *iPP_Box;
  QLabel *Label5, *Label6, *Label7, *Label8; // slider headings
  QLabel *Label2, *Label23, *Label24, *Label25, *Label26, *Label27; // slider ends
  QSlider *TrackBar1;         // interlace sensitivity 0..10
  QSlider *TrackBar2;         // light sensitivity 0..10
  QSlider *TrackBar3;         // round sensitivity 0..10
  QSlider *TrackBar4;         // crop balance, five stops
  QLabel *Label11, *Label10, *Label9, *Label12, *Label13; // "-4" .. "+4"
  QCheckBox *CheckBox2;       // "Always Set Horizontal Croping Aliquot to 4"
  QLabel *Label28;            // "Resize method"
  QComboBox *ResizeBox;       // Auto, Exact, Manual
  QLabel *Label14;            // "Good Video Quality"
  QLineEdit *Edit3;           // quality threshold
  QLabel *Label15;            // "Initial Resizing Width"
  FreeSpinBox *Edit4;         // initial width with its up-down arrows (UpDown1), 480..704 by 32
  QLabel *Label16;            // "VirtualDubMod Path"
  QLineEdit *Edit5;           // VirtualDubMod folder
  QPushButton *Button1;       // "..."
  QPushButton *BitBtn1;       // "OKey"

protected:
  void showEvent(QShowEvent *event) override;

private:
  void BuildLayout();
  void SetCaptions();
  bool FillNumber(const QString &value, int &number);

  SharedState &state_;
  UserDialogs *dialogs_;
  std::function<QStringList()> filterItems_;
  std::function<QStringList()> scriptLines_;
  // What activation showed, so that a control left without a selection
  // stores the value it was given.
  QString shownLanguage_;
  // The settings whose controls this activation filled; a filling stopped by
  // a value that is no integer leaves the others, and "OKey" keeps their
  // stored values rather than the controls' leftovers.
  std::array<bool, kSettingCount> filled_{};
  int shownIdct_ = 0, shownCpu_ = 0;
  bool shownIpp_ = false;
};

} // namespace reelwork
