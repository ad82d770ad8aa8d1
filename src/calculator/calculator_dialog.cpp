#include "calculator/calculator_dialog.h"

#include "app/glyphs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <vector>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolButton>
#include <algorithm>
#include <cmath>

#include "app/language.h"
#include "app/shared_state.h"
#include "calculator/bitrate_model.h"
#include "calculator/calculator_searches.h"
#include "common/number.h"
#include "tools/workbench.h"

namespace reelwork {

// ---------------------------------------------------------------------------
// SelectionSlider

void SelectionSlider::setSelection(int start, int end) {
  selStart_ = start;
  selEnd_ = end;
  update();
}

void SelectionSlider::paintEvent(QPaintEvent *event) {
  TickSlider::paintEvent(event);
  if (selEnd_ <= selStart_)
    return;
  QStyleOptionSlider option;
  initStyleOption(&option);
  const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
  const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
  const int span = groove.width() - handle.width();
  auto xOf = [&](int value) {
    return groove.left() + handle.width() / 2 + QStyle::sliderPositionFromValue(minimum(), maximum(), value, span);
  };
  // A band just under the groove, from the start to the end of the selection.
  QPainter painter(this);
  painter.fillRect(QRect(QPoint(xOf(selStart_), groove.bottom() + 1), QPoint(xOf(selEnd_), groove.bottom() + 3)),
                   palette().color(QPalette::Highlight));
}

// ---------------------------------------------------------------------------
// TForm3: construction

namespace {

constexpr int kWidth = 782;
constexpr int kHeight = 399;
constexpr int kTimeLabelMinutes[8] = {0, 60, 120, 180, 240, 300, 360, 400};
const QColor kSilver(192, 192, 192);

QLabel *MakeLabel(QWidget *parent, const char *name, const QString &text, int x, int y, int w = 60) {
  auto *label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setGeometry(x, y, w, 18);
  return label;
}

QLineEdit *MakeEdit(QWidget *parent, const char *name, const QString &text, int x, int y, int w) {
  auto *edit = new QLineEdit(text, parent);
  edit->setObjectName(name);
  edit->setGeometry(x, y, w, 24);
  return edit;
}

QToolButton *MakeArrow(QWidget *parent, const char *name, Qt::ArrowType arrow, QRect geometry) {
  auto *button = new QToolButton(parent);
  button->setObjectName(name);
  button->setArrowType(arrow);
  button->setGeometry(geometry);
  button->setFocusPolicy(Qt::NoFocus);
  return button;
}

QComboBox *MakeList(QWidget *parent, const char *name, const QStringList &items, int chosen, QRect geometry) {
  auto *list = new QComboBox(parent);
  list->setObjectName(name);
  list->addItems(items);
  list->setCurrentIndex(chosen);
  list->setGeometry(geometry);
  return list;
}

SelectionSlider *MakeBar(QWidget *parent, const char *name, int maximum, QRect geometry) {
  auto *bar = new SelectionSlider(parent);
  bar->setObjectName(name);
  bar->setRange(0, maximum);
  bar->setSingleStep(1);
  bar->setPageStep(maximum / 40);
  bar->setGeometry(geometry);
  return bar;
}

QFrame *MakePanel(QWidget *parent, QRect geometry) {
  auto *panel = new QFrame(parent);
  panel->setFrameShape(QFrame::StyledPanel);
  panel->setFrameShadow(QFrame::Raised);
  panel->setGeometry(geometry);
  return panel;
}

void MakeHeading(QLabel *label) {
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
}

template <size_t N> QStringList Texts(const std::array<const char *, N> &texts) {
  QStringList list;
  for (const char *text : texts)
    list << QString::fromUtf8(text);
  return list;
}

template <size_t N> QStringList Numbers(const std::array<int, N> &numbers) {
  QStringList list;
  for (int number : numbers)
    list << QString::number(number);
  return list;
}

template <size_t N> int IndexOf(const std::array<int, N> &table, int value) {
  const auto it = std::find(table.begin(), table.end(), value);
  return it == table.end() ? -1 : static_cast<int>(it - table.begin());
}

QString Text(const std::string &text) { return QString::fromStdString(text); }

} // namespace

bool QualityShownLow(float quality) { return static_cast<double>(quality) < 0.225; }

namespace {

// Left edges for labels of `widths` that want to stand centred on `centres`
// within [left, right]: each label keeps `gap` pixels from the next, and the
// labels move as little as that allows.
std::vector<int> SpreadLabels(const std::vector<int> &centres, const std::vector<int> &widths, int left, int right,
                              int gap) {
  const size_t n = std::min(centres.size(), widths.size());
  std::vector<int> x(n);
  for (size_t k = 0; k < n; ++k)
    x[k] = std::clamp(centres[k] - widths[k] / 2, left, std::max(left, right - widths[k]));
  // From the right end leftwards, then from the left end rightwards: a label
  // gives way only as far as its neighbour needs.
  for (size_t k = n; k-- > 1;)
    x[k - 1] = std::min(x[k - 1], x[k] - gap - widths[k - 1]);
  for (size_t k = 0; k < n; ++k)
    x[k] = std::max(x[k], k == 0 ? left : x[k - 1] + widths[k - 1] + gap);
  return x;
}

} // namespace

TForm3::TForm3(SharedState &state, CalculatorHost &host, QWidget *parent)
    : QDialog(parent), state_(state), host_(host) {
  setObjectName("Form3");
  setModal(true);
  setFixedSize(kWidth, kHeight);
  BuildLayout();
  SetCaptions(English);
  ClearResults();
  Connect();
}

void TForm3::BuildLayout() {
  // Full Video panel.
  QFrame *full = MakePanel(this, QRect(4, 4, 300, 330));
  Label1 = MakeLabel(full, "Label1", {}, 8, 4, 280);
  MakeHeading(Label1);
  Label5 = MakeLabel(full, "Label5", "Fps", 8, 30, 50);
  FpsBox = MakeList(full, "FpsBox", Texts(RateTexts), 1, QRect(70, 26, 90, 24));
  FpsBox->setEditable(true);
  FpsBox->setInsertPolicy(QComboBox::NoInsert);
  Label4 = MakeLabel(full, "Label4", {}, 8, 58);
  Frames1 = MakeEdit(full, "Frames1", "0", 70, 54, 90);
  Frames1Up = MakeArrow(full, "Frames1Up", Qt::UpArrow, QRect(162, 54, 18, 12));
  Frames1Dn = MakeArrow(full, "Frames1Dn", Qt::DownArrow, QRect(162, 66, 18, 12));
  TimeBar1 = MakeBar(full, "TimeBar1", kMaxSeconds, QRect(4, 84, 292, 28));
  const char *fullTickNames[8] = {"T1_0m", "T1_60m", "T1_120m", "T1_180m", "T1_240m", "T1_300m", "T1_360m", "T1_400m"};
  for (size_t k = 0; k < TimeBar1Labels.size(); ++k)
    TimeBar1Labels[k] = MakeLabel(full, fullTickNames[k], QString::number(kTimeLabelMinutes[k]), 0, 112, 26);
  Label2 = MakeLabel(full, "Label2", {}, 8, 138);
  Time1M = MakeEdit(full, "Time1M", "0", 70, 134, 44);
  Time1MLabel = MakeLabel(full, "Time1MLabel", "m", 116, 138, 12);
  Time1S = MakeEdit(full, "Time1S", "0", 130, 134, 36);
  Time1SLabel = MakeLabel(full, "Time1SLabel", "s", 168, 138, 12);
  Time1Left = MakeArrow(full, "Time1Left", Qt::LeftArrow, QRect(186, 134, 20, 24));
  Time1Right = MakeArrow(full, "Time1Right", Qt::RightArrow, QRect(208, 134, 20, 24));
  SizeBar = MakeBar(full, "SizeBar", kSizeBarMax, QRect(4, 172, 292, 28));
  for (size_t k = 0; k < SizeBarLabels.size(); ++k)
    SizeBarLabels[k] = MakeLabel(full, ("Lab" + std::to_string(k)).c_str(), QString::number(k), 0, 200, 12);
  Label9 = MakeLabel(full, "Label9", {}, 8, 234);
  Size1 = MakeEdit(full, "Size1", {}, 70, 230, 64);
  Label14 = MakeLabel(full, "Label14", {}, 140, 234, 24);
  Format1 = MakeEdit(full, "Format1", {}, 168, 230, 110);

  // End Title Video panel.
  QFrame *titles = MakePanel(this, QRect(308, 4, 256, 330));
  Label23 = MakeLabel(titles, "Label23", {}, 8, 4, 240);
  MakeHeading(Label23);
  BitBtn3 = new QPushButton(titles);
  BitBtn3->setObjectName("BitBtn3");
  SetGlyph(BitBtn3, Glyph::Find);
  BitBtn3->setGeometry(8, 26, 110, 26);
  BitBtn4 = new QPushButton(titles);
  BitBtn4->setObjectName("BitBtn4");
  BitBtn4->setGeometry(120, 26, 130, 26);
  UseTitles = new QCheckBox(titles);
  UseTitles->setObjectName("UseTitles");
  UseTitles->setGeometry(8, 56, 200, 20);
  Label7 = MakeLabel(titles, "Label7", {}, 8, 84);
  Frames2 = MakeEdit(titles, "Frames2", "0", 70, 80, 90);
  Frames2Up = MakeArrow(titles, "Frames2Up", Qt::UpArrow, QRect(162, 80, 18, 12));
  Frames2Dn = MakeArrow(titles, "Frames2Dn", Qt::DownArrow, QRect(162, 92, 18, 12));
  TimeBar2 = MakeBar(titles, "TimeBar2", kMaxSeconds, QRect(4, 110, 248, 28));
  for (size_t k = 0; k < TimeBar2Labels.size(); ++k)
    TimeBar2Labels[k] = MakeLabel(titles, ("Label" + std::to_string(25 + k)).c_str(),
                                  QString::number(kTimeLabelMinutes[k]), 0, 138, 26);
  Label6 = MakeLabel(titles, "Label6", {}, 8, 164);
  Time2M = MakeEdit(titles, "Time2M", "0", 70, 160, 44);
  Time2MLabel = MakeLabel(titles, "Time2MLabel", "m", 116, 164, 12);
  Time2S = MakeEdit(titles, "Time2S", "0", 130, 160, 36);
  Time2SLabel = MakeLabel(titles, "Time2SLabel", "s", 168, 164, 12);
  Time2Left = MakeArrow(titles, "Time2Left", Qt::LeftArrow, QRect(186, 160, 20, 24));
  Time2Right = MakeArrow(titles, "Time2Right", Qt::RightArrow, QRect(208, 160, 20, 24));
  Label8 = MakeLabel(titles, "Label8", {}, 8, 200, 240);
  TitleBitrate = MakeList(titles, "TitleBitrate", Texts(TitleRateTexts), 5, QRect(8, 220, 120, 24));

  // Audio panel.
  QFrame *audio = MakePanel(this, QRect(568, 4, 210, 180));
  Label3 = MakeLabel(audio, "Label3", {}, 8, 4, 190);
  MakeHeading(Label3);
  BitBtn2 = new QPushButton(audio);
  BitBtn2->setObjectName("BitBtn2");
  SetGlyph(BitBtn2, Glyph::Find);
  BitBtn2->setGeometry(8, 26, 110, 26);
  const QStringList audioTexts = Texts(AudioRateTexts);
  Label10 = MakeLabel(audio, "Label10", {}, 8, 64, 72);
  AudioBitrate1 = MakeList(audio, "AudioBitrate1", audioTexts, 0, QRect(84, 60, 110, 24));
  Label12 = MakeLabel(audio, "Label12", {}, 8, 96, 72);
  AudioBitrate2 = MakeList(audio, "AudioBitrate2", audioTexts, 8, QRect(84, 92, 110, 24));
  Label16 = MakeLabel(audio, "Label16", {}, 8, 128, 72);
  AudioBitrate3 = MakeList(audio, "AudioBitrate3", audioTexts, 8, QRect(84, 124, 110, 24));

  // Frame Size panel.
  QFrame *frame = MakePanel(this, QRect(568, 188, 210, 146));
  Label24 = MakeLabel(frame, "Label24", {}, 8, 4, 190);
  MakeHeading(Label24);
  Label17 = MakeLabel(frame, "Label17", {}, 8, 36, 72);
  XSizeBox = MakeList(frame, "XSizeBox", Numbers(WidthTable), 2, QRect(84, 32, 80, 24));
  Label18 = MakeLabel(frame, "Label18", {}, 8, 70, 72);
  YSizeBox = MakeList(frame, "YSizeBox", Numbers(HeightTable), 1, QRect(84, 66, 80, 24));

  // The results and the buttons.
  QFrame *band = MakePanel(this, QRect(4, 338, 774, 57));
  Label11 = MakeLabel(band, "Label11", {}, 8, 20, 64);
  CalculatedBitrate = MakeEdit(band, "CalculatedBitrate", {}, 76, 16, 80);
  CalculatedBitrate->setReadOnly(true);
  ReCalc = new QPushButton(band);
  ReCalc->setObjectName("ReCalc");
  SetGlyph(ReCalc, Glyph::Calculate);
  ReCalc->setGeometry(168, 14, 100, 28);
  SaveBox = new QCheckBox(band);
  SaveBox->setObjectName("SaveBox");
  SaveBox->setGeometry(284, 18, 120, 20);
  SaveBox->setChecked(true);
  BitBtn1 = new QPushButton(band);
  BitBtn1->setObjectName("BitBtn1");
  SetGlyph(BitBtn1, Glyph::Ok);
  BitBtn1->setGeometry(412, 14, 110, 28);
  Label13 = MakeLabel(band, "Label13", {}, 540, 20, 70);
  Quality = MakeEdit(band, "Quality", {}, 614, 16, 80);
  Quality->setReadOnly(true);

  // Small tick labels, as wide as their text.
  auto shrink = [](QLabel *label) {
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.8);
    label->setFont(font);
    label->adjustSize();
  };
  for (QLabel *label : TimeBar1Labels)
    shrink(label);
  for (QLabel *label : TimeBar2Labels)
    shrink(label);
  // Enter in a field must not press a button.
  for (QPushButton *button : findChildren<QPushButton *>())
    button->setAutoDefault(false);
  PlaceTickLabels();
}

void TForm3::Connect() {
  connect(FpsBox, &QComboBox::editTextChanged, this, &TForm3::FpsBoxChange);
  connect(Frames1, &QLineEdit::textChanged, this, &TForm3::Frames1Change);
  connect(Frames1Up, &QToolButton::clicked, this, &TForm3::Frames1UpClick);
  connect(Frames1Dn, &QToolButton::clicked, this, &TForm3::Frames1DnClick);
  connect(TimeBar1, &QSlider::valueChanged, this, &TForm3::TimeBar1Change);
  connect(Time1M, &QLineEdit::textChanged, this, &TForm3::Time1MChange);
  connect(Time1S, &QLineEdit::textChanged, this, &TForm3::Time1MChange);
  connect(Time1Left, &QToolButton::clicked, this, &TForm3::Time1LeftClick);
  connect(Time1Right, &QToolButton::clicked, this, &TForm3::Time1RightClick);
  connect(Frames2, &QLineEdit::textChanged, this, &TForm3::Frames2Change);
  connect(Frames2Up, &QToolButton::clicked, this, &TForm3::Frames2UpClick);
  connect(Frames2Dn, &QToolButton::clicked, this, &TForm3::Frames2DnClick);
  connect(TimeBar2, &QSlider::valueChanged, this, &TForm3::TimeBar2Change);
  connect(Time2M, &QLineEdit::textChanged, this, &TForm3::Time2MChange);
  connect(Time2S, &QLineEdit::textChanged, this, &TForm3::Time2MChange);
  connect(Time2Left, &QToolButton::clicked, this, &TForm3::Time2LeftClick);
  connect(Time2Right, &QToolButton::clicked, this, &TForm3::Time2RightClick);
  connect(SizeBar, &QSlider::valueChanged, this, &TForm3::SizeBarChange);
  connect(UseTitles, &QCheckBox::toggled, this, &TForm3::UseTitlesClick);
  // Lists run their handlers on the user's choice only.
  connect(TitleBitrate, &QComboBox::activated, this, &TForm3::TitleBitrateChange);
  for (QComboBox *list : {AudioBitrate1, AudioBitrate2, AudioBitrate3})
    connect(list, &QComboBox::activated, this, &TForm3::AudioBitrate1Change);
  connect(XSizeBox, &QComboBox::activated, this, &TForm3::XSizeBoxChange);
  connect(YSizeBox, &QComboBox::activated, this, &TForm3::XSizeBoxChange);
  connect(ReCalc, &QPushButton::clicked, this, &TForm3::ReCalcClick);
  connect(BitBtn1, &QPushButton::clicked, this, &TForm3::BitBtn1Click);
  connect(BitBtn2, &QPushButton::clicked, this, &TForm3::BitBtn2Click);
  connect(BitBtn3, &QPushButton::clicked, this, &TForm3::BitBtn3Click);
  connect(BitBtn4, &QPushButton::clicked, this, &TForm3::BitBtn4Click);
}

void TForm3::PlaceTickLabels() {
  // Each label starts under its value: 4 pixels in, then proportionally.
  for (size_t k = 0; k < SizeBarLabels.size(); ++k)
    SizeBarLabels[k]->move(SizeBar->x() + 4 + static_cast<int>(k) * ((SizeBar->width() - 12) * 1000 / kSizeBarMax),
                           SizeBarLabels[k]->y());
  // The minute labels stand centred under their time, within the slider, as
  // wide as their text and apart from each other (360 and 400 are close).
  auto placeTime = [](SelectionSlider *bar, const std::array<QLabel *, 8> &labels) {
    std::vector<int> centres, widths;
    for (size_t k = 0; k < labels.size(); ++k) {
      labels[k]->resize(labels[k]->fontMetrics().horizontalAdvance(labels[k]->text()) + 2, labels[k]->height());
      centres.push_back(bar->x() + 6 + (bar->width() - 12) * kTimeLabelMinutes[k] * 60 / kMaxSeconds);
      widths.push_back(labels[k]->width());
    }
    const std::vector<int> lefts = SpreadLabels(centres, widths, bar->x(), bar->x() + bar->width(), 3);
    for (size_t k = 0; k < labels.size(); ++k)
      labels[k]->move(lefts[k], labels[k]->y());
  };
  placeTime(TimeBar1, TimeBar1Labels);
  placeTime(TimeBar2, TimeBar2Labels);
}

void TForm3::SetCaptions(int language) {
  if (language != English && language != Russian)
    return;
  struct Caption {
    QWidget *control;
    const char *text[2];
  };
  const Caption captions[] = {
      {Label1, {"Full Video", "Все видео"}},
      {Label2, {"Time", "Время"}},
      {Label6, {"Time", "Время"}},
      {Label3, {"Audio", "Аудио"}},
      {Label4, {"Frames", "Кадры"}},
      {Label7, {"Frames", "Кадры"}},
      {Label8, {"End Title Bitrate", "Битрейт титров"}},
      {Label9, {"Rip Size", "Размер"}},
      {Label10, {"Bitrate 1", "Аудио 1"}},
      {Label11, {"Bitrate", "Битрейт"}},
      {Label12, {"Bitrate 2", "Аудио 2"}},
      {Label13, {"Quality", "Качество"}},
      {Label14, {"Or", "=="}},
      {Label16, {"Bitrate 3", "Аудио 3"}},
      {Label17, {"X-Size", "Разм. X"}},
      {Label18, {"Y-Size", "Разм. Y"}},
      {Label23, {"End Title Video (ETV)", "Титры отдельно"}},
      {Label24, {"Frame Size", "Размер кадра"}},
      {ReCalc, {"  ReCalc  ", "  Расчет  "}},
      {BitBtn1, {"    Okey  ", "    Okey  "}},
      {BitBtn2, {"Find AC3", "Найти AC3"}},
      {BitBtn3, {"Find Titles", "Найти титры"}},
      {BitBtn4, {"From Current Frame", "С текущего фрейма"}},
      {UseTitles, {"Use ETV", "Титры"}},
      {SaveBox, {"Save Result", "Сохранить"}},
  };
  setWindowTitle(QString::fromUtf8(language == English ? "Calculator" : "Калькулятор"));
  for (const Caption &caption : captions) {
    const QString text = QString::fromUtf8(caption.text[language]);
    if (auto *label = qobject_cast<QLabel *>(caption.control))
      label->setText(text);
    else if (auto *button = qobject_cast<QAbstractButton *>(caption.control))
      button->setText(text);
  }
}

void TForm3::showEvent(QShowEvent *event) {
  if (QScreen *screen = this->screen())
    move(screen->availableGeometry().center() - rect().center());
  QDialog::showEvent(event);
  FormActivate();
}

// ---------------------------------------------------------------------------
// Activation

void TForm3::FormActivate() {
  SetCaptions(state_.Language);
  {
    Quiet quiet(*this);
    CalcFrameCount = state_.FrameCount;
    Frames1->setText(QString::number(CalcFrameCount));

    // The rate list: the table's rate nearest the video's, else the video's
    // own rate as an entry of its own (one at most, replaced each opening).
    while (FpsBox->count() > static_cast<int>(RateTable.size()))
      FpsBox->removeItem(FpsBox->count() - 1);
    int index = RateIndexFor(state_.FrameRate);
    if (index >= 0) {
      CalcRate = RateTable[index];
    } else {
      FpsBox->addItem(Text(RateText(state_.FrameRate)));
      index = FpsBox->count() - 1;
      CalcRate = state_.FrameRate;
    }
    FpsBox->setCurrentIndex(index);
    FpsBox->setEditText(FpsBox->itemText(index));

    const auto time = FramesToTime(CalcFrameCount, CalcRate);
    ShowTime(FullGroup(), time ? *time : FilmTime{});

    QVector<int> presets;
    for (const SizePreset &preset : SizePresets)
      presets << preset.megabytes;
    SizeBar->setTicks(presets);
    QVector<int> tenMinutes;
    for (int t = 600; t <= 10200; t += 600)
      tenMinutes << t;
    TimeBar1->setTicks(tenMinutes);
    TimeBar2->setTicks(tenMinutes);
    PlaceTickLabels();

    const StartPreset start = ChooseStartPreset(TimeBar1->value(), AudioKbps());
    SetSizeBar(start.position);
    const FrameSize size = ChooseStartFrameSize(state_.VideoWidth, state_.VideoHeight, state_.AspectCode,
                                                start.bitrate, CalcRate, HeightTable[YSizeBox->currentIndex()]);
    XSizeBox->setCurrentIndex(IndexOf(WidthTable, size.width));
    YSizeBox->setCurrentIndex(IndexOf(HeightTable, size.height));
  }
  ClearResults();
}

// ---------------------------------------------------------------------------
// Results

void TForm3::ClearResults() {
  for (QLineEdit *field : {CalculatedBitrate, Quality}) {
    field->clear();
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, kSilver);
    field->setPalette(palette);
  }
}

void TForm3::ShowResult(QLineEdit *field, const QString &text, bool low) {
  QPalette palette = field->palette();
  palette.setColor(QPalette::Base, Qt::white);
  palette.setColor(QPalette::Text, low ? Qt::red : Qt::black);
  field->setPalette(palette);
  field->setText(text);
}

std::array<int, 3> TForm3::AudioKbps() const {
  std::array<int, 3> kbps{};
  const QComboBox *lists[] = {AudioBitrate1, AudioBitrate2, AudioBitrate3};
  for (size_t i = 0; i < kbps.size(); ++i)
    kbps[i] = AudioRates[std::clamp(lists[i]->currentIndex(), 0, static_cast<int>(AudioRates.size()) - 1)];
  return kbps;
}

bool TForm3::RateFromFpsBox(float &rate) const {
  const QString text = FpsBox->currentText();
  const int index = FpsBox->findText(text, Qt::MatchExactly);
  if (index >= 0 && index < static_cast<int>(RateTable.size())) {
    rate = RateTable[index];
    return true;
  }
  if (index >= 0) { // the entry made for the video's own rate
    rate = state_.FrameRate;
    return true;
  }
  return ParseNumber(text.toStdString(), rate);
}

void TForm3::ReCalcClick() {
  BitrateInputs in;
  in.time = TimeBar1->value();
  in.position = SizeBar->value();
  in.audio = AudioKbps();
  if (!ParseNumber(Size1->text().toStdString(), in.size)) {
    host_.Beep();
    return;
  }
  in.useTitles = UseTitles->isChecked();
  in.titleTime = TimeBar2->value();
  in.titleRate = TitleRates[std::clamp(TitleBitrate->currentIndex(), 0, static_cast<int>(TitleRates.size()) - 1)];
  const auto bitrate = ComputeBitrate(in);
  if (!bitrate) {
    host_.Beep();
    return;
  }
  float typed;
  if (ParseNumber(FpsBox->currentText().toStdString(), typed))
    CalcRate = typed;
  const auto quality = ComputeQuality(*bitrate, CalcRate, WidthTable[std::max(0, XSizeBox->currentIndex())],
                                      HeightTable[std::max(0, YSizeBox->currentIndex())]);
  if (!quality) { // no rate to divide by: no result at all
    host_.Beep();
    return;
  }
  VideoBitrate = *bitrate;
  VideoQuality = *quality;
  ShowResult(CalculatedBitrate, Text(FormatBitrate(VideoBitrate)), IsLowBitrate(VideoBitrate));
  ShowResult(Quality, Text(FormatQuality(VideoQuality)), QualityShownLow(VideoQuality));
}

// ---------------------------------------------------------------------------
// Frames and time

void TForm3::ShowTime(const TimeGroup &group, const FilmTime &time) {
  const int position = static_cast<int>(std::clamp<long long>(time.total, 0, kMaxSeconds));
  group.bar->setValue(position);
  group.bar->setSelection(0, group.bar->value());
  group.minutes->setText(QString::number(time.minutes));
  group.seconds->setText(QString::number(time.seconds));
}

bool TForm3::FramesChanged(const TimeGroup &group, int &frames) {
  const QString text = group.frames->text();
  if (!StrToIntStrict(text.toStdString(), frames)) {
    host_.ShowMessage(QString("'%1' is not a valid integer value").arg(text));
    return false;
  }
  Quiet quiet(*this);
  if (const auto time = FramesToTime(frames, CalcRate))
    ShowTime(group, *time);
  ClearResults();
  return true;
}

void TForm3::BarChanged(const TimeGroup &group) {
  Quiet quiet(*this);
  const int t = group.bar->value();
  group.minutes->setText(QString::number(t / 60));
  group.seconds->setText(QString::number(t % 60));
  group.bar->setSelection(0, t);
  group.frames->setText(Text(WholeNumberText(TimeToFrames(t, CalcRate))));
  ClearResults();
}

bool TForm3::ReadTime(const TimeGroup &group, double &seconds) const {
  float minutes, rest;
  if (!ParseNumber(group.minutes->text().toStdString(), minutes) ||
      !ParseNumber(group.seconds->text().toStdString(), rest))
    return false;
  seconds = std::nearbyint(static_cast<double>(minutes) * 60 + static_cast<double>(rest)) + 0.0;
  return std::isfinite(seconds);
}

void TForm3::TimeFieldsChanged(const TimeGroup &group) {
  double t;
  // A time the slider cannot show, negative ones included, changes nothing.
  if (!ReadTime(group, t) || t < 0 || t > kMaxSeconds)
    return;
  Quiet quiet(*this);
  group.bar->setValue(static_cast<int>(t));
  group.bar->setSelection(0, static_cast<int>(t));
  group.frames->setText(Text(WholeNumberText(TimeToFrames(static_cast<long long>(t), CalcRate))));
  ClearResults();
}

void TForm3::WriteRunning(QLineEdit *edit, const QString &text, void (TForm3::*handler)()) {
  if (edit->text() == text)
    (this->*handler)();
  else
    edit->setText(text);
}

void TForm3::StepFrames(QLineEdit *frames, int step) {
  float value;
  if (!ParseNumber(frames->text().toStdString(), value))
    return;
  if (step < 0 && value == 0)
    return;
  const double next = static_cast<double>(value) + step;
  if (!(std::fabs(next) < 1e15))
    return;
  WriteRunning(frames, Text(WholeNumberText(next)),
               frames == Frames1 ? &TForm3::Frames1Change : &TForm3::Frames2Change);
}

void TForm3::StepTime(const TimeGroup &group, int step, bool quietly) {
  double t;
  if (!ReadTime(group, t))
    return;
  if (t == (step < 0 ? 0 : kMaxSeconds) || !(std::fabs(t) < 1e15))
    return;
  const long long next = static_cast<long long>(t) + step;
  const QString minutes = QString::number(next / 60);
  const QString seconds = QString::number(next % 60);
  if (quietly) {
    {
      Quiet quiet(*this);
      group.minutes->setText(minutes);
      group.seconds->setText(seconds);
    }
    TimeFieldsChanged(group);
  } else {
    // The fields' own change handler follows each write.
    group.minutes->setText(minutes);
    group.seconds->setText(seconds);
  }
}

void TForm3::Frames1Change() {
  if (quiet_)
    return;
  int frames;
  if (FramesChanged(FullGroup(), frames))
    CalcFrameCount = frames;
}

void TForm3::Frames1UpClick() { StepFrames(Frames1, +1); }
void TForm3::Frames1DnClick() { StepFrames(Frames1, -1); }

void TForm3::TimeBar1Change() {
  if (!quiet_)
    BarChanged(FullGroup());
}

void TForm3::Time1MChange() {
  if (!quiet_)
    TimeFieldsChanged(FullGroup());
}

void TForm3::Time1LeftClick() { StepTime(FullGroup(), -1, true); }
void TForm3::Time1RightClick() { StepTime(FullGroup(), +1, true); }

void TForm3::Frames2Change() {
  if (quiet_)
    return;
  int frames; // the title part keeps no frame count of its own
  FramesChanged(TitleGroup(), frames);
}

void TForm3::Frames2UpClick() { StepFrames(Frames2, +1); }
void TForm3::Frames2DnClick() { StepFrames(Frames2, -1); }

void TForm3::TimeBar2Change() {
  if (!quiet_)
    BarChanged(TitleGroup());
}

void TForm3::Time2MChange() {
  if (!quiet_)
    TimeFieldsChanged(TitleGroup());
}

void TForm3::Time2LeftClick() { StepTime(TitleGroup(), -1, false); }
void TForm3::Time2RightClick() { StepTime(TitleGroup(), +1, false); }

void TForm3::FpsBoxChange() {
  if (quiet_)
    return;
  Quiet quiet(*this);
  float rate;
  // A rate that cannot be read leaves the last one in force.
  if (RateFromFpsBox(rate)) {
    CalcRate = rate;
    if (const auto time = FramesToTime(CalcFrameCount, CalcRate))
      ShowTime(FullGroup(), *time);
  }
  ClearResults();
}

// ---------------------------------------------------------------------------
// Size and the other inputs

void TForm3::SetSizeBar(int position) {
  if (SizeBar->value() == position)
    SizeBarChange(); // the slider would not report an unchanged position
  else
    SizeBar->setValue(position);
}

void TForm3::SizeBarChange() {
  if (sizeBarQuiet_)
    return;
  const int position = SnapToPreset(SizeBar->value());
  sizeBarQuiet_ = true;
  SizeBar->setValue(position);
  sizeBarQuiet_ = false;
  SizeBar->setSelection(0, position);
  Size1->setText(QString::number(position));
  Format1->setText(QString::fromUtf8(SizePresets[PresetIndex(position)].name));
  ClearResults();
}

void TForm3::UseTitlesClick() { ClearResults(); }
void TForm3::TitleBitrateChange() { ClearResults(); }
void TForm3::AudioBitrate1Change() { ClearResults(); }
void TForm3::XSizeBoxChange() { Quality->clear(); }

// ---------------------------------------------------------------------------
// Searches and the end of the dialog

void TForm3::BitBtn2Click() {
  const QString name = host_.ChooseFile(state_.WorkDir, "AC3");
  const int index = AudioRateIndexFromName(name);
  if (index >= 0)
    AudioBitrate1->setCurrentIndex(index);
  ClearResults();
}

void TForm3::BitBtn3Click() {
  const int frames = CalcFrameCount;
  FramePreview &preview = host_.Preview();
  preview.SetBusy(true);
  bool cancelled = false;
  const auto start = FindTitleStart(preview, frames, &cancelled);
  preview.SetBusy(false);
  if (cancelled)
    return;
  if (!start) {
    host_.ShowMessage(MessageText(MsgNoTitles, state_.Language));
    return;
  }
  // A search that finds no black frame at all gives no title part.
  const long long titleFrames = std::max(0LL, static_cast<long long>(frames) - *start);
  WriteRunning(Frames2, QString::number(titleFrames), &TForm3::Frames2Change);
  UseTitles->setChecked(true);
}

void TForm3::BitBtn4Click() {
  // Only when the frame on show lies in the last fifth of the video.
  if (static_cast<long long>(state_.CurrentFrame) < static_cast<long long>(state_.FrameCount) * 80 / 100)
    return;
  const long long titleFrames = std::max(0LL, static_cast<long long>(CalcFrameCount) - state_.CurrentFrame);
  WriteRunning(Frames2, QString::number(titleFrames), &TForm3::Frames2Change);
  UseTitles->setChecked(true);
}

CalculatorReport TForm3::MakeReport() const {
  CalculatorReport r;
  r.xSize = XSizeBox->currentText();
  r.ySize = YSizeBox->currentText();
  r.frames = Frames1->text();
  r.fps = FpsBox->currentText();
  r.minutes = Time1M->text();
  r.seconds = Time1S->text();
  r.useTitles = UseTitles->isChecked();
  r.titleFrames = Frames2->text();
  r.titleMinutes = Time2M->text();
  r.titleSeconds = Time2S->text();
  r.titleBitrate = TitleBitrate->currentText();
  const QComboBox *lists[] = {AudioBitrate1, AudioBitrate2, AudioBitrate3};
  for (size_t i = 0; i < r.audio.size(); ++i)
    if (lists[i]->currentIndex() != lists[i]->count() - 1)
      r.audio[i] = lists[i]->currentText();
  r.size = Size1->text();
  r.format = Format1->text();
  r.bitrate = CalculatedBitrate->text();
  r.quality = Quality->text();
  return r;
}

void TForm3::BitBtn1Click() {
  if (SaveBox->isChecked()) {
    QString error;
    if (!WriteReport(state_.WorkDir, ReportLines(MakeReport(), QDateTime::currentDateTime()), &error))
      host_.ShowMessage(QString("Cannot create file \"%1\".").arg(state_.WorkDir + kReportName), error);
  }
  done(1);
  host_.FocusTrackBar();
}

} // namespace reelwork
