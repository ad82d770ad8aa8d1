#pragma once
// The crop dialog: the current frame at its own size with dotted red guides
// where the cuts fall, four spin buttons for the amounts, automatic border
// detection, frame navigation through the main window's slider, and a reset.

#include <QDialog>
#include <QImage>
#include <QSpinBox>

#include "app/shared_state.h"
#include "crop/crop_detection.h"
#include "crop/crop_tool.h"
#include "tools/workbench.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace reelwork {

class TickSlider;

// A spin button with its edit. Only a step (an arrow click, the arrow keys)
// reports itself; a value typed into the edit is just taken as the position.
class CropSpinBox : public QSpinBox {
  Q_OBJECT
public:
  explicit CropSpinBox(QWidget *parent = nullptr) : QSpinBox(parent) {}
  QLineEdit *edit() const { return lineEdit(); }
  void stepBy(int steps) override;

signals:
  void stepped();
};

class TForm4 : public QDialog, public CropDialogRunner {
  Q_OBJECT
public:
  // The dialog reads and writes `state` and moves through the video with
  // `preview`; both must outlive it.
  TForm4(SharedState &state, FramePreview &preview, QWidget *parent = nullptr);

  // Shows the dialog modally, runs its activation and waits for OKey (1),
  // Cancel (3) or a close (0).
  int RunCropDialog() override;

  // The picture as drawn now (frame, guides and labels).
  const QImage &picture() const { return picture_; }
  CropAmounts amounts() const;

  QPushButton *Button1;  // "Reset to 0"
  QLabel *Label3;        // "Y1"
  QLineEdit *Edit1;      // edit of UpDnY1
  CropSpinBox *UpDnY1;   // top amount, 0..200 step 2
  QLabel *Label4;        // "Y2"
  QLineEdit *Edit4;      // edit of UpDnY2
  CropSpinBox *UpDnY2;   // bottom amount, 0..200 step 2
  QLabel *Label1;        // "X1"
  QLineEdit *Edit2;      // edit of UpDnX1
  CropSpinBox *UpDnX1;   // left amount, 0..100 step 2
  QLabel *Label2;        // "X2"
  QLineEdit *Edit3;      // edit of UpDnX2
  CropSpinBox *UpDnX2;   // right amount, 0..100 step 2
  QLabel *Image1;        // the frame with the guides
  QPushButton *BitBtn2;  // one frame back
  TickSlider *TrackBar1; // frame position
  QPushButton *BitBtn4;  // one frame forward
  QPushButton *FindBtn;  // "Find crop"
  QPushButton *BitBtn3;  // "Cancel"
  QPushButton *OkeyBtn;  // "OKey"

public slots:
  // Activation: captions, size, picture, amounts, the opening questions and
  // the slider. RunCropDialog calls it once the dialog is shown.
  void FormActivate();
  // Redraws the picture with the guides and labels of the current amounts.
  void ShowCroping();

  void UpDnX1Click();
  void Button1Click();
  void FindBtnClick();
  void BitBtn2Click();
  void BitBtn4Click();
  void TrackBar1Change(int position);
  void OkeyBtnClick();
  void BitBtn3Click();

  // Where the dialog's questions go (the main window's dialogs); without it,
  // a message box of its own.
  void setDialogs(UserDialogs *dialogs) { dialogs_ = dialogs; }

protected:
  // A question captioned "Warning" with OK and Cancel; true for OK.
  virtual bool AskOkCancel(const QString &text);

private:
  void BuildLayout();
  void SetCaptions();
  void FitToFrame();

  UserDialogs *dialogs_ = nullptr;
  void CopyPicture();
  void SetAmounts(const CropAmounts &amounts);
  void ShowSliderPosition(int position);

  SharedState &state_;
  FramePreview &preview_;
  RgbImage frame_; // the main window's picture, width x height, without guides
  QImage picture_;
};

} // namespace reelwork
