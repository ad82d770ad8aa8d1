#include "deinterlace/deinterlace_dialog.h"

#include "app/glyphs.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

#include "app/shared_state.h"
#include "deinterlace/deinterlace_methods.h"
#include "deinterlace/field_order.h"

namespace reelwork {

namespace {

template <typename W> W *Named(W *widget, const char *name) {
  widget->setObjectName(name);
  return widget;
}

} // namespace

TForm5::TForm5(SharedState &state, const FieldOrderView &fieldOrder, QWidget *parent)
    : QDialog(parent), state_(state), fieldOrder_(fieldOrder) {
  setObjectName("Form5");
  resize(446, 414);

  RadioGroup1 = Named(new QGroupBox(this), "RadioGroup1");
  CPAL = Named(new QRadioButton("PAL", RadioGroup1), "CPAL");
  CNTSC = Named(new QRadioButton("NTSC", RadioGroup1), "CNTSC");
  auto *systems = new QHBoxLayout(RadioGroup1);
  systems->addWidget(CPAL);
  systems->addWidget(CNTSC);
  CPAL->setChecked(true);

  CheckBox1 = Named(new QCheckBox(this), "CheckBox1");
  CheckBox1->setChecked(true);
  Label1 = Named(new QLabel(this), "Label1");
  Label2 = Named(new QLabel(this), "Label2");
  MethodBox = Named(new QListWidget(this), "MethodBox");
  Label3 = Named(new QLabel(this), "Label3");
  ExpMemo = Named(new QPlainTextEdit(this), "ExpMemo");
  ExpMemo->setReadOnly(true);
  ExpMemo->setMaximumHeight(80);
  Label4 = Named(new QLabel(this), "Label4");
  AvsMemo = Named(new QPlainTextEdit(this), "AvsMemo");
  AvsMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
  BitBtn1 = Named(new QPushButton("Cancel", this), "BitBtn1");
  BitBtn2 = Named(new QPushButton("OKey", this), "BitBtn2");
  BitBtn2->setDefault(true);
  SetGlyph(BitBtn1, Glyph::Cancel);
  SetGlyph(BitBtn2, Glyph::Ok);

  auto *left = new QVBoxLayout;
  left->addWidget(RadioGroup1);
  auto *params = new QHBoxLayout;
  params->addWidget(CheckBox1);
  params->addWidget(Label1, 1);
  left->addLayout(params);
  left->addWidget(Label2);
  left->addStretch(1);
  auto *top = new QHBoxLayout;
  top->addLayout(left, 2);
  top->addWidget(MethodBox, 3);
  auto *buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(BitBtn1);
  buttons->addWidget(BitBtn2);
  auto *layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(Label3);
  layout->addWidget(ExpMemo);
  layout->addWidget(Label4);
  layout->addWidget(AvsMemo, 1);
  layout->addLayout(buttons);

  connect(CPAL, &QRadioButton::clicked, this, &TForm5::CPALClick);
  connect(CNTSC, &QRadioButton::clicked, this, &TForm5::CPALClick);
  connect(MethodBox, &QListWidget::itemClicked, this, &TForm5::MethodBoxClick);
  // Choosing a row with the keyboard shows it as a click does.
  connect(MethodBox, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0)
      ShowMethod(row);
  });
  connect(BitBtn1, &QPushButton::clicked, this, [this] { done(kCancel); });
  connect(BitBtn2, &QPushButton::clicked, this, [this] {
    BitBtn2Click();
    done(1);
  });
}

int TForm5::TvRow() const { return CNTSC->isChecked() ? NtscRow : PalRow; }

QStringList TForm5::Commands() const { return AvsMemo->toPlainText().split('\n'); }

int TForm5::Run(QStringList &commands) {
  const int result = exec();
  if (result == 1)
    commands = Commands();
  return result;
}

void TForm5::FormActivate() {
  const bool english = state_.Language == 0;
  setWindowTitle(english ? "Deinterlacing" : QString::fromUtf8("Деинтерлейс"));
  Label1->setText(english ? "Change parameters" : QString::fromUtf8("Корректировать параметры"));
  Label2->setText(english ? "of Mpeg2Source command:" : QString::fromUtf8("команды Mpeg2Source :"));
  Label3->setText(english ? "Short Description of choosen deinterlacing :"
                          : QString::fromUtf8("Краткое описание текущего деинтерлейса :"));
  Label4->setText(english ? "Script commands for choosen deinterlacing :"
                          : QString::fromUtf8("Скрипт-команды длям текущего деинтерлейса :"));
  if (ChooseTvSystemRow(state_.TvSystem, state_.FrameRate) == PalRow)
    CPAL->setChecked(true);
  else
    CNTSC->setChecked(true);
  FillMethods();
}

void TForm5::CPALClick() { FillMethods(); }

void TForm5::MethodBoxClick() { ShowMethod(MethodBox->currentRow()); }

void TForm5::FillMethods() {
  // Wide enough for the longest method of either system in this language, so
  // that switching between PAL and NTSC never cuts an entry.
  int widest = 0;
  for (int row : {PalRow, NtscRow})
    for (const DeinterlaceMethod &m : DeinterlaceMethods(row, FieldOrderChar(fieldOrder_), state_.Language))
      widest = std::max(widest, MethodBox->fontMetrics().horizontalAdvance(m.listText));
  MethodBox->setMinimumWidth(widest + 2 * MethodBox->frameWidth() + 2 * MethodBox->spacing() +
                             MethodBox->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 12);
  MethodBox->clear();
  for (const DeinterlaceMethod &m : DeinterlaceMethods(TvRow(), FieldOrderChar(fieldOrder_), state_.Language))
    MethodBox->addItem(m.listText);
  MethodBox->setCurrentRow(0);
  ShowMethod(0);
}

void TForm5::ShowMethod(int row) {
  AvsMemo->clear();
  ExpMemo->clear();
  const auto methods = DeinterlaceMethods(TvRow(), FieldOrderChar(fieldOrder_), state_.Language);
  if (row < 0 || row >= methods.size())
    return;
  AvsMemo->setPlainText(methods[row].commands.join('\n'));
  ExpMemo->setPlainText(methods[row].description);
}

void TForm5::BitBtn2Click() {
  if (!CheckBox1->isChecked())
    return;
  QString &setting = state_.settings[Setting::Mpeg2Source];
  setting = Mpeg2SourceAfterOKey(setting, TvRow(), MethodBox->currentRow());
}

void TForm5::reject() { done(kCancel); }

void TForm5::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  FormActivate();
}

} // namespace reelwork
