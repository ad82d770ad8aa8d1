#pragma once
// The resize windows: the type chooser (TForm8) and the automatic (TForm6),
// exact (TForm9) and manual (TForm10) resize dialogs. Each is created once with
// the main window's shared state and preview, and shown modally by the Resize
// tool; on OK a resize dialog has written NewWidth and NewHeight.

#include <QDialog>
#include <optional>

#include "resize/resize_widgets.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace reelwork {

// The resize-type chooser: Auto, Exact or Manual with four lines of
// explanation. The caller reads TypeGroup's selected row after OK.
class TForm8 : public QDialog {
  Q_OBJECT
public:
  TForm8(SharedState &state, QWidget *parent = nullptr);

  resize::RadioGroup *TypeGroup; // "Auto", "Exact", "Manual"
  QPlainTextEdit *TextMemo;      // explanation of the selected type
  QPushButton *BitBtn1;          // "Okey"
  QPushButton *BitBtn2;          // "Cancel"

  // Shows a conversion message; the default is a message box.
  std::function<void(const QString &)> showError;

  void FormActivate();
  void TypeGroupClick();
  // The selected row: 0 Auto, 1 Exact, 2 Manual, -1 none.
  int SelectedType() const;
  // Cancel, the Escape key and the close box give the modal result 2.
  static constexpr int kCancel = 2;
  void reject() override { done(kCancel); }

protected:
  void showEvent(QShowEvent *event) override;

private:
  void FillMemo();
  SharedState &state_;
};

// Automatic resize: from the source type, its display aspect and the crop.
class TForm6 : public resize::ResizeDialogBase {
  Q_OBJECT
public:
  TForm6(SharedState &state, FramePreview &preview, QWidget *parent = nullptr);

  resize::RadioGroup *RadioGroup1; // source type "PAL", "NTSC"
  resize::RadioGroup *AspectGroup; // input aspect "1.33" ... "User"
  QLineEdit *Edit7;     // integer part of the user aspect
  QLabel *Label8;       // the point between the user aspect's parts
  QLineEdit *Edit5;     // fraction digits of the user aspect
  QPushButton *Button2; // user aspect integer part 2
  QPushButton *Button3; // user aspect integer part 1
  QPushButton *Button4; // fraction digits up
  QPushButton *Button5; // fraction digits down
  QLineEdit *Edit4;     // error in percent
  QPushButton *CalcBtn; // "Calc Y  "
  QLabel *Label3;       // heading over Edit4
  QLabel *Label5;       // heading over RadioGroup1
  QLabel *Label6;       // heading over AspectGroup
  QLabel *Label7;       // heading over the user aspect

  void FormActivate() override;
  void RadioGroup1Click();
  void AspectGroupClick();
  void CalcBtnClick();
  void Button2Click();
  void Button3Click();
  void Button4Click();
  void Button5Click();
  void UpDown1Click();
  void Edit1Exit();

  std::optional<float> IdealHeight(int x);
  void ChooseAutoWidth();
  void CalcHeight();
  void ShowRatio();

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;
};

// Exact resize: from a measured proportion of the visible picture.
class TForm9 : public resize::ResizeDialogBase {
  Q_OBJECT
public:
  TForm9(SharedState &state, FramePreview &preview, QWidget *parent = nullptr);

  QLineEdit *Edit7;     // X part of the proportion
  QLineEdit *Edit5;     // Y part of the proportion
  QPushButton *Button2; // X part up
  QPushButton *Button3; // X part down
  QPushButton *Button4; // Y part up
  QPushButton *Button5; // Y part down
  QLineEdit *Edit4;     // error in percent
  QPushButton *CalcBtn; // "Calc Y  "
  QLabel *Label3;       // "X=" of the proportion
  QLabel *Label5;       // "Y=" of the proportion
  QLabel *Label6;       // heading over Edit4
  QLabel *Label7;       // heading over the proportion

  void FormActivate() override;
  void CalcBtnClick();
  void Button2Click();
  void Button3Click();
  void Button4Click();
  void Button5Click();
  void UpDown1Click();
  void Edit1Exit();

  std::optional<float> IdealHeight(int x);
  void ChooseAutoWidth();
  void CalcHeight();
  void ShowRatio();

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  // After a proportion button: Y again, and the window refitted only when Y changed.
  void ProportionChanged();
};

// Manual resize: any width and height, to the pixel.
class TForm10 : public resize::ResizeDialogBase {
  Q_OBJECT
public:
  TForm10(SharedState &state, FramePreview &preview, QWidget *parent = nullptr);

  resize::UpDown *UpDown3; // X by one pixel
  resize::UpDown *UpDown4; // Y by one pixel
  QLabel *Label3;          // "+/- 1"

  void FormActivate() override;
  void UpDown1Click();
  void Edit1Exit();
  void UpDown3Click(bool up);
  void UpDown4Click(bool up);

  std::optional<float> IdealHeight(int x);
  void ChooseAutoWidth();
  void ShowRatio();

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;
};

} // namespace reelwork
