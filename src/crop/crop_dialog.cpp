#include "crop/crop_dialog.h"

#include "app/glyphs.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>

#include "app/language.h"
#include "preview/frame_source.h"
#include "preview/tick_slider.h"

namespace reelwork {

namespace {

constexpr int kCancelResult = 3;

QImage ToImage(const RgbImage &picture) {
  if (picture.width <= 0 || picture.height <= 0)
    return {};
  return QImage(picture.pixels.data(), picture.width, picture.height, picture.width * 3, QImage::Format_RGB888)
      .copy();
}

// `source` on a black width x height canvas, cut where it is larger.
RgbImage OnCanvas(const RgbImage &source, int width, int height) {
  RgbImage canvas;
  canvas.resize(std::max(width, 0), std::max(height, 0));
  if (source.width <= 0)
    return canvas;
  const size_t sourceRows = source.pixels.size() / (static_cast<size_t>(source.width) * 3);
  const int rows = std::min<int>(canvas.height, static_cast<int>(std::min<size_t>(sourceRows, source.height)));
  const int columns = std::min(canvas.width, source.width);
  for (int y = 0; y < rows; ++y)
    std::memcpy(canvas.at(0, y), source.at(0, y), static_cast<size_t>(columns) * 3);
  return canvas;
}

CropSpinBox *MakeSpin(QWidget *parent, const char *name, int maximum) {
  auto *spin = new CropSpinBox(parent);
  spin->setObjectName(name);
  spin->setRange(0, maximum);
  spin->setSingleStep(2);
  spin->setValue(0);
  spin->setFixedWidth(64);
  return spin;
}

QLineEdit *NameEdit(CropSpinBox *spin, const char *name) {
  QLineEdit *edit = spin->edit();
  edit->setObjectName(name);
  return edit;
}

QLabel *MakeLabel(QWidget *parent, const char *name, const char *text) {
  auto *label = new QLabel(text, parent);
  label->setObjectName(name);
  return label;
}

QPushButton *MakeButton(QWidget *parent, const char *name, const QString &text, Glyph glyph) {
  auto *button = new QPushButton(text, parent);
  button->setObjectName(name);
  SetGlyph(button, glyph);
  button->setAutoDefault(false);
  return button;
}

} // namespace

void CropSpinBox::stepBy(int steps) {
  QSpinBox::stepBy(steps);
  emit stepped();
}

TForm4::TForm4(SharedState &state, FramePreview &preview, QWidget *parent)
    : QDialog(parent), state_(state), preview_(preview) {
  setObjectName("Form4");
  BuildLayout();
  SetCaptions();
}

void TForm4::BuildLayout() {
  auto *outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(2);
  // The dialog takes the size its frame picture asks for and keeps it.
  outer->setSizeConstraint(QLayout::SetFixedSize);

  auto *top = new QHBoxLayout;
  top->setContentsMargins(4, 4, 4, 0);
  Button1 = MakeButton(this, "Button1", "Reset to 0", Glyph::Reset);
  Label3 = MakeLabel(this, "Label3", "Y1");
  UpDnY1 = MakeSpin(this, "UpDnY1", 200);
  Edit1 = NameEdit(UpDnY1, "Edit1");
  Label4 = MakeLabel(this, "Label4", "Y2");
  UpDnY2 = MakeSpin(this, "UpDnY2", 200);
  Edit4 = NameEdit(UpDnY2, "Edit4");
  top->addWidget(Button1);
  top->addSpacing(16);
  top->addWidget(Label3);
  top->addWidget(UpDnY1);
  top->addSpacing(16);
  top->addWidget(Label4);
  top->addWidget(UpDnY2);
  top->addStretch(1);
  outer->addLayout(top);

  auto *middle = new QHBoxLayout;
  middle->setContentsMargins(0, 0, 0, 0);
  middle->setSpacing(0);
  auto *column = new QWidget(this);
  column->setObjectName("LeftColumn");
  column->setFixedWidth(80);
  auto *columnLayout = new QVBoxLayout(column);
  columnLayout->setContentsMargins(4, 4, 4, 4);
  Label1 = MakeLabel(column, "Label1", "X1");
  UpDnX1 = MakeSpin(column, "UpDnX1", 100);
  Edit2 = NameEdit(UpDnX1, "Edit2");
  Label2 = MakeLabel(column, "Label2", "X2");
  UpDnX2 = MakeSpin(column, "UpDnX2", 100);
  Edit3 = NameEdit(UpDnX2, "Edit3");
  columnLayout->addWidget(Label1);
  columnLayout->addWidget(UpDnX1);
  columnLayout->addSpacing(12);
  columnLayout->addWidget(Label2);
  columnLayout->addWidget(UpDnX2);
  columnLayout->addStretch(1);
  middle->addWidget(column);
  Image1 = new QLabel(this);
  Image1->setObjectName("Image1");
  Image1->setScaledContents(true);
  Image1->setFixedSize(719 - 80, 422 - 110);
  middle->addWidget(Image1);
  outer->addLayout(middle);

  auto *slider = new QHBoxLayout;
  slider->setContentsMargins(4, 0, 4, 0);
  BitBtn2 = MakeButton(this, "BitBtn2", QString(), Glyph::Previous);
  TrackBar1 = new TickSlider(this);
  TrackBar1->setObjectName("TrackBar1");
  BitBtn4 = MakeButton(this, "BitBtn4", QString(), Glyph::Next);
  slider->addWidget(BitBtn2);
  slider->addWidget(TrackBar1, 1);
  slider->addWidget(BitBtn4);
  outer->addLayout(slider);

  auto *lowest = new QHBoxLayout;
  lowest->setContentsMargins(4, 0, 4, 4);
  FindBtn = MakeButton(this, "FindBtn", "Find crop", Glyph::Find);
  BitBtn3 = MakeButton(this, "BitBtn3", "Cancel", Glyph::Cancel);
  OkeyBtn = MakeButton(this, "OkeyBtn", "OKey", Glyph::Ok);
  lowest->addWidget(FindBtn);
  lowest->addStretch(1);
  lowest->addWidget(BitBtn3);
  lowest->addWidget(OkeyBtn);
  outer->addLayout(lowest);

  for (CropSpinBox *spin : {UpDnY1, UpDnY2, UpDnX1, UpDnX2})
    connect(spin, &CropSpinBox::stepped, this, &TForm4::UpDnX1Click);
  connect(Button1, &QPushButton::clicked, this, &TForm4::Button1Click);
  connect(FindBtn, &QPushButton::clicked, this, &TForm4::FindBtnClick);
  connect(BitBtn2, &QPushButton::clicked, this, &TForm4::BitBtn2Click);
  connect(BitBtn4, &QPushButton::clicked, this, &TForm4::BitBtn4Click);
  connect(TrackBar1, &QSlider::valueChanged, this, &TForm4::TrackBar1Change);
  connect(OkeyBtn, &QPushButton::clicked, this, &TForm4::OkeyBtnClick);
  connect(BitBtn3, &QPushButton::clicked, this, &TForm4::BitBtn3Click);
}

void TForm4::SetCaptions() {
  const bool russian = state_.Language == Russian;
  setWindowTitle(russian ? QString::fromUtf8("Кропинг") : QString("Croping"));
  Button1->setText(russian ? QString::fromUtf8("Сброс в 0") : QString("Reset to 0"));
  FindBtn->setText(russian ? QString::fromUtf8("Найти  ") : QString("Find crop"));
}

void TForm4::FitToFrame() {
  // Image1 gets exactly the frame's pixels; the dialog grows around it.
  Image1->setFixedSize(std::max(state_.VideoWidth, 1), std::max(state_.VideoHeight, 1));
  layout()->activate();
  adjustSize();
  const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  // The part of the screen that panels leave to windows.
  const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
  const QSize size = frameGeometry().size().expandedTo(this->size());
  const int left = size.width() < area.width() ? (area.width() - size.width()) / 2 : 5;
  const int top = size.height() < area.height() ? (area.height() - size.height()) / 2 : 5;
  move(area.left() + left, area.top() + top);
}

void TForm4::CopyPicture() {
  frame_ = OnCanvas(preview_.ShownPicture(), state_.VideoWidth, state_.VideoHeight);
  picture_ = ToImage(frame_);
  Image1->setPixmap(QPixmap::fromImage(picture_));
}

CropAmounts TForm4::amounts() const {
  // A value typed into an edit counts as its spin button's position.
  for (CropSpinBox *spin : {UpDnX1, UpDnX2, UpDnY1, UpDnY2})
    spin->interpretText();
  return {UpDnX1->value(), UpDnX2->value(), UpDnY1->value(), UpDnY2->value()};
}

void TForm4::SetAmounts(const CropAmounts &amounts) {
  UpDnX1->setValue(amounts.X1);
  UpDnX2->setValue(amounts.X2);
  UpDnY1->setValue(amounts.Y1);
  UpDnY2->setValue(amounts.Y2);
}

int TForm4::RunCropDialog() {
  setResult(0);
  FitToFrame();
  setWindowModality(Qt::ApplicationModal);
  show();
  FormActivate();
  if (isVisible()) {
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::DialogExec);
  }
  return result();
}

bool TForm4::AskOkCancel(const QString &text) {
  if (dialogs_)
    return dialogs_->askOkCancel(text);
  QMessageBox box(QMessageBox::Warning, "Warning", text, QMessageBox::Ok | QMessageBox::Cancel, this);
  return box.exec() == QMessageBox::Ok;
}

void TForm4::FormActivate() {
  SetCaptions();
  FitToFrame();
  CopyPicture();
  SetAmounts({state_.CropLeft, state_.CropRight, state_.CropTop, state_.CropBottom});
  const long long sum = static_cast<long long>(state_.CropLeft) + state_.CropRight + state_.CropTop + state_.CropBottom;
  if (sum > 0)
    ShowCroping();

  // Corrections offered for a crop read from the script; an accepted one
  // changes the shared amounts at once, whatever the dialog's end.
  if (state_.CropLeft % 2 != 0 && AskOkCancel(MessageText(26, state_.Language))) {
    state_.CropLeft += 1;
    UpDnX1->setValue(state_.CropLeft);
    ShowCroping();
  }
  if (state_.CropRight % 2 != 0 && AskOkCancel(MessageText(27, state_.Language))) {
    state_.CropRight += 1;
    UpDnX2->setValue(state_.CropRight);
    ShowCroping();
  }
  if (NeedsAlignToFour(state_.CropLeft, state_.CropRight) && AskOkCancel(MessageText(MsgAlignFour, state_.Language))) {
    AlignCropToFour(state_.CropLeft, state_.CropRight);
    UpDnX1->setValue(state_.CropLeft);
    UpDnX2->setValue(state_.CropRight);
    ShowCroping();
  }

  {
    const QSignalBlocker quiet(TrackBar1);
    TrackBar1->setRange(1, std::max(state_.FrameCount, 1));
    TrackBar1->setValue(preview_.TrackBarPosition());
    TrackBar1->setTicks(TenMinuteTicks(state_.FrameCount, state_.FrameRate));
  }
  TrackBar1->setFocus();
}

void TForm4::ShowCroping() {
  const int W = state_.VideoWidth, H = state_.VideoHeight;
  const CropAmounts crop = amounts();
  CopyPicture();
  RgbImage drawn = frame_;
  DrawCropGuides(drawn, W, H, crop);
  picture_ = ToImage(drawn);
  if (!picture_.isNull()) {
    QPainter painter(&picture_);
    QFont bold = font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.setPen(QColor(255, 0, 0));
    auto label = [&](int x, int y, int amount) {
      painter.drawText(QRect(x, y, 200, 40), Qt::AlignLeft | Qt::AlignTop, QString("(%1)").arg(amount));
    };
    label(W / 2 - 10, 5, crop.Y1);
    label(5, H / 2 - 5, crop.X1);
    label(W / 2 - 10, H - 20, crop.Y2);
    // At W - 24 unless the label is wider than that: then it ends 2 pixels
    // inside the picture, closing bracket and all.
    const int x2Width = painter.fontMetrics().horizontalAdvance(QString("(%1)").arg(crop.X2));
    label(std::max(0, std::min(W - 24, W - x2Width - 2)), H / 2 - 5, crop.X2);
  }
  Image1->setPixmap(QPixmap::fromImage(picture_));
  TrackBar1->setFocus();
}

void TForm4::UpDnX1Click() { ShowCroping(); }

void TForm4::Button1Click() {
  SetAmounts({});
  ShowCroping();
}

void TForm4::FindBtnClick() {
  // Detection measures the frame itself, never the guides drawn over it.
  const int balance = CropBalanceFromSetting(state_.settings[Setting::AutoCropBalance].toStdString());
  CropAmounts found = DetectCrop(state_.PreviewBitmap, state_.VideoWidth, state_.VideoHeight, balance);
  SetAmounts(found);
  if (NeedsAlignToFour(found.X1, found.X2)) {
    const bool fix = state_.settings[Setting::HorizontalCrop] != "0" ||
                     AskOkCancel(MessageText(MsgAlignFour, state_.Language));
    if (fix) {
      AlignCropToFour(found.X1, found.X2);
      UpDnX1->setValue(found.X1);
      UpDnX2->setValue(found.X2);
    }
  }
  ShowCroping();
}

void TForm4::ShowSliderPosition(int position) {
  const QSignalBlocker quiet(TrackBar1);
  TrackBar1->setValue(position);
}

void TForm4::BitBtn2Click() {
  if (state_.CurrentFrame < 2)
    return;
  state_.CurrentFrame -= 1;
  preview_.SetTrackBarPosition(state_.CurrentFrame);
  ShowSliderPosition(state_.CurrentFrame);
  ShowCroping();
}

void TForm4::BitBtn4Click() {
  if (state_.CurrentFrame >= state_.FrameCount)
    return;
  state_.CurrentFrame += 1;
  preview_.SetTrackBarPosition(state_.CurrentFrame);
  ShowSliderPosition(state_.CurrentFrame);
  ShowCroping();
}

void TForm4::TrackBar1Change(int position) {
  preview_.SetTrackBarPosition(position);
  ShowCroping();
}

void TForm4::OkeyBtnClick() {
  const CropAmounts crop = amounts();
  state_.CropLeft = crop.X1;
  state_.CropRight = crop.X2;
  state_.CropTop = crop.Y1;
  state_.CropBottom = crop.Y2;
  done(1);
}

void TForm4::BitBtn3Click() { done(kCancelResult); }

} // namespace reelwork
