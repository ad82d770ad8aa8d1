#include "resize/resize_widgets.h"

#include "app/glyphs.h"

#include <QButtonGroup>
#include <QCursor>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "preview/frame_source.h"
#include "preview/tick_slider.h"
#include "resize/resize_math.h"
#include "resize/resize_texts.h"

namespace reelwork::resize {

// ---- UpDown

UpDown::UpDown(int min, int max, int increment, int position, QLineEdit *associate, QWidget *parent)
    : QWidget(parent), min_(min), max_(max), increment_(increment), position_(position), associate_(associate) {
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  upButton = new QToolButton(this);
  upButton->setArrowType(Qt::UpArrow);
  downButton = new QToolButton(this);
  downButton->setArrowType(Qt::DownArrow);
  for (auto *b : {upButton, downButton}) {
    b->setFixedSize(16, 11);
    b->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(b);
  }
  connect(upButton, &QToolButton::clicked, this, [this] { step(true); });
  connect(downButton, &QToolButton::clicked, this, [this] { step(false); });
}

void UpDown::setPosition(int position) { position_ = std::clamp(position, min_, max_); }

void UpDown::step(bool up) {
  const long long moved = static_cast<long long>(position_) + (up ? increment_ : -increment_);
  const int next = static_cast<int>(std::clamp<long long>(moved, min_, max_));
  if (next == position_)
    return;
  position_ = next;
  if (associate_)
    associate_->setText(QString::number(position_));
  emit Click(up);
}

// ---- RadioGroup

RadioGroup::RadioGroup(const QStringList &items, int columns, QWidget *parent) : QGroupBox(parent) {
  auto *grid = new QGridLayout(this);
  grid->setContentsMargins(6, 4, 6, 4);
  group_ = new QButtonGroup(this);
  for (int i = 0; i < items.size(); ++i) {
    auto *b = new QRadioButton(items[i], this);
    buttons_.append(b);
    group_->addButton(b, i);
    grid->addWidget(b, i / columns, i % columns);
  }
  connect(group_, &QButtonGroup::buttonClicked, this, [this] { emit Click(); });
}

int RadioGroup::itemIndex() const { return group_->checkedId(); }

void RadioGroup::setItemIndex(int index) {
  index = std::min(index, count() - 1);
  if (index < 0) {
    group_->setExclusive(false);
    for (auto *b : buttons_)
      b->setChecked(false);
    group_->setExclusive(true);
    return;
  }
  buttons_[index]->setChecked(true);
}

void RadioGroup::setItemText(int index, const QString &text) { buttons_.value(index)->setText(text); }
QString RadioGroup::itemText(int index) const { return buttons_.value(index)->text(); }
QRadioButton *RadioGroup::button(int index) const { return buttons_.value(index); }

// ---- StretchedImage

StretchedImage::StretchedImage(QWidget *parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void StretchedImage::setPicture(const RgbImage &picture) {
  if (picture.width <= 0 || picture.height <= 0 ||
      picture.pixels.size() < static_cast<size_t>(picture.width) * picture.height * 3) {
    picture_ = QImage();
  } else {
    picture_ = QImage(picture.pixels.data(), picture.width, picture.height, picture.width * 3,
                      QImage::Format_RGB888)
                   .copy();
  }
  update();
}

void StretchedImage::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  if (picture_.isNull())
    painter.fillRect(rect(), Qt::black);
  else
    painter.drawImage(rect(), picture_);
}

// ---- ResizeDialogBase

namespace {
// The largest picture size the preview is fitted to; larger typed sizes are
// shown at this size so that the window stays within reason.
constexpr int kLargestPreview = 4096;
} // namespace

ResizeDialogBase::ResizeDialogBase(SharedState &state, FramePreview &preview, SpinRanges ranges, QWidget *parent)
    : QDialog(parent), state_(state), preview_(preview) {
  showError = [this](const QString &text) { QMessageBox::critical(this, windowTitle(), text); };

  Edit1 = new QLineEdit("640", this);
  Edit1->setObjectName("Edit1");
  Edit2 = new QLineEdit("480", this);
  Edit2->setObjectName("Edit2");
  Edit3 = new QLineEdit(this);
  Edit3->setObjectName("Edit3");
  for (auto *e : {Edit1, Edit2, Edit3})
    e->setFixedWidth(e == Edit3 ? 150 : 48);
  UpDown1 = new UpDown(ranges.xMin, ranges.xMax, 32, 640, Edit1, this);
  UpDown1->setObjectName("UpDown1");
  UpDown2 = new UpDown(ranges.yMin, ranges.yMax, 16, 480, Edit2, this);
  UpDown2->setObjectName("UpDown2");
  Label1 = new QLabel("X=", this);
  Label2 = new QLabel("Y=", this);
  Label9 = new QLabel(this);
  Label9->setObjectName("Label9");
  Label4 = new QLabel(this);
  Label4->setObjectName("Label4");
  for (auto *l : {Label9, Label4}) {
    QFont f = l->font();
    f.setUnderline(true);
    l->setFont(f);
  }

  sizeBlock_ = new QWidget(this);
  auto *sizeGrid = new QGridLayout(sizeBlock_);
  sizeGrid->setContentsMargins(0, 0, 0, 0);
  sizeGrid->addWidget(Label9, 0, 0, 1, 3);
  sizeGrid->addWidget(Label1, 1, 0);
  sizeGrid->addWidget(Edit1, 1, 1);
  sizeGrid->addWidget(UpDown1, 1, 2);
  sizeGrid->addWidget(Label2, 2, 0);
  sizeGrid->addWidget(Edit2, 2, 1);
  sizeGrid->addWidget(UpDown2, 2, 2);
  sizeGrid->addWidget(Label4, 3, 0, 1, 3);
  sizeGrid->addWidget(Edit3, 4, 0, 1, 3);

  BitBtn1 = new QPushButton("Okey", this);
  BitBtn1->setObjectName("BitBtn1");
  SetGlyph(BitBtn1, Glyph::Ok);
  BitBtn2 = new QPushButton("Cancel", this);
  BitBtn2->setObjectName("BitBtn2");
  SetGlyph(BitBtn2, Glyph::Cancel);
  BitBtn1->setAutoDefault(false);
  BitBtn2->setAutoDefault(false);
  buttonBlock_ = new QWidget(this);
  auto *buttons = new QVBoxLayout(buttonBlock_);
  buttons->setContentsMargins(0, 0, 0, 0);
  buttons->addWidget(BitBtn1);
  buttons->addWidget(BitBtn2);
  buttons->addStretch();

  BitBtn3 = new QPushButton("<", this);
  BitBtn3->setObjectName("BitBtn3");
  BitBtn4 = new QPushButton(">", this);
  BitBtn4->setObjectName("BitBtn4");
  for (auto *b : {BitBtn3, BitBtn4}) {
    b->setFixedWidth(24);
    b->setAutoDefault(false);
  }
  TrackBar1 = new TickSlider(this);
  TrackBar1->setObjectName("TrackBar1");
  Image1 = new StretchedImage(this);
  Image1->setObjectName("Image1");
  Image1->setFixedSize(640, 480);
  PreviewArea = new QScrollArea(this);
  PreviewArea->setObjectName("PreviewArea");
  PreviewArea->setFrameShape(QFrame::NoFrame);
  PreviewArea->setWidgetResizable(false);
  PreviewArea->setAlignment(Qt::AlignCenter);
  PreviewArea->setWidget(Image1);
  PreviewArea->setFixedSize(Image1->size());
  ScrollNote = new QLabel(this);
  ScrollNote->setObjectName("ScrollNote");
  ScrollNote->setVisible(false);

  auto *layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize); // the window follows the picture's size
  upper_ = new QHBoxLayout;
  layout->addLayout(upper_);
  layout->addWidget(PreviewArea, 0, Qt::AlignHCenter);
  layout->addWidget(ScrollNote, 0, Qt::AlignHCenter);
  auto *slider = new QHBoxLayout;
  slider->addWidget(BitBtn3);
  slider->addWidget(TrackBar1, 1);
  slider->addWidget(BitBtn4);
  layout->addLayout(slider);

  connect(TrackBar1, &QSlider::valueChanged, this, [this](int position) { TrackBar1Change(position); });
  connect(BitBtn3, &QPushButton::clicked, this, [this] { BitBtn3Click(); });
  connect(BitBtn4, &QPushButton::clicked, this, [this] { BitBtn4Click(); });
  connect(BitBtn1, &QPushButton::clicked, this, [this] { Guard([this] { BitBtn1Click(); }); });
  connect(BitBtn2, &QPushButton::clicked, this, [this] { done(kCancel); });
  Edit1->installEventFilter(this);
  Edit2->installEventFilter(this);
}

bool ResizeDialogBase::eventFilter(QObject *watched, QEvent *event) {
  if ((watched == Edit1 || watched == Edit2) && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent *>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
      (watched == Edit1 ? UpDown1 : UpDown2)->step(key == Qt::Key_Up);
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void ResizeDialogBase::Guard(const std::function<void()> &steps) {
  try {
    steps();
  } catch (const ConversionStop &) {
  }
}

void ResizeDialogBase::Stop(const QString &message) {
  if (showError)
    showError(message);
  throw ConversionStop{};
}

int ResizeDialogBase::ReadInt(const QLineEdit *edit) {
  int value = 0;
  if (!TextToInt(edit->text(), value))
    Stop(NotIntegerMessage(edit->text()));
  return value;
}

void ResizeDialogBase::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  Guard([this] { FormActivate(); });
}

void ResizeDialogBase::SetFrameTicks() {
  {
    const QSignalBlocker block(TrackBar1);
    TrackBar1->setRange(1, std::max(1, state_.FrameCount));
    TrackBar1->setValue(state_.CurrentFrame);
  }
  TrackBar1->setTicks(TenMinuteTicks(state_.FrameCount, state_.FrameRate));
}

void ResizeDialogBase::CopyPicture() { Image1->setPicture(preview_.ShownPicture()); }

void ResizeDialogBase::FitPreview() {
  const int x = ReadInt(Edit1);
  const int y = ReadInt(Edit2);
  const QPoint before = pos();
  const QSize picture(std::clamp(x, 0, kLargestPreview), std::clamp(y, 0, kLargestPreview));
  Image1->setFixedSize(picture);
  const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->availableGeometry() : QRect();
  // The window around the picture: whatever it needs beside the picture area.
  auto refit = [this](QSize viewport) {
    PreviewArea->setFixedSize(viewport);
    if (layout())
      layout()->activate();
    return frameGeometry().size().expandedTo(size()) - viewport;
  };
  ScrollNote->setVisible(false);
  QSize around = refit(picture);
  if (area.isValid() && (around + picture).boundedTo(area.size()) != around + picture) {
    ScrollNote->setText(PreviewScrollNote(state_.Language));
    ScrollNote->setVisible(true);
    around = refit(picture);
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, PreviewArea);
    refit(PreviewViewport(picture, area.size() - around, bar));
  }
  if (area.isValid()) {
    move(FittedWindowPosition(area, frameGeometry().size().expandedTo(size())));
    // The pointer moves with the window, so it stays over the control in use.
    if (isVisible())
      QCursor::setPos(QCursor::pos() + (pos() - before));
  }
  CopyPicture();
}

void ResizeDialogBase::TrackBar1Change(int position) {
  preview_.SetTrackBarPosition(position);
  CopyPicture();
  TrackBar1->setFocus();
}

void ResizeDialogBase::BitBtn3Click() {
  if (state_.CurrentFrame < 2)
    return;
  state_.CurrentFrame -= 1;
  preview_.SetTrackBarPosition(state_.CurrentFrame);
  CopyPicture();
  TrackBar1->setFocus();
}

void ResizeDialogBase::BitBtn4Click() {
  if (state_.CurrentFrame >= state_.FrameCount)
    return;
  state_.CurrentFrame += 1;
  preview_.SetTrackBarPosition(state_.CurrentFrame);
  CopyPicture();
  TrackBar1->setFocus();
}

void ResizeDialogBase::BitBtn1Click() {
  const int width = ReadInt(Edit1);
  const int height = ReadInt(Edit2);
  state_.NewWidth = width;
  state_.NewHeight = height;
  done(1);
}

} // namespace reelwork::resize
