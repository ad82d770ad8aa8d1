#include "resize/resize_dialogs.h"

#include <QGuiApplication>
#include <QScreen>

#include "app/glyphs.h"

#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "preview/tick_slider.h"
#include "resize/resize_math.h"
#include "resize/resize_texts.h"

namespace reelwork {

using namespace resize;

namespace {

QLabel *Heading(QWidget *parent, const char *name, bool underlined = true) {
  auto *label = new QLabel(parent);
  label->setObjectName(name);
  if (underlined) {
    QFont f = label->font();
    f.setUnderline(true);
    label->setFont(f);
  }
  return label;
}

QPushButton *SmallButton(QWidget *parent, const char *name, const char *text) {
  auto *b = new QPushButton(text, parent);
  b->setObjectName(name);
  b->setFixedSize(22, 20);
  b->setAutoDefault(false);
  return b;
}

QLineEdit *Field(QWidget *parent, const char *name, const char *text, int width) {
  auto *e = new QLineEdit(text, parent);
  e->setObjectName(name);
  e->setFixedWidth(width);
  return e;
}

// Leaving a field for another control of the same window (not a window switch).
bool IsFieldExit(QEvent *event) {
  if (event->type() != QEvent::FocusOut)
    return false;
  const auto reason = static_cast<QFocusEvent *>(event)->reason();
  return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

void ShowError(QLineEdit *edit, const RatioDisplay &shown) {
  QPalette palette = edit->palette();
  palette.setColor(QPalette::Text, shown.red ? QColor(255, 0, 0) : QColor(0, 0, 0));
  edit->setPalette(palette);
  edit->setText(shown.error);
}

} // namespace

// ---- TForm8: the resize-type chooser

TForm8::TForm8(SharedState &state, QWidget *parent) : QDialog(parent), state_(state) {
  setWindowTitle("Resize");
  resize(384, 315);
  showError = [this](const QString &text) { QMessageBox::critical(this, windowTitle(), text); };

  TypeGroup = new RadioGroup({"Auto", "Exact", "Manual"}, 3, this);
  TypeGroup->setObjectName("TypeGroup");
  TypeGroup->setItemIndex(0);
  TextMemo = new QPlainTextEdit(this);
  TextMemo->setObjectName("TextMemo");
  TextMemo->setReadOnly(true);
  TextMemo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  BitBtn1 = new QPushButton("Okey", this);
  BitBtn1->setObjectName("BitBtn1");
  SetGlyph(BitBtn1, Glyph::Ok);
  BitBtn2 = new QPushButton("Cancel", this);
  BitBtn2->setObjectName("BitBtn2");
  SetGlyph(BitBtn2, Glyph::Cancel);

  auto *layout = new QVBoxLayout(this);
  layout->addWidget(TypeGroup);
  layout->addWidget(TextMemo, 1);
  auto *buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(BitBtn1);
  buttons->addWidget(BitBtn2);
  layout->addLayout(buttons);

  connect(TypeGroup, &RadioGroup::Click, this, [this] { TypeGroupClick(); });
  connect(BitBtn1, &QPushButton::clicked, this, [this] { done(1); });
  connect(BitBtn2, &QPushButton::clicked, this, [this] { done(kCancel); });
}

void TForm8::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  // Centred on the screen, not over the main window.
  if (const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen())
    move(FittedWindowPosition(screen->availableGeometry(), frameGeometry().size().expandedTo(size())));
  FormActivate();
}

void TForm8::FormActivate() {
  setWindowTitle(ChooserCaption(state_.Language));
  const QStringList items = ChooserItems(state_.Language);
  for (int i = 0; i < items.size(); ++i)
    TypeGroup->setItemText(i, items[i]);
  const QString setting = state_.settings[Setting::ResizeMethod];
  int type = 0;
  if (!TextToInt(setting, type)) {
    if (showError)
      showError(NotIntegerMessage(setting));
    return;
  }
  TypeGroup->setItemIndex(ChooserItemFor(type));
  FillMemo();
}

void TForm8::TypeGroupClick() { FillMemo(); }

int TForm8::SelectedType() const { return TypeGroup->itemIndex(); }

void TForm8::FillMemo() {
  TextMemo->clear();
  const QStringList lines = ChooserExplanation(state_.Language, TypeGroup->itemIndex());
  if (!lines.isEmpty())
    TextMemo->setPlainText(lines.join('\n'));
}

// ---- TForm6: automatic resize

TForm6::TForm6(SharedState &state, FramePreview &preview, QWidget *parent)
    : ResizeDialogBase(state, preview, {480, 704, 192, 528}, parent) {
  setWindowTitle("Auto Resize");

  Label5 = Heading(this, "Label5");
  RadioGroup1 = new RadioGroup({"PAL", "NTSC"}, 1, this);
  RadioGroup1->setObjectName("RadioGroup1");
  RadioGroup1->setItemIndex(0);
  Label6 = Heading(this, "Label6");
  AspectGroup = new RadioGroup({"1.33", "1.66", "1.77", "1.85", "2.35", "User"}, 3, this);
  AspectGroup->setObjectName("AspectGroup");
  AspectGroup->setItemIndex(0);

  Label7 = Heading(this, "Label7");
  Edit7 = Field(this, "Edit7", "1", 28);
  Label8 = new QLabel(".", this);
  Label8->setObjectName("Label8");
  QFont big = Label8->font();
  big.setPointSize(big.pointSize() * 2);
  big.setBold(true);
  Label8->setFont(big);
  Edit5 = Field(this, "Edit5", "85", 36);
  Button2 = SmallButton(this, "Button2", "+");
  Button3 = SmallButton(this, "Button3", "-");
  Button4 = SmallButton(this, "Button4", "+");
  Button5 = SmallButton(this, "Button5", "-");
  auto *user = new QWidget(this);
  auto *userGrid = new QGridLayout(user);
  userGrid->setContentsMargins(0, 0, 0, 0);
  userGrid->addWidget(Label7, 0, 0, 1, 3);
  userGrid->addWidget(Button2, 1, 0, Qt::AlignHCenter);
  userGrid->addWidget(Button4, 1, 2, Qt::AlignHCenter);
  userGrid->addWidget(Edit7, 2, 0);
  userGrid->addWidget(Label8, 2, 1);
  userGrid->addWidget(Edit5, 2, 2);
  userGrid->addWidget(Button3, 3, 0, Qt::AlignHCenter);
  userGrid->addWidget(Button5, 3, 2, Qt::AlignHCenter);

  Label3 = Heading(this, "Label3", false);
  Edit4 = Field(this, "Edit4", "", 150);
  CalcBtn = new QPushButton("Calc Y  ", this);
  CalcBtn->setObjectName("CalcBtn");
  SetGlyph(CalcBtn, Glyph::Calculate);
  CalcBtn->setAutoDefault(false);

  auto *source = new QVBoxLayout;
  source->addWidget(Label5);
  source->addWidget(RadioGroup1);
  source->addStretch();
  auto *aspect = new QVBoxLayout;
  aspect->addWidget(Label6);
  aspect->addWidget(AspectGroup);
  aspect->addStretch();
  auto *result = new QVBoxLayout;
  result->addWidget(sizeBlock());
  result->addWidget(Label3);
  result->addWidget(Edit4);
  result->addWidget(CalcBtn);
  result->addStretch();
  upperPanel()->addLayout(source);
  upperPanel()->addLayout(aspect);
  upperPanel()->addWidget(user, 0, Qt::AlignTop);
  upperPanel()->addLayout(result);
  upperPanel()->addWidget(buttonBlock());

  auto guarded = [this](void (TForm6::*handler)()) { return [this, handler] { Guard([&] { (this->*handler)(); }); }; };
  connect(RadioGroup1, &RadioGroup::Click, this, guarded(&TForm6::RadioGroup1Click));
  connect(AspectGroup, &RadioGroup::Click, this, guarded(&TForm6::AspectGroupClick));
  connect(CalcBtn, &QPushButton::clicked, this, guarded(&TForm6::CalcBtnClick));
  connect(Button2, &QPushButton::clicked, this, guarded(&TForm6::Button2Click));
  connect(Button3, &QPushButton::clicked, this, guarded(&TForm6::Button3Click));
  connect(Button4, &QPushButton::clicked, this, guarded(&TForm6::Button4Click));
  connect(Button5, &QPushButton::clicked, this, guarded(&TForm6::Button5Click));
  connect(UpDown1, &UpDown::Click, this, guarded(&TForm6::UpDown1Click));
  connect(UpDown2, &UpDown::Click, this, guarded(&TForm6::UpDown1Click));
}

bool TForm6::eventFilter(QObject *watched, QEvent *event) {
  if ((watched == Edit1 || watched == Edit2) && IsFieldExit(event))
    Guard([this] { Edit1Exit(); });
  return ResizeDialogBase::eventFilter(watched, event);
}

void TForm6::FormActivate() {
  const AutoTexts t = AutoResizeTexts(state_.Language);
  setWindowTitle(t.caption);
  Label5->setText(t.sourceType);
  Label6->setText(t.inputAspect);
  Label7->setText(t.userAspect);
  Label9->setText(t.outputSize);
  Label4->setText(t.outputRatio);
  AspectGroup->setItemText(5, t.userItem);
  Label3->setText(t.error);
  CalcBtn->setText(t.calc);

  SetFrameTicks();

  if (state_.SourceWidth != 0) {
    RadioGroup1->setItemIndex(state_.SourceHeight == 576 ? 0 : 1);
    if (state_.AspectCode == 2)
      AspectGroup->setItemIndex(0);
    else if (state_.AspectCode == 3)
      AspectGroup->setItemIndex(3);
  }

  if (state_.OldWidth != 0 && state_.OldHeight != 0 && state_.OldWidth % 32 == 0 && state_.OldHeight % 16 == 0) {
    Edit1->setText(QString::number(state_.OldWidth));
    Edit2->setText(QString::number(state_.OldHeight));
  } else {
    ChooseAutoWidth();
  }
  ShowRatio();
  FitPreview();
  TrackBar1->setFocus();
}

std::optional<float> TForm6::IdealHeight(int x) {
  const SourceSize source = SourceSizeOf(RadioGroup1->itemIndex());
  float aspect = AspectValueOf(AspectGroup->itemIndex());
  if (aspect == 0.0f) {
    const QString text = Edit7->text() + "." + Edit5->text();
    double value = 0;
    if (!TextToFloat(text, value))
      Stop(NotFloatMessage(text));
    aspect = static_cast<float>(value);
  }
  const CropAmounts crop{state_.CropLeft, state_.CropTop, state_.CropRight, state_.CropBottom};
  return SourceIdealHeight(x, source.width, source.height, aspect, crop);
}

void TForm6::ChooseAutoWidth() {
  const AutoSize size = resize::ChooseAutoWidth([this](int x) { return IdealHeight(x); },
                                                state_.settings[Setting::ResizeWidth],
                                                state_.settings[Setting::GoodQuality], state_.FrameCount,
                                                state_.FrameRate);
  Edit1->setText(QString::number(size.width));
  if (size.height)
    Edit2->setText(QString::number(*size.height));
}

void TForm6::CalcHeight() {
  const int x = ReadInt(Edit1);
  if (const auto y = resize::CalcHeight([this](int w) { return IdealHeight(w); }, x))
    Edit2->setText(QString::number(*y));
}

void TForm6::ShowRatio() {
  const int x = ReadInt(Edit1);
  const int y = ReadInt(Edit2);
  UpDown1->setPosition(x);
  UpDown2->setPosition(y);
  Edit3->setText(RatioFor(x, y, std::nullopt).ratio);
  const RatioDisplay shown = RatioFor(x, y, IdealHeight(x));
  ShowError(Edit4, shown);
}

void TForm6::RadioGroup1Click() {
  ChooseAutoWidth();
  ShowRatio();
  FitPreview();
}

void TForm6::AspectGroupClick() { CalcBtnClick(); }

void TForm6::CalcBtnClick() {
  CalcHeight();
  ShowRatio();
  FitPreview();
}

void TForm6::Button2Click() {
  Edit7->setText("2");
  CalcBtnClick();
}

void TForm6::Button3Click() {
  Edit7->setText("1");
  CalcBtnClick();
}

void TForm6::Button4Click() {
  const long long digits = ReadInt(Edit5);
  Edit5->setText(QString::number(digits + 1));
  CalcBtnClick();
}

void TForm6::Button5Click() {
  const int digits = ReadInt(Edit5);
  if (digits > 0)
    Edit5->setText(QString::number(digits - 1));
  CalcBtnClick();
}

void TForm6::UpDown1Click() {
  ShowRatio();
  FitPreview();
}

void TForm6::Edit1Exit() { UpDown1Click(); }

// ---- TForm9: exact resize

TForm9::TForm9(SharedState &state, FramePreview &preview, QWidget *parent)
    : ResizeDialogBase(state, preview, {480, 704, 192, 528}, parent) {
  setWindowTitle("Exact Resize");

  Label7 = Heading(this, "Label7");
  Label3 = new QLabel("X=", this);
  Label3->setObjectName("Label3");
  Label5 = new QLabel("Y=", this);
  Label5->setObjectName("Label5");
  Edit7 = Field(this, "Edit7", "720", 48);
  Edit5 = Field(this, "Edit5", "576", 48);
  Button3 = SmallButton(this, "Button3", "-");
  Button2 = SmallButton(this, "Button2", "+");
  Button5 = SmallButton(this, "Button5", "-");
  Button4 = SmallButton(this, "Button4", "+");
  auto *proportion = new QWidget(this);
  auto *grid = new QGridLayout(proportion);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->addWidget(Label7, 0, 0, 1, 4);
  grid->addWidget(Label3, 1, 0);
  grid->addWidget(Button3, 1, 1);
  grid->addWidget(Edit7, 1, 2);
  grid->addWidget(Button2, 1, 3);
  grid->addWidget(Label5, 2, 0);
  grid->addWidget(Button5, 2, 1);
  grid->addWidget(Edit5, 2, 2);
  grid->addWidget(Button4, 2, 3);

  Label6 = Heading(this, "Label6", false);
  Edit4 = Field(this, "Edit4", "", 150);
  CalcBtn = new QPushButton("Calc Y  ", this);
  CalcBtn->setObjectName("CalcBtn");
  SetGlyph(CalcBtn, Glyph::Calculate);
  CalcBtn->setAutoDefault(false);

  auto *result = new QVBoxLayout;
  result->addWidget(Label6);
  result->addWidget(Edit4);
  result->addWidget(CalcBtn);
  result->addStretch();
  upperPanel()->addWidget(proportion, 0, Qt::AlignTop);
  upperPanel()->addWidget(sizeBlock(), 0, Qt::AlignTop);
  upperPanel()->addLayout(result);
  upperPanel()->addStretch();
  upperPanel()->addWidget(buttonBlock());

  auto guarded = [this](void (TForm9::*handler)()) { return [this, handler] { Guard([&] { (this->*handler)(); }); }; };
  connect(CalcBtn, &QPushButton::clicked, this, guarded(&TForm9::CalcBtnClick));
  connect(Button2, &QPushButton::clicked, this, guarded(&TForm9::Button2Click));
  connect(Button3, &QPushButton::clicked, this, guarded(&TForm9::Button3Click));
  connect(Button4, &QPushButton::clicked, this, guarded(&TForm9::Button4Click));
  connect(Button5, &QPushButton::clicked, this, guarded(&TForm9::Button5Click));
  connect(UpDown1, &UpDown::Click, this, guarded(&TForm9::UpDown1Click));
  connect(UpDown2, &UpDown::Click, this, guarded(&TForm9::UpDown1Click));
  Edit7->installEventFilter(this); // Edit1 and Edit2 are watched already
  Edit5->installEventFilter(this);
}

bool TForm9::eventFilter(QObject *watched, QEvent *event) {
  if ((watched == Edit1 || watched == Edit2 || watched == Edit7 || watched == Edit5) && IsFieldExit(event))
    Guard([this] { Edit1Exit(); });
  return ResizeDialogBase::eventFilter(watched, event);
}

void TForm9::FormActivate() {
  const ExactTexts t = ExactResizeTexts(state_.Language);
  setWindowTitle(t.caption);
  Label7->setText(t.exactAspect);
  Label9->setText(t.outputSize);
  Label4->setText(t.outputRatio);
  Label6->setText(t.error);
  CalcBtn->setText(t.calc);

  SetFrameTicks();

  // The proportion starts as the stored frame size of the source.
  Edit7->setText("720");
  Edit5->setText(QString::number(StoredHeightOf(state_.TvSystem, state_.SourceHeight)));

  if (state_.OldWidth != 0 && state_.OldWidth % 32 == 0) {
    Edit1->setText(QString::number(state_.OldWidth));
    CalcHeight();
  } else {
    ChooseAutoWidth();
  }
  ShowRatio();
  FitPreview();
  TrackBar1->setFocus();
}

std::optional<float> TForm9::IdealHeight(int x) {
  double yPart = 0;
  if (!TextToFloat(Edit5->text(), yPart))
    Stop(NotFloatMessage(Edit5->text()));
  double xPart = 0;
  if (!TextToFloat(Edit7->text(), xPart))
    Stop(NotFloatMessage(Edit7->text()));
  return ProportionIdealHeight(x, xPart, yPart);
}

void TForm9::ChooseAutoWidth() {
  const AutoSize size = resize::ChooseAutoWidth([this](int x) { return IdealHeight(x); },
                                                state_.settings[Setting::ResizeWidth],
                                                state_.settings[Setting::GoodQuality], state_.FrameCount,
                                                state_.FrameRate);
  Edit1->setText(QString::number(size.width));
  if (size.height)
    Edit2->setText(QString::number(*size.height));
}

void TForm9::CalcHeight() {
  const int x = ReadInt(Edit1);
  if (const auto y = resize::CalcHeight([this](int w) { return IdealHeight(w); }, x))
    Edit2->setText(QString::number(*y));
}

void TForm9::ShowRatio() {
  const int x = ReadInt(Edit1);
  const int y = ReadInt(Edit2);
  UpDown1->setPosition(x);
  UpDown2->setPosition(y);
  Edit3->setText(RatioFor(x, y, std::nullopt).ratio);
  ShowError(Edit4, RatioFor(x, y, IdealHeight(x)));
}

void TForm9::CalcBtnClick() {
  CalcHeight();
  ShowRatio();
  FitPreview();
}

void TForm9::ProportionChanged() {
  const QString noted = Edit2->text();
  CalcHeight();
  ShowRatio();
  if (Edit2->text() != noted)
    FitPreview();
}

void TForm9::Button2Click() {
  const long long part = ReadInt(Edit7);
  Edit7->setText(QString::number(part + 1));
  ProportionChanged();
}

void TForm9::Button3Click() {
  if (Edit7->text() != "1") {
    const long long part = ReadInt(Edit7);
    Edit7->setText(QString::number(part - 1));
  }
  ProportionChanged();
}

void TForm9::Button4Click() {
  const long long part = ReadInt(Edit5);
  Edit5->setText(QString::number(part + 1));
  ProportionChanged();
}

void TForm9::Button5Click() {
  const int part = ReadInt(Edit5);
  if (part > 0)
    Edit5->setText(QString::number(part - 1));
  ProportionChanged();
}

void TForm9::UpDown1Click() {
  ShowRatio();
  FitPreview();
}

void TForm9::Edit1Exit() { UpDown1Click(); }

// ---- TForm10: manual resize

TForm10::TForm10(SharedState &state, FramePreview &preview, QWidget *parent)
    : ResizeDialogBase(state, preview, {288, 768, 160, 560}, parent) {
  setWindowTitle("Manual Resize");

  UpDown3 = new UpDown(0, 2000, 1, 1000, nullptr, this);
  UpDown3->setObjectName("UpDown3");
  UpDown4 = new UpDown(0, 2000, 1, 1000, nullptr, this);
  UpDown4->setObjectName("UpDown4");
  Label3 = Heading(this, "Label3");
  Label3->setText("+/- 1");
  auto *pixel = new QWidget(this);
  auto *grid = new QGridLayout(pixel);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->addWidget(Label3, 0, 0);
  grid->addWidget(UpDown3, 1, 0, Qt::AlignLeft);
  grid->addWidget(UpDown4, 2, 0, Qt::AlignLeft);
  grid->setRowStretch(3, 1);

  upperPanel()->addWidget(sizeBlock(), 0, Qt::AlignTop);
  upperPanel()->addWidget(pixel, 0, Qt::AlignTop);
  upperPanel()->addStretch();
  upperPanel()->addWidget(buttonBlock());

  auto guarded = [this](void (TForm10::*handler)()) { return [this, handler] { Guard([&] { (this->*handler)(); }); }; };
  connect(UpDown1, &UpDown::Click, this, guarded(&TForm10::UpDown1Click));
  connect(UpDown2, &UpDown::Click, this, guarded(&TForm10::UpDown1Click));
  connect(UpDown3, &UpDown::Click, this, [this](bool up) { Guard([&] { UpDown3Click(up); }); });
  connect(UpDown4, &UpDown::Click, this, [this](bool up) { Guard([&] { UpDown4Click(up); }); });
}

bool TForm10::eventFilter(QObject *watched, QEvent *event) {
  if ((watched == Edit1 || watched == Edit2) && IsFieldExit(event))
    Guard([this] { Edit1Exit(); });
  return ResizeDialogBase::eventFilter(watched, event);
}

void TForm10::FormActivate() {
  const ManualTexts t = ManualResizeTexts(state_.Language);
  setWindowTitle(t.caption);
  Label9->setText(t.outputSize);
  Label4->setText(t.outputRatio);

  SetFrameTicks();

  if (state_.OldWidth != 0 && state_.OldHeight != 0 && state_.OldWidth % 32 == 0 && state_.OldHeight % 16 == 0) {
    Edit1->setText(QString::number(state_.OldWidth));
    Edit2->setText(QString::number(state_.OldHeight));
  } else {
    ChooseAutoWidth();
  }
  ShowRatio();
  FitPreview();
  TrackBar1->setFocus();
}

std::optional<float> TForm10::IdealHeight(int x) {
  const ManualSource source = ManualSourceOf(state_.TvSystem, state_.SourceHeight, state_.AspectCode);
  const CropAmounts crop{state_.CropLeft, state_.CropTop, state_.CropRight, state_.CropBottom};
  return SourceIdealHeight(x, source.width, source.height, source.aspect, crop);
}

void TForm10::ChooseAutoWidth() {
  const AutoSize size = resize::ChooseAutoWidth([this](int x) { return IdealHeight(x); },
                                                state_.settings[Setting::ResizeWidth],
                                                state_.settings[Setting::GoodQuality], state_.FrameCount,
                                                state_.FrameRate);
  Edit1->setText(QString::number(size.width));
  if (size.height)
    Edit2->setText(QString::number(*size.height));
}

void TForm10::ShowRatio() {
  const int x = ReadInt(Edit1);
  const int y = ReadInt(Edit2);
  UpDown1->setPosition(x);
  UpDown2->setPosition(y);
  Edit3->setText(RatioFor(x, y, std::nullopt).ratio);
}

void TForm10::UpDown1Click() {
  ShowRatio();
  FitPreview();
}

void TForm10::Edit1Exit() { UpDown1Click(); }

void TForm10::UpDown3Click(bool up) {
  const long long x = ReadInt(Edit1);
  Edit1->setText(QString::number(x + (up ? 1 : -1)));
  ShowRatio();
  FitPreview();
}

void TForm10::UpDown4Click(bool up) {
  const long long y = ReadInt(Edit2);
  Edit2->setText(QString::number(y + (up ? 1 : -1)));
  ShowRatio();
  FitPreview();
}

} // namespace reelwork
