#include "settings/options_dialog.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTextDocument>
#include <QVBoxLayout>

#include "app/glyphs.h"
#include "app/shared_state.h"
#include "common/number.h"
#include "script/script_host.h"
#include "script/source_opening.h"

namespace reelwork {

namespace {

const char *const kBalanceStops[] = {"-4", "-2", "0", "+2", "+4"};

QLabel *MakeLabel(QWidget *parent, const char *name, const QString &text = {}) {
  auto *label = new QLabel(text, parent);
  label->setObjectName(name);
  return label;
}

QSlider *MakeSensitivity(QWidget *parent, const char *name) {
  auto *slider = new QSlider(Qt::Horizontal, parent);
  slider->setObjectName(name);
  slider->setRange(0, 10);
  slider->setTickPosition(QSlider::TicksBelow);
  slider->setTickInterval(1);
  slider->setPageStep(1);
  slider->setValue(5);
  return slider;
}

// Caption rows: object name, English, Russian.
struct Caption {
  const char *control;
  const char *text[2];
};

const Caption kCaptions[] = {
    {"Label3", {"Language", "Язык"}},
    {"CheckBox1", {"VOB Scaning", "Чтение VOB"}},
    {"Label1", {"Filter/Command List", "Спсок фильтров/команд"}},
    {"Label4", {"Sharpen Default", "Sharpen по умолчанию"}},
    {"CheckBox3", {"Default Field Order = 1", "Порядок полей = 1"}},
    {"Label5", {"Find Interlace Sensitivity", "Интерлейс чувствит."}},
    {"Label6", {"Find Light Sensitivity", "Светлый кадр чувствит."}},
    {"Label7", {"Test Round Sensitivity", "Округлость чувствит."}},
    {"Label8", {"AutoCroping Balance", "Баланс автокропинга"}},
    {"Label14", {"Good Video Quality (used in resizing)", "Пороговое значение видео-качества"}},
    {"Label15", {"Initial Resizing Width", "Начальное значение X для Resize"}},
    {"Label16", {"VirtualDubMod Path", "Путь к VirtualDubMod"}},
    {"CheckBox2", {"Always Set Horizontal Croping Aliquot to 4", "Кропинг по горизонтали всегда кратен 4"}},
    {"UseM2S_Box",
     {"Use Mpeg2Source parameters (iDCT=x, cpu=y , iPP=true/false) :",
      "Использовать параметры Mpeg2Source (iDCT=x, cpu=y , iPP=true/false) :"}},
    {"Label19", {"Use iDCT algorythm (icreasing performance)", "Включить iDCT (по типу процессора)"}},
    {"Label20", {"Post-processing", "Post-процессинг"}},
    {"Label22", {"Interlaced source", "Interlaced источник"}},
    {"Label2", {"Quick", "Быстро"}},
    {"Label24", {"Quick", "Быстро"}},
    {"Label23", {"Certain", "Тщательно"}},
    {"Label25", {"Certain", "Тщательно"}},
    {"Label26", {"Pure", "Грубо"}},
    {"Label27", {"Exact", "Точно"}},
    {"Label28", {"Resize method", "Метод ресайза"}},
};

} // namespace

FreeSpinBox::FreeSpinBox(int min, int max, int step, QWidget *parent)
    : QAbstractSpinBox(parent), min_(min), max_(max), step_(step), position_(min) {
  setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
  setKeyboardTracking(true);
}

void FreeSpinBox::setText(const QString &text) { lineEdit()->setText(text); }

void FreeSpinBox::setPosition(int position) { position_ = std::clamp(position, min_, max_); }

int FreeSpinBox::startOfStep() const {
  int typed = 0;
  return StrToIntStrict(text().toStdString(), typed) ? typed : position_;
}

void FreeSpinBox::stepBy(int steps) {
  const long long next = static_cast<long long>(startOfStep()) + static_cast<long long>(steps) * step_;
  position_ = static_cast<int>(std::clamp<long long>(next, min_, max_));
  lineEdit()->setText(QString::number(position_));
}

QAbstractSpinBox::StepEnabled FreeSpinBox::stepEnabled() const {
  const int from = startOfStep();
  StepEnabled enabled = StepNone;
  if (from < max_)
    enabled |= StepUpEnabled;
  if (from > min_)
    enabled |= StepDownEnabled;
  return enabled;
}

TForm7::TForm7(SharedState &state, UserDialogs &dialogs, std::function<QStringList()> filterItems,
               std::function<QStringList()> scriptLines, QWidget *parent)
    : QDialog(parent), state_(state), dialogs_(&dialogs), filterItems_(std::move(filterItems)),
      scriptLines_(std::move(scriptLines)) {
  setObjectName("Form7");
  BuildLayout();
  resize(459, 595);
}

void TForm7::BuildLayout() {
  auto *root = new QVBoxLayout(this);

  auto *top = new QHBoxLayout;
  RadioGroup1 = new QGroupBox(this);
  RadioGroup1->setObjectName("RadioGroup1");
  auto *languages = new QVBoxLayout(RadioGroup1);
  Label3 = MakeLabel(RadioGroup1, "Label3");
  LanguageRussian = new QRadioButton("Russian", RadioGroup1);
  LanguageEnglish = new QRadioButton("English", RadioGroup1);
  languages->addWidget(Label3);
  languages->addWidget(LanguageRussian);
  languages->addWidget(LanguageEnglish);
  top->addWidget(RadioGroup1);
  auto *checks = new QVBoxLayout;
  CheckBox1 = new QCheckBox(this);
  CheckBox1->setObjectName("CheckBox1");
  CheckBox3 = new QCheckBox(this);
  CheckBox3->setObjectName("CheckBox3");
  Label4 = MakeLabel(this, "Label4");
  Edit2 = new QLineEdit(this);
  Edit2->setObjectName("Edit2");
  checks->addWidget(CheckBox1);
  checks->addWidget(CheckBox3);
  checks->addWidget(Label4);
  checks->addWidget(Edit2);
  top->addLayout(checks);
  root->addLayout(top);

  Label1 = MakeLabel(this, "Label1");
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // Room for eight whole items; the window grows rather than cut them.
  Memo1->setMinimumHeight(Memo1->fontMetrics().lineSpacing() * 8 + 2 * Memo1->frameWidth() +
                          static_cast<int>(2 * Memo1->document()->documentMargin()) + 2);
  root->addWidget(Label1);
  root->addWidget(Memo1, 1);

  UseM2S_Box = new QCheckBox(this);
  UseM2S_Box->setObjectName("UseM2S_Box");
  root->addWidget(UseM2S_Box);
  auto *params = new QGridLayout;
  Label19 = MakeLabel(this, "Label19");
  Label20 = MakeLabel(this, "Label20");
  Label22 = MakeLabel(this, "Label22");
  Label17 = MakeLabel(this, "Label17", "iDCT = ");
  Label18 = MakeLabel(this, "Label18", "CPU = ");
  Label21 = MakeLabel(this, "Label21", "iPP = ");
  iDCT_Box = new QComboBox(this);
  iDCT_Box->setObjectName("iDCT_Box");
  iDCT_Box->setSizeAdjustPolicy(QComboBox::AdjustToContents); // entry 0 is long in Russian
  iDCT_Box->addItems({QString(), "1 : 32 bit MMX", "2 : 32 bit SSEMMX", "3 : 64 bit FPU",
                      "4 : 64 bit IEEE-1180 Reference", "5 : 32 bit SSE2 (for P4)", "6 : ...", "7 : ..."});
  CPU_Box = new QComboBox(this);
  CPU_Box->setObjectName("CPU_Box");
  for (int i = 0; i <= 6; ++i)
    CPU_Box->addItem(QString::number(i));
  iPP_Box = new QComboBox(this);
  iPP_Box->setObjectName("iPP_Box");
  iPP_Box->addItems({"false", "true"});
  params->addWidget(Label19, 0, 0, 1, 2);
  params->addWidget(Label17, 1, 0);
  params->addWidget(iDCT_Box, 1, 1);
  params->addWidget(Label20, 0, 2, 1, 2);
  params->addWidget(Label18, 1, 2);
  params->addWidget(CPU_Box, 1, 3);
  params->addWidget(Label22, 0, 4, 1, 2);
  params->addWidget(Label21, 1, 4);
  params->addWidget(iPP_Box, 1, 5);
  root->addLayout(params);

  auto *sliders = new QGridLayout;
  Label5 = MakeLabel(this, "Label5");
  Label6 = MakeLabel(this, "Label6");
  Label7 = MakeLabel(this, "Label7");
  Label2 = MakeLabel(this, "Label2");
  Label23 = MakeLabel(this, "Label23");
  Label24 = MakeLabel(this, "Label24");
  Label25 = MakeLabel(this, "Label25");
  Label26 = MakeLabel(this, "Label26");
  Label27 = MakeLabel(this, "Label27");
  TrackBar1 = MakeSensitivity(this, "TrackBar1");
  TrackBar2 = MakeSensitivity(this, "TrackBar2");
  TrackBar3 = MakeSensitivity(this, "TrackBar3");
  QLabel *headings[] = {Label5, Label6, Label7};
  QLabel *lefts[] = {Label2, Label24, Label26};
  QSlider *bars[] = {TrackBar1, TrackBar2, TrackBar3};
  QLabel *rights[] = {Label23, Label25, Label27};
  for (int i = 0; i < 3; ++i) {
    sliders->addWidget(headings[i], i, 0);
    sliders->addWidget(lefts[i], i, 1);
    sliders->addWidget(bars[i], i, 2);
    sliders->addWidget(rights[i], i, 3);
  }
  root->addLayout(sliders);

  Label8 = MakeLabel(this, "Label8");
  TrackBar4 = new QSlider(Qt::Horizontal, this);
  TrackBar4->setObjectName("TrackBar4");
  TrackBar4->setRange(0, 4);
  TrackBar4->setPageStep(1);
  TrackBar4->setTickPosition(QSlider::TicksBelow);
  TrackBar4->setTickInterval(1);
  TrackBar4->setValue(2);
  auto *stops = new QHBoxLayout;
  Label11 = MakeLabel(this, "Label11", kBalanceStops[0]);
  Label10 = MakeLabel(this, "Label10", kBalanceStops[1]);
  Label9 = MakeLabel(this, "Label9", kBalanceStops[2]);
  Label12 = MakeLabel(this, "Label12", kBalanceStops[3]);
  Label13 = MakeLabel(this, "Label13", kBalanceStops[4]);
  for (QLabel *label : {Label11, Label10, Label9, Label12, Label13}) {
    stops->addWidget(label);
    if (label != Label13)
      stops->addStretch(1);
  }
  CheckBox2 = new QCheckBox(this);
  CheckBox2->setObjectName("CheckBox2");
  root->addWidget(Label8);
  root->addWidget(TrackBar4);
  root->addLayout(stops);
  root->addWidget(CheckBox2);

  auto *bottom = new QGridLayout;
  Label28 = MakeLabel(this, "Label28");
  ResizeBox = new QComboBox(this);
  ResizeBox->setObjectName("ResizeBox");
  ResizeBox->addItems({QString(), QString(), QString()});
  Label14 = MakeLabel(this, "Label14");
  Edit3 = new QLineEdit(this);
  Edit3->setObjectName("Edit3");
  Label15 = MakeLabel(this, "Label15");
  Edit4 = new FreeSpinBox(480, 704, 32, this);
  Edit4->setObjectName("Edit4");
  Label16 = MakeLabel(this, "Label16");
  Edit5 = new QLineEdit(this);
  Edit5->setObjectName("Edit5");
  Button1 = new QPushButton("...", this);
  Button1->setObjectName("Button1");
  Button1->setFixedWidth(28);
  bottom->addWidget(Label28, 0, 0);
  bottom->addWidget(ResizeBox, 0, 1, 1, 2);
  bottom->addWidget(Label14, 1, 0);
  bottom->addWidget(Edit3, 1, 1, 1, 2);
  bottom->addWidget(Label15, 2, 0);
  bottom->addWidget(Edit4, 2, 1, 1, 2);
  bottom->addWidget(Label16, 3, 0);
  bottom->addWidget(Edit5, 3, 1);
  bottom->addWidget(Button1, 3, 2);
  root->addLayout(bottom);

  BitBtn1 = new QPushButton("OKey", this);
  BitBtn1->setObjectName("BitBtn1");
  SetGlyph(BitBtn1, Glyph::Ok);
  BitBtn1->setDefault(true);
  root->addWidget(BitBtn1, 0, Qt::AlignRight);

  connect(BitBtn1, &QPushButton::clicked, this, &TForm7::BitBtn1Click);
  connect(Button1, &QPushButton::clicked, this, &TForm7::Button1Click);
}

void TForm7::SetCaptions() {
  const int column = state_.Language;
  if (column != 0 && column != 1)
    return;
  setWindowTitle(column == 0 ? QString("Options") : QString::fromUtf8("Опции"));
  for (const Caption &c : kCaptions) {
    const QString text = QString::fromUtf8(c.text[column]);
    if (auto *label = findChild<QLabel *>(c.control))
      label->setText(text);
    else if (auto *check = findChild<QCheckBox *>(c.control))
      check->setText(text);
  }
  iDCT_Box->setItemText(0, column == 0 ? QString("0 : Default value (in .d2v file)")
                                       : QString::fromUtf8("0 : по дефолту (из .d2v файла)"));
  const char *methods[2][3] = {{"Auto", "Exact", "Manual"}, {"Авто", "Точно", "Вручную"}};
  for (int i = 0; i < 3; ++i)
    ResizeBox->setItemText(i, QString::fromUtf8(methods[column][i]));
}

bool TForm7::FillNumber(const QString &value, int &number) {
  if (StrToIntStrict(value.toStdString(), number))
    return true;
  dialogs_->showMessage(QString("'%1' is not a valid integer value").arg(value));
  return false;
}

bool TForm7::FormActivate() {
  SetCaptions();
  const Settings &s = state_.settings;
  filled_.fill(false);
  auto filled = [this](Setting key) { filled_[static_cast<int>(key)] = true; };
  int n = 0;

  if (!FillNumber(s[Setting::Language], n))
    return false;
  shownLanguage_ = s[Setting::Language];
  const int choice = 1 - n;
  LanguageRussian->setAutoExclusive(false);
  LanguageEnglish->setAutoExclusive(false);
  LanguageRussian->setChecked(choice == 0);
  LanguageEnglish->setChecked(choice == 1);
  LanguageRussian->setAutoExclusive(true);
  LanguageEnglish->setAutoExclusive(true);
  filled(Setting::Language);

  CheckBox1->setChecked(s[Setting::VobScan] == QLatin1String("1"));
  filled(Setting::VobScan);
  Memo1->setPlainText(filterItems_ ? filterItems_().join('\n') : QString());
  filled(Setting::Filters);
  Edit2->setText(s[Setting::Sharpen]);
  filled(Setting::Sharpen);
  CheckBox3->setChecked(s[Setting::FieldOrder] == QLatin1String("1"));
  filled(Setting::FieldOrder);

  QSlider *sensitivities[] = {TrackBar1, TrackBar2, TrackBar3};
  const Setting sensitivityKeys[] = {Setting::InterlaceSens, Setting::LightSens, Setting::RoundSens};
  for (int i = 0; i < 3; ++i) {
    if (!FillNumber(s[sensitivityKeys[i]], n))
      return false;
    sensitivities[i]->setValue(n);
    filled(sensitivityKeys[i]);
  }

  if (!FillNumber(s[Setting::AutoCropBalance], n))
    return false;
  for (int stop = 0; stop < 5; ++stop)
    if (QString(kBalanceStops[stop]).toInt() == n)
      TrackBar4->setValue(stop);
  filled(Setting::AutoCropBalance);

  CheckBox2->setChecked(s[Setting::HorizontalCrop] == QLatin1String("1"));
  filled(Setting::HorizontalCrop);
  if (!FillNumber(s[Setting::ResizeMethod], n))
    return false;
  ResizeBox->setCurrentIndex(n >= 0 && n < ResizeBox->count() ? n : -1);
  filled(Setting::ResizeMethod);
  Edit3->setText(s[Setting::GoodQuality]);
  filled(Setting::GoodQuality);
  if (!FillNumber(s[Setting::ResizeWidth], n))
    return false;
  Edit4->setPosition(n);
  Edit4->setText(QString::number(n));
  filled(Setting::ResizeWidth);
  Edit5->setText(s[Setting::VDubMod]);
  filled(Setting::VDubMod);

  // The parameters the script really uses win over the setting.
  QString params = s[Setting::Mpeg2Source];
  for (const QString &line : scriptLines_ ? scriptLines_() : QStringList()) {
    if (line.toUpper().contains("MPEG2SOURCE(")) {
      params = line;
      break;
    }
  }
  shownIdct_ = 0;
  shownCpu_ = 0;
  shownIpp_ = false;
  UseM2S_Box->setChecked(ParseMpeg2SourceParams(params, shownIdct_, shownCpu_, shownIpp_));
  iDCT_Box->setCurrentIndex(shownIdct_ >= 0 && shownIdct_ < iDCT_Box->count() ? shownIdct_ : -1);
  CPU_Box->setCurrentIndex(shownCpu_ >= 0 && shownCpu_ < CPU_Box->count() ? shownCpu_ : -1);
  iPP_Box->setCurrentIndex(shownIpp_ ? 1 : 0);
  filled(Setting::Mpeg2Source);
  return true;
}

void TForm7::BitBtn1Click() {
  // Only what this activation showed is stored; see filled_.
  Settings s = state_.settings;
  // A group or list left without a selection keeps the value it was shown.
  if (LanguageRussian->isChecked())
    s[Setting::Language] = "1";
  else if (LanguageEnglish->isChecked())
    s[Setting::Language] = "0";
  else
    s[Setting::Language] = shownLanguage_;
  s[Setting::VobScan] = CheckBox1->isChecked() ? "1" : "0";
  QStringList filters = Memo1->toPlainText().split('\n');
  if (filters.size() > 1 && filters.last().isEmpty())
    filters.removeLast(); // a final line break adds no item
  s[Setting::Filters] = filters.join(';');
  if (UseM2S_Box->isChecked()) {
    const int idct = iDCT_Box->currentIndex() >= 0 ? iDCT_Box->currentIndex() : shownIdct_;
    const int cpu = CPU_Box->currentIndex() >= 0 ? CPU_Box->currentIndex() : shownCpu_;
    const bool ipp = iPP_Box->currentIndex() >= 0 ? iPP_Box->currentIndex() == 1 : shownIpp_;
    s[Setting::Mpeg2Source] = QString("idct=%1,cpu=%2,iPP=%3").arg(idct).arg(cpu).arg(ipp ? "true" : "false");
  } else {
    s[Setting::Mpeg2Source].clear();
  }
  s[Setting::Sharpen] = Edit2->text();
  s[Setting::FieldOrder] = CheckBox3->isChecked() ? "1" : "0";
  s[Setting::InterlaceSens] = QString::number(TrackBar1->value());
  s[Setting::LightSens] = QString::number(TrackBar2->value());
  s[Setting::RoundSens] = QString::number(TrackBar3->value());
  s[Setting::AutoCropBalance] = kBalanceStops[TrackBar4->value()];
  s[Setting::HorizontalCrop] = CheckBox2->isChecked() ? "1" : "0";
  if (ResizeBox->currentIndex() >= 0)
    s[Setting::ResizeMethod] = QString::number(ResizeBox->currentIndex());
  s[Setting::GoodQuality] = Edit3->text();
  s[Setting::ResizeWidth] = Edit4->text();
  s[Setting::VDubMod] = Edit5->text();
  for (int i = 0; i < kSettingCount; ++i)
    if (filled_[i])
      state_.settings.values[i] = s.values[i];
  accept();
}

void TForm7::Button1Click() {
  const auto chosen = dialogs_->askOpenFileName(QString());
  if (!chosen || chosen->isEmpty())
    return;
  Edit5->setText(QFileInfo(*chosen).absolutePath());
}

void TForm7::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  FormActivate();
}

} // namespace reelwork
