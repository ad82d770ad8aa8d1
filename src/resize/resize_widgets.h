#pragma once
// Pieces shared by the resize windows: a spin bound to a text field, a radio
// group with an item index, the stretched preview picture, and the lower half
// that the three resize dialogs have in common (frame slider, frame buttons,
// picture, OK and Cancel, the X and Y fields with their spins).

#include <QDialog>
#include <QGroupBox>
#include <QImage>
#include <QStringList>
#include <functional>

#include "app/shared_state.h"
#include "tools/workbench.h"

class QButtonGroup;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QToolButton;

namespace reelwork {

class TickSlider;

namespace resize {

// A pair of arrow buttons with its own position in [min, max]. A click moves
// the position by the increment (no wrap); when it moved, the bound field (if
// any) takes the new position as text and `Click` is emitted. Setting the
// position from code keeps it in range and leaves the field's text alone.
class UpDown : public QWidget {
  Q_OBJECT
public:
  UpDown(int min, int max, int increment, int position, QLineEdit *associate, QWidget *parent = nullptr);

  int position() const { return position_; }
  void setPosition(int position);
  // The user pressed an arrow.
  void step(bool up);

  QToolButton *upButton;
  QToolButton *downButton;

signals:
  void Click(bool up);

private:
  int min_, max_, increment_, position_;
  QLineEdit *associate_;
};

// Radio buttons in columns with one selected index (-1 for none). `Click` is
// emitted when the user selects an item.
class RadioGroup : public QGroupBox {
  Q_OBJECT
public:
  RadioGroup(const QStringList &items, int columns, QWidget *parent = nullptr);

  int itemIndex() const;
  // Above the last item selects the last one; below 0 selects none.
  void setItemIndex(int index);
  void setItemText(int index, const QString &text);
  QString itemText(int index) const;
  QRadioButton *button(int index) const;
  int count() const { return static_cast<int>(buttons_.size()); }

signals:
  void Click();

private:
  QButtonGroup *group_;
  QList<QRadioButton *> buttons_;
};

// A picture stretched over the whole widget.
class StretchedImage : public QWidget {
public:
  explicit StretchedImage(QWidget *parent = nullptr);
  void setPicture(const RgbImage &picture);
  const QImage &picture() const { return picture_; }

protected:
  void paintEvent(QPaintEvent *event) override;

private:
  QImage picture_;
};

// Thrown by a field reading that failed, after its message was shown; the
// handler that ran stops there and the dialog stays open.
struct ConversionStop {};

// The lower half common to the three resize dialogs.
class ResizeDialogBase : public QDialog {
  Q_OBJECT
public:
  struct SpinRanges {
    int xMin, xMax, yMin, yMax;
  };
  ResizeDialogBase(SharedState &state, FramePreview &preview, SpinRanges ranges, QWidget *parent);

  // Shows a conversion message; the default is a message box. Tests replace it.
  std::function<void(const QString &)> showError;

  QLineEdit *Edit1;  // output width X
  QLineEdit *Edit2;  // output height Y
  QLineEdit *Edit3;  // output ratio X/Y
  UpDown *UpDown1;   // X in steps of 32
  UpDown *UpDown2;   // Y in steps of 16
  QLabel *Label1;    // "X="
  QLabel *Label2;    // "Y="
  QLabel *Label9;    // heading over X and Y
  QLabel *Label4;    // heading over Edit3
  QPushButton *BitBtn1; // "Okey"
  QPushButton *BitBtn2; // "Cancel"
  QPushButton *BitBtn3; // one frame back
  QPushButton *BitBtn4; // one frame forward
  TickSlider *TrackBar1; // frame position
  StretchedImage *Image1; // the current frame at X by Y
  QScrollArea *PreviewArea; // holds Image1; scrolls only when the screen is too small for it
  QLabel *ScrollNote;       // says that the picture scrolls

  // The modal result of Cancel, the Escape key and the close box.
  static constexpr int kCancel = 2;
  void reject() override { done(kCancel); }

  // Runs on every showing.
  virtual void FormActivate() = 0;
  // The slider, the frame buttons and OK.
  void TrackBar1Change(int position);
  void BitBtn3Click();
  void BitBtn4Click();
  void BitBtn1Click();
  // Slider range, position and ten-minute ticks, without moving the main window.
  void SetFrameTicks();
  // Sizes the picture to X by Y, fits the window to the screen (the picture
  // scrolls when it must, and the note says so), places it and copies the frame.
  void FitPreview();

  // Runs a handler's steps, stopping quietly after a failed conversion.
  void Guard(const std::function<void()> &steps);

protected:
  // Reads a field as an integer or stops the handler with the message.
  int ReadInt(const QLineEdit *edit);
  // Stops the handler with `message`.
  [[noreturn]] void Stop(const QString &message);
  void CopyPicture();
  // Where each dialog puts its own controls, above the picture.
  QHBoxLayout *upperPanel() const { return upper_; }
  // The X and Y fields with their spins and headings, as a block.
  QWidget *sizeBlock() const { return sizeBlock_; }
  QWidget *buttonBlock() const { return buttonBlock_; }
  void showEvent(QShowEvent *event) override;
  // The arrow keys in the X and Y fields step their spins.
  bool eventFilter(QObject *watched, QEvent *event) override;

  SharedState &state_;
  FramePreview &preview_;

private:
  QHBoxLayout *upper_;
  QWidget *sizeBlock_;
  QWidget *buttonBlock_;
};

} // namespace resize
} // namespace reelwork
