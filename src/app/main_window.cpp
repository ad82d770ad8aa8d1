#include "app/main_window.h"

#include <QApplication>
#include <QChildEvent>
#include <QCloseEvent>
#include <QDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStandardPaths>
#include <QStyle>
#include <QVBoxLayout>
#include <chrono>

#include "app/dialog_folder.h"
#include "app/glyphs.h"
#include "app/language.h"
#include "calculator/calculator_dialog.h"
#include "calculator/workbench_calculator_host.h"
#include "crop/crop_dialog.h"
#include "crop/crop_tool.h"
#include "deinterlace/deinterlace_dialog.h"
#include "deinterlace/deinterlace_wiring.h"
#include "resize/resize_tool.h"
#include "resize/resize_windows.h"
#include "tools/frame_searches.h"
#include "tools/round_test.h"
#include "app/widget_dialogs.h"
#include "common/text_file.h"
#include "preview/tick_slider.h"
#include "script/filter_list.h"
#include "preview/preview_display.h"
#include "script/file_chooser_dialog.h"
#include "settings/options_dialog.h"
#include "script/memo_editor.h"
#include "script/index_progress_dialog.h"
#include "tools/program_launcher.h"

namespace reelwork {

namespace {

constexpr int kLeftColumnWidth = 209;
constexpr int kMinWidth = 800;
constexpr int kMinHeight = 450;

QPushButton *MakeButton(QWidget *parent, const char *name, Glyph glyph) {
  auto *button = new QPushButton(parent);
  button->setObjectName(name);
  SetGlyph(button, glyph);
  button->setFixedHeight(28);
  return button;
}

// Sets an item's check mark and remembers it, so that only a user's toggle
// reads as a change.
void SetItemCheck(QListWidgetItem *item, bool checked) {
  const Qt::CheckState state = checked ? Qt::Checked : Qt::Unchecked;
  item->setCheckState(state);
  item->setData(Qt::UserRole, static_cast<int>(state));
}

// Sets the note line's text, cut with an ellipsis where the line is too
// narrow; the whole text stays in its hint.
void SetElidedText(QLabel *label, const QString &text) {
  label->setToolTip(text);
  label->setText(label->fontMetrics().elidedText(text, Qt::ElideRight, std::max(1, label->width())));
}

QImage ToImage(const RgbImage &picture) {
  if (picture.width <= 0 || picture.height <= 0)
    return {};
  return QImage(picture.pixels.data(), picture.width, picture.height, picture.width * 3, QImage::Format_RGB888)
      .copy();
}

} // namespace

void PrepareUnscaledDisplay() {
  // The design's sizes are screen pixels: no scale factor of the desktop or
  // the user's environment applies, and fonts keep their design size.
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  qputenv("QT_SCALE_FACTOR", "1");
  qunsetenv("QT_SCREEN_SCALE_FACTORS");
  qputenv("QT_FONT_DPI", "96");
}

TForm1::TForm1(const QString &settingsPath, QWidget *parent) : QWidget(parent), settingsPath_(settingsPath) {
  setObjectName("Form1");
  BuildLayout();
  editor_ = std::make_unique<MemoEditor>(Memo1);
  widgetDialogs_ = std::make_unique<WidgetDialogs>(this);
  widgetDialogs_->setStartFolder([this] { return FileDialogFolder(state_.WorkDir); });
  dialogs_ = std::make_unique<SwitchableDialogs>(*widgetDialogs_);
  Form2 = new TForm2(state_, this);
  widgetDialogs_->setFileChooser(Form2);
  Form7 = new TForm7(
      state_, *dialogs_,
      [this] {
        QStringList items;
        for (int i = 0; i < CheckListBox1->count(); ++i)
          items.append(CheckListBox1->item(i)->text());
        return items;
      },
      [this] { return editor_->lines(); }, this);
  script_ = std::make_unique<ScriptModel>(state_, *editor_, *dialogs_, *this);
  opener_ = std::make_unique<SourceOpener>(state_, *script_, *editor_, *dialogs_);
  filterList_ = std::make_unique<FilterList>(state_, *script_, *editor_);
  workbench_ = std::make_unique<Workbench>(Workbench{state_, *editor_, *script_, *filterList_, *dialogs_, *this});

  // The wizards' windows, made once like the main window's other dialogs.
  Form4 = new TForm4(state_, *this, this);
  Form4->setDialogs(dialogs_.get());
  resizeWindows_ = std::make_unique<ResizeWindows>(state_, *this, this, [this] { focusTrackBar(); });
  const auto showError = [this](const QString &text) { dialogs_->showMessage(text); };
  resizeWindows_->Form8->showError = showError;
  resizeWindows_->Form6->showError = showError;
  resizeWindows_->Form9->showError = showError;
  resizeWindows_->Form10->showError = showError;
  calculatorHost_ = std::make_unique<WorkbenchCalculatorHost>(*workbench_, *opener_, [this] { focusTrackBar(); });
  Form3 = new TForm3(state_, *calculatorHost_, this);
  fieldOrderView_ = std::make_unique<ButtonFieldOrderView>(BitBtn10, BitBtn11, Field0);
  Form5 = new TForm5(state_, *fieldOrderView_, this);
  form5Runner_ = std::make_unique<Form5Runner>(*Form5, [this] { focusTrackBar(); });
  FormCreate();
}

TForm1::~TForm1() = default;

ScriptEditor &TForm1::editor() { return *editor_; }

void TForm1::setDialogs(UserDialogs *dialogs) {
  dialogs_->setTarget(dialogs ? *dialogs : *widgetDialogs_);
}

void TForm1::BuildLayout() {
  QFont font("MS Sans Serif");
  font.setPointSize(8);
  setFont(font);
  resize(kMinWidth, 448);

  auto *root = new QHBoxLayout(this);
  root->setContentsMargins(0, 0, 0, 0);
  root->setSpacing(0);

  // Left column: open buttons and field order, the editor, the filter list.
  auto *left = new QWidget(this);
  left->setFixedWidth(kLeftColumnWidth);
  auto *leftLayout = new QVBoxLayout(left);
  leftLayout->setContentsMargins(0, 0, 0, 0);
  leftLayout->setSpacing(0);

  auto *topStrip = new QWidget(left);
  topStrip->setFixedHeight(107);
  BitBtn1 = MakeButton(topStrip, "BitBtn1", Glyph::OpenProject);
  BitBtn13 = MakeButton(topStrip, "BitBtn13", Glyph::OpenScript);
  BitBtn10 = MakeButton(topStrip, "BitBtn10", Glyph::TopField);
  BitBtn11 = MakeButton(topStrip, "BitBtn11", Glyph::BottomField);
  BitBtn1->setGeometry(4, 4, 67, 28);
  BitBtn13->setGeometry(4, 36, 67, 28);
  BitBtn10->setGeometry(75, 4, 67, 28);
  BitBtn11->setGeometry(75, 36, 67, 28);
  RadioGroup1 = new QGroupBox(topStrip);
  RadioGroup1->setObjectName("RadioGroup1");
  RadioGroup1->setGeometry(146, 0, 59, 66);
  QFont bold = font;
  bold.setBold(true);
  Field0 = new QRadioButton("0", RadioGroup1);
  Field0->setObjectName("Field0");
  Field0->setFont(bold);
  Field0->setGeometry(10, 10, 40, 20);
  Field1 = new QRadioButton("1", RadioGroup1);
  Field1->setObjectName("Field1");
  Field1->setFont(bold);
  Field1->setGeometry(10, 36, 40, 20);
  Field1->setChecked(true);
  Bevel1 = new QFrame(topStrip);
  Bevel1->setObjectName("Bevel1");
  Bevel1->setFrameShape(QFrame::HLine);
  Bevel1->setFrameShadow(QFrame::Sunken);
  Bevel1->setGeometry(4, 68, 201, 4);
  BitBtn9 = MakeButton(topStrip, "BitBtn9", Glyph::SaveLoad);
  BitBtn5 = MakeButton(topStrip, "BitBtn5", Glyph::SaveAs);
  BitBtn9->setGeometry(4, 75, 99, 28);
  BitBtn5->setGeometry(106, 75, 99, 28);
  leftLayout->addWidget(topStrip);

  Memo1 = new QPlainTextEdit(left);
  Memo1->setObjectName("Memo1");
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  auto *memoBox = new QVBoxLayout;
  memoBox->setContentsMargins(4, 4, 4, 4);
  memoBox->addWidget(Memo1);
  leftLayout->addLayout(memoBox, 1);

  auto *bottomLeft = new QWidget(left);
  bottomLeft->setFixedHeight(157);
  auto *listBox = new QVBoxLayout(bottomLeft);
  listBox->setContentsMargins(4, 4, 4, 4);
  CheckListBox1 = new QListWidget(bottomLeft);
  CheckListBox1->setObjectName("CheckListBox1");
  listBox->addWidget(CheckListBox1);
  leftLayout->addWidget(bottomLeft);
  root->addWidget(left);

  // Right area: tool buttons with Options and the counters, the preview, the slider.
  auto *right = new QWidget(this);
  auto *rightLayout = new QVBoxLayout(right);
  rightLayout->setContentsMargins(0, 0, 0, 0);
  rightLayout->setSpacing(0);

  auto *tools = new QWidget(right);
  tools->setFixedHeight(64);
  auto *toolsLayout = new QHBoxLayout(tools);
  toolsLayout->setContentsMargins(4, 4, 0, 4);
  toolsLayout->setSpacing(0);
  auto *grid = new QGridLayout;
  grid->setSpacing(0);
  BitBtn12 = MakeButton(tools, "BitBtn12", Glyph::FindInterlace);
  BitBtn2 = MakeButton(tools, "BitBtn2", Glyph::FindLight);
  BitBtn6 = MakeButton(tools, "BitBtn6", Glyph::Resize);
  BitBtn15 = MakeButton(tools, "BitBtn15", Glyph::Round);
  BitBtn8 = MakeButton(tools, "BitBtn8", Glyph::Deinterlace);
  BitBtn7 = MakeButton(tools, "BitBtn7", Glyph::Crop);
  BitBtn14 = MakeButton(tools, "BitBtn14", Glyph::Calculate);
  BitBtn18 = MakeButton(tools, "BitBtn18", Glyph::Encoder);
  QPushButton *upper[] = {BitBtn12, BitBtn2, BitBtn6, BitBtn15};
  QPushButton *lower[] = {BitBtn8, BitBtn7, BitBtn14, BitBtn18};
  for (int i = 0; i < 4; ++i) {
    grid->addWidget(upper[i], 0, i);
    grid->addWidget(lower[i], 1, i);
  }
  toolsLayout->addLayout(grid, 1);
  auto *panel = new QWidget(tools);
  panel->setFixedWidth(103);
  auto *panelLayout = new QVBoxLayout(panel);
  panelLayout->setContentsMargins(12, 0, 12, 0);
  panelLayout->setSpacing(2);
  BitBtn4 = MakeButton(panel, "BitBtn4", Glyph::Options);
  Image2 = new QLabel(panel);
  Image2->setObjectName("Image2");
  Image2->setFixedSize(78, 25);
  panelLayout->addWidget(BitBtn4);
  panelLayout->addWidget(Image2);
  toolsLayout->addWidget(panel);
  rightLayout->addWidget(tools);

  Image1 = new QLabel(right);
  Image1->setObjectName("Image1");
  Image1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // With no video (and around a frame smaller than the area) the preview is black.
  QPalette black = Image1->palette();
  black.setColor(QPalette::Window, Qt::black);
  Image1->setPalette(black);
  Image1->setAutoFillBackground(true);
  Image1->installEventFilter(this);
  NotesLine = new QLabel(right);
  NotesLine->setObjectName("NotesLine");
  NotesLine->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  QPalette notesPalette = NotesLine->palette();
  notesPalette.setColor(QPalette::WindowText, QColor(160, 0, 0));
  NotesLine->setPalette(notesPalette);
  NotesLine->hide();
  auto *previewBox = new QVBoxLayout;
  previewBox->setContentsMargins(4, 4, 4, 4);
  previewBox->setSpacing(2);
  previewBox->addWidget(Image1, 1);
  previewBox->addWidget(NotesLine);
  rightLayout->addLayout(previewBox, 1);

  auto *bottom = new QWidget(right);
  bottom->setFixedHeight(41);
  auto *bottomLayout = new QHBoxLayout(bottom);
  bottomLayout->setContentsMargins(4, 0, 4, 0);
  BitBtn16 = MakeButton(bottom, "BitBtn16", Glyph::Previous);
  BitBtn16->setFixedWidth(20);
  TrackBar1 = new TickSlider(bottom);
  TrackBar1->setObjectName("TrackBar1");
  TrackBar1->setRange(1, 1);
  BitBtn17 = MakeButton(bottom, "BitBtn17", Glyph::Next);
  BitBtn17->setFixedWidth(20);
  bottomLayout->addWidget(BitBtn16);
  bottomLayout->addWidget(TrackBar1, 1);
  bottomLayout->addWidget(BitBtn17);
  rightLayout->addWidget(bottom);
  root->addWidget(right, 1);

  connect(BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
  connect(BitBtn13, &QPushButton::clicked, this, &TForm1::BitBtn13Click);
  connect(BitBtn10, &QPushButton::clicked, this, &TForm1::BitBtn10Click);
  connect(BitBtn11, &QPushButton::clicked, this, &TForm1::BitBtn11Click);
  connect(Field0, &QRadioButton::clicked, this, &TForm1::Field0Click);
  connect(Field1, &QRadioButton::clicked, this, &TForm1::Field0Click);
  connect(BitBtn9, &QPushButton::clicked, this, &TForm1::BitBtn9Click);
  connect(BitBtn5, &QPushButton::clicked, this, &TForm1::BitBtn5Click);
  connect(BitBtn12, &QPushButton::clicked, this, &TForm1::BitBtn12Click);
  connect(BitBtn8, &QPushButton::clicked, this, &TForm1::BitBtn8Click);
  connect(BitBtn2, &QPushButton::clicked, this, &TForm1::BitBtn2Click);
  connect(BitBtn7, &QPushButton::clicked, this, &TForm1::BitBtn7Click);
  connect(BitBtn6, &QPushButton::clicked, this, &TForm1::BitBtn6Click);
  connect(BitBtn14, &QPushButton::clicked, this, &TForm1::BitBtn14Click);
  connect(BitBtn15, &QPushButton::clicked, this, &TForm1::BitBtn15Click);
  connect(BitBtn18, &QPushButton::clicked, this, &TForm1::BitBtn18Click);
  connect(BitBtn4, &QPushButton::clicked, this, &TForm1::BitBtn4Click);
  connect(BitBtn16, &QPushButton::clicked, this, &TForm1::BitBtn16Click);
  connect(BitBtn17, &QPushButton::clicked, this, &TForm1::BitBtn17Click);
  connect(TrackBar1, &QSlider::valueChanged, this, &TForm1::TrackBar1Change);
  connect(CheckListBox1, &QListWidget::itemClicked, this, &TForm1::CheckListBox1Click);
  connect(CheckListBox1, &QListWidget::itemChanged, this, &TForm1::CheckListBox1ClickCheck);
}

void TForm1::FormCreate() {
  state_.Random.seed(static_cast<std::mt19937::result_type>(
      std::chrono::system_clock::now().time_since_epoch().count()));
  state_.BackupLines.clear();
  state_.SettingsLines.clear();
  setWindowTitle(kBaseCaption);
  const SettingsRead settingsRead = LoadSettings(settingsPath_, state_.settings, state_.SettingsLines);
  ApplySettings();
  SetCaptions(state_.Language);
  if (settingsRead == SettingsRead::Unreadable)
    dialogs_->showMessage(SettingsUnreadableText(settingsPath_, state_.Language));
  state_.VideoOpen = false;
  state_.WorkDir.clear();
  state_.TvSystem.clear();
  state_.ClickX = 0;
  state_.ClickY = 0;
  state_.PreviewBitmap.resize(Image2->width(), Image2->height());
  ShowPreview(QImage());
  QPixmap counters(Image2->size());
  counters.fill(Qt::black);
  Image2->setPixmap(counters);
}

QString TForm1::MessageText(int row) const { return reelwork::MessageText(row, state_.Language); }

void TForm1::SetCaptions(int language) {
  const int column = language == English ? 0 : 1;
  for (const ControlTexts &texts : MainWindowTexts()) {
    auto *control = findChild<QWidget *>(texts.control);
    if (!control)
      continue;
    if (texts.caption[column]) {
      if (auto *button = qobject_cast<QAbstractButton *>(control)) {
        // A running field-order test shows "?" on its button; a change of
        // language keeps it, so that the test can still be ended.
        const bool testing = (button == BitBtn10 || button == BitBtn11) && button->text().endsWith('?');
        button->setText(QString::fromUtf8(texts.caption[column]) + (testing ? "?" : ""));
      }
    }
    control->setToolTip(QString::fromUtf8(texts.hint[column]));
  }
}

void TForm1::ApplySettings() {
  state_.Language = LanguageFromSetting(state_.settings[Setting::Language]);
  ApplyQtLanguage(state_.Language);
  SetCaptions(state_.Language);
  {
    const QSignalBlocker block(CheckListBox1);
    CheckListBox1->clear();
    for (const QString &name : SplitFilterList(state_.settings[Setting::Filters])) {
      auto *item = new QListWidgetItem(name, CheckListBox1);
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      SetItemCheck(item, false);
    }
  }
  syncFilterChecks();
  // The preview's own texts follow the language at once.
  UpdateNotesLine();
  if (!state_.VideoOpen && !state_.VideoError.isEmpty())
    ShowPreview(FailurePicture());
  // Setting the buttons by program does not write the order into the script.
  const QSignalBlocker block0(Field0);
  const QSignalBlocker block1(Field1);
  const bool zero = state_.settings[Setting::FieldOrder] == QLatin1String("0");
  Field0->setChecked(zero);
  Field1->setChecked(!zero);
}

void TForm1::syncFilterChecks() {
  QStringList items;
  for (int i = 0; i < CheckListBox1->count(); ++i)
    items.append(CheckListBox1->item(i)->text());
  const QVector<bool> checks = FilterChecks(items, editor_->lines());
  const QSignalBlocker block(CheckListBox1);
  for (int i = 0; i < CheckListBox1->count(); ++i)
    SetItemCheck(CheckListBox1->item(i), checks[i]);
}

void TForm1::focusTrackBar() { TrackBar1->setFocus(); }

void TForm1::FitWindowToFrame() {
  if (fitting_)
    return;
  fitting_ = true;
  layout()->activate();
  if (state_.VideoOpen) {
    const int wantedWidth = width() + state_.VideoWidth - Image1->width();
    resize(wantedWidth, height());
    if (width() < wantedWidth && x() > 0) {
      move(0, y());
      resize(wantedWidth, height());
    }
    layout()->activate();
    const int wantedHeight = height() + state_.VideoHeight - Image1->height();
    resize(width(), wantedHeight);
    if (height() < wantedHeight && y() > 0) {
      move(x(), 0);
      resize(width(), wantedHeight);
    }
    resize(std::max(width(), kMinWidth), std::max(height(), kMinHeight));
  } else {
    resize(std::max(width(), kMinWidth), std::max(height(), kMinHeight));
    layout()->activate();
    state_.PreviewBitmap.resize(std::max(1, Image1->width()), std::max(1, Image1->height()));
    // A script that cannot be shown says why in place of the black picture.
    ShowPreview(state_.VideoError.isEmpty() ? QImage() : FailurePicture());
  }
  layout()->activate();
  if (const QScreen *screen = this->screen()) {
    const QRect area = screen->geometry();
    if (x() + width() > area.width() && x() > 0)
      move((area.width() - width()) / 2, y());
    if (y() + height() > area.height() && y() > 0)
      move(x(), (area.height() - height()) / 2);
  }
  if (NotesLine->isVisible())
    SetElidedText(NotesLine, NotesLine->toolTip());
  fitting_ = false;
}

void TForm1::resizeEvent(QResizeEvent *event) {
  QWidget::resizeEvent(event);
  FitWindowToFrame();
}

void TForm1::ShowPreview(const QImage &image) {
  // No picture leaves the black background of the preview area.
  if (image.isNull())
    Image1->clear();
  else
    Image1->setPixmap(QPixmap::fromImage(image));
}

void TForm1::OpenVideo(const QString &path) {
  QString error;
  SetBusy(true);
  const bool opened = source_.OpenVideo(path, state_, &error, [this](double fraction) {
    return ReportProgress(WindowText::IndexBuild, fraction);
  });
  SetBusy(false);
  notes_ = source_.notes();
  if (!opened) {
    // The script stays open as a document; the preview shows the reason.
    const bool cancelled = source_.cancelled();
    ShowFailure(cancelled ? WindowTextFor(WindowText::OpeningCancelled, state_.Language) : error);
    if (!cancelled)
      dialogs_->showMessage(MessageText(MsgAvsNotRead), error);
    return;
  }
  state_.VideoError.clear();
  UpdateNotesLine();
  TrackBar1->blockSignals(true);
  TrackBar1->setRange(1, state_.FrameCount);
  TrackBar1->setValue(1);
  TrackBar1->blockSignals(false);
  TrackBar1->setTicks(TenMinuteTicks(state_.FrameCount, state_.FrameRate));
  setWindowTitle(VideoCaption(state_));
  FitWindowToFrame();
}

void TForm1::CloseVideo() { source_.CloseVideo(); }

void TForm1::ShowFailure(const QString &reason) {
  state_.VideoError = reason.isEmpty() ? MessageText(MsgAvsNotRead) : reason;
  shown_ = RgbImage(); // a click into the preview has no frame to mark
  setWindowTitle(QString("%1 - [%2]").arg(kBaseCaption, state_.ScriptName));
  TrackBar1->blockSignals(true);
  TrackBar1->setRange(1, 1);
  TrackBar1->blockSignals(false);
  TrackBar1->clearTicks();
  QPixmap counters(Image2->size());
  counters.fill(Qt::black);
  Image2->setPixmap(counters);
  UpdateNotesLine();
  FitWindowToFrame();
  ShowPreview(FailurePicture());
}

QImage TForm1::FailurePicture() const {
  // The reason drawn into the picture, as a script host shows a script error.
  QImage image(Image1->size().expandedTo(QSize(1, 1)), QImage::Format_RGB888);
  image.fill(Qt::black);
  QPainter painter(&image);
  QFont font;
  font.setFamilies({"DejaVu Sans Mono", "Liberation Mono", "Monospace"});
  font.setPixelSize(14);
  const QRect area = image.rect().adjusted(12, 12, -12, -12);
  int y = area.top();
  const QStringList lines = FailureLines(state_.ScriptName, state_.VideoError, state_.Language);
  for (int i = 0; i < lines.size(); ++i) {
    font.setBold(i == 0);
    painter.setFont(font);
    painter.setPen(i == 0 ? QColor(255, 112, 112) : QColor(255, 255, 176));
    const QRect room(area.left(), y, area.width(), std::max(0, area.bottom() - y));
    QRect used;
    painter.drawText(room, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, lines[i], &used);
    y += std::max(used.height(), painter.fontMetrics().height()) + 6;
  }
  return image;
}

void TForm1::UpdateNotesLine() {
  const QString text = state_.VideoOpen ? PreviewNotesLine(notes_, state_.Language) : QString();
  NotesLine->setVisible(!text.isEmpty());
  layout()->activate();
  SetElidedText(NotesLine, text);
}

void TForm1::showCurrentFrame() {
  // A reload after a failed first opening may carry no frame yet.
  ShowFrame(std::max(1, state_.CurrentFrame));
}

void TForm1::ShowFrame(int n) {
  if (!source_.isOpen())
    return;
  QString error;
  const bool decoded = source_.GetFrame(n, state_.PreviewBitmap, &error);
  // Damage met while decoding (a project opened from its data lines finds it
  // only then) joins the line under the picture.
  if (source_.notes().damaged != notes_.damaged) {
    notes_.damaged = source_.notes().damaged;
    UpdateNotesLine();
  }
  if (!decoded) {
    // A frame that cannot be decoded (damage, files changed since opening)
    // shows why in its place; the video stays open for the other frames.
    // The tools that read the frame find a black one of the video's size.
    state_.VideoError = error;
    ShowPreview(FailurePicture());
    state_.VideoError.clear();
    shown_.resize(state_.VideoWidth, state_.VideoHeight);
    frameFailed_ = true;
    DrawCounters(n);
    state_.CurrentFrame = n;
    TrackBar1->setPositionQuietly(n);
    return;
  }
  frameFailed_ = false;
  shown_ = state_.PreviewBitmap;
  ShowPreview(ToImage(shown_));
  DrawCounters(n);
  state_.CurrentFrame = n;
  TrackBar1->setPositionQuietly(n);
  // During a search every sampled frame is painted as it is shown.
  if (busy_) {
    Image1->repaint();
    Image2->repaint();
  }
}

void TForm1::DrawCounters(int n) {
  QImage counters(Image2->size(), QImage::Format_RGB888);
  counters.fill(Qt::black);
  QPainter painter(&counters);
  const QString frameLine = FrameCounterLine(n);
  const QString timeLine = TimeCounterLine(n, state_.FrameRate);
  // Arial 8 where it exists; a wider stand-in shrinks until both lines fit.
  QFont font;
  font.setFamilies({"Arial", "Liberation Sans", "DejaVu Sans Condensed", "DejaVu Sans"});
  const int room = counters.width() - 5;
  for (int pixels = 11; pixels >= 7; --pixels) {
    font.setPixelSize(pixels);
    const QFontMetrics metrics(font);
    if (metrics.horizontalAdvance(frameLine) <= room && metrics.horizontalAdvance(timeLine) <= room)
      break;
  }
  painter.setFont(font);
  const int lineHeight = 11;
  painter.setPen(QColor(192, 220, 192));
  painter.drawText(QRect(4, 0, counters.width() - 4, lineHeight + 3), Qt::AlignLeft | Qt::AlignTop, frameLine);
  painter.setPen(QColor(166, 202, 240));
  painter.drawText(QRect(4, lineHeight, counters.width() - 4, lineHeight + 3), Qt::AlignLeft | Qt::AlignTop,
                   timeLine);
  painter.end();
  Image2->setPixmap(QPixmap::fromImage(counters));
}

void TForm1::SetTrackBarPosition(int n) { TrackBar1->setValue(n); }

int TForm1::TrackBarPosition() const { return TrackBar1->value(); }

QVector<int> TForm1::TrackBarTicks() const { return TrackBar1->ticks(); }

void TForm1::ShowPicture(const RgbImage &picture) {
  frameFailed_ = false;
  shown_ = picture;
  ShowPreview(ToImage(shown_));
  if (busy_)
    Image1->repaint();
}

void TForm1::SetBusy(bool busy) {
  // Long work may open a video inside it (a reload): the outermost pair counts.
  busyDepth_ = std::max(0, busyDepth_ + (busy ? 1 : -1));
  if ((busyDepth_ > 0) == busy_)
    return;
  busy_ = busyDepth_ > 0;
  if (busy_) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    progress_.reset();
    QApplication::restoreOverrideCursor();
  }
}

bool TForm1::ReportProgress(WindowText work, double fraction) {
  if (!busy_)
    return true;
  if (!progress_ || progressWork_ != work) {
    // Over the dialog that runs the work (the calculator's title search).
    QWidget *over = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : this;
    progress_.reset();
    progress_ = std::make_unique<ProgressWindow>(over, WindowTextFor(work, state_.Language),
                                                 WindowTextFor(WindowText::Cancel, state_.Language));
    progressWork_ = work;
  }
  return progress_->report(fraction);
}

int TForm1::AverageBrightness() {
  return reelwork::AverageBrightness(shown_, state_.VideoWidth, state_.VideoHeight, state_.Random);
}

void TForm1::Image1Click(const QPoint &point) {
  state_.ClickX = point.x();
  state_.ClickY = point.y();
  // The mark goes on the picture shown only, not on the frame itself (and
  // not over the reason a frame cannot be shown).
  if (!frameFailed_ && point.x() >= 0 && point.y() >= 0 && point.x() < shown_.width && point.y() < shown_.height) {
    std::uint8_t *p = shown_.at(point.x(), point.y());
    p[0] = 255;
    p[1] = 0;
    p[2] = 0;
    ShowPreview(ToImage(shown_));
  }
  focusTrackBar();
}

void TForm1::childEvent(QChildEvent *event) {
  QWidget::childEvent(event);
  // Every dialog over the window is watched, so that its closing gives the
  // frame slider the keyboard focus however it closed.
  if (event->polished())
    if (auto *dialog = qobject_cast<QDialog *>(event->child()))
      dialog->installEventFilter(this);
}

bool TForm1::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::Hide && watched != this && qobject_cast<QDialog *>(watched)) {
    focusTrackBar();
    return false;
  }
  if (watched == Image1 && event->type() == QEvent::MouseButtonPress) {
    Image1Click(static_cast<QMouseEvent *>(event)->position().toPoint());
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TForm1::CheckListBox1Click(QListWidgetItem *item) {
  if (!item)
    return;
  filterList_->Click(item->text());
  focusTrackBar();
}

void TForm1::CheckListBox1ClickCheck(QListWidgetItem *item) {
  // Only a toggled check box counts; other changes of an item do not.
  if (!item || item->data(Qt::UserRole).toInt() == item->checkState())
    return;
  const bool checked = item->checkState() == Qt::Checked;
  const QString text = item->text();
  const int row = CheckListBox1->row(item);
  const bool after = filterList_->ClickCheck(text, checked, Field1->isChecked() ? '1' : '0');
  // A reload has set the marks from the script; without one (a refused
  // change) the mark takes what the check-list operation says.
  QListWidgetItem *again = CheckListBox1->item(row);
  if (again && again->data(Qt::UserRole).toInt() != again->checkState()) {
    const QSignalBlocker block(CheckListBox1);
    SetItemCheck(again, after);
  }
}

void TForm1::TrackBar1Change(int position) {
  if (!state_.VideoOpen)
    return;
  state_.CurrentFrame = position;
  ShowFrame(position);
}

void TForm1::BitBtn16Click() {
  if (state_.VideoOpen && state_.CurrentFrame >= 2)
    ShowFrame(state_.CurrentFrame - 1);
}

void TForm1::BitBtn17Click() {
  if (state_.VideoOpen && state_.CurrentFrame < state_.FrameCount)
    ShowFrame(state_.CurrentFrame + 1);
}

void TForm1::BitBtn1Click() {
  state_.CurrentFrame = 1;
  // A project, or VOB files and DVD folders, for which the project is made first.
  OpenD2VOrDisc(*opener_, *dialogs_, state_.Language,
                IndexProgressRunner(this, DiscText(state_.Language, kCancelText)));
}

void TForm1::BitBtn13Click() {
  state_.CurrentFrame = 1;
  opener_->OpenAvsFile();
}

bool TForm1::OpenGivenFile(const QString &path) {
  const QFileInfo file(path);
  const QString suffix = file.suffix().toLower();
  if (suffix != "d2v" && suffix != "avs")
    return false;
  state_.CurrentFrame = 1;
  if (suffix == "d2v")
    opener_->OpenD2VPath(file.absoluteFilePath());
  else
    opener_->OpenAvsPath(file.absoluteFilePath());
  return true;
}

// The tools: each checks first that a script is open.
void TForm1::BitBtn10Click() { reelwork::BitBtn10Click(*workbench_, *fieldOrderView_); }
void TForm1::BitBtn11Click() { reelwork::BitBtn11Click(*workbench_, *fieldOrderView_); }
void TForm1::Field0Click() { reelwork::Field0Click(*workbench_, *fieldOrderView_); }
void TForm1::BitBtn8Click() { reelwork::BitBtn8Click(*workbench_, *form5Runner_); }

void TForm1::BitBtn12Click() {
  FindInterlacedFrame(*workbench_);
  focusTrackBar();
}

void TForm1::BitBtn2Click() {
  // A found frame leaves the focus where it was, as the search left it.
  if (FindLightFrame(*workbench_).outcome != SearchOutcome::Found)
    focusTrackBar();
}

void TForm1::BitBtn15Click() {
  TestRound(*workbench_);
  focusTrackBar();
}

void TForm1::BitBtn7Click() {
  MakeCrop(*workbench_, *Form4);
  focusTrackBar();
}

void TForm1::BitBtn6Click() { MakeResize(*workbench_, *resizeWindows_); }

void TForm1::BitBtn14Click() {
  if (script_->CheckScriptOpen())
    Form3->exec();
}

void TForm1::BitBtn9Click() { script_->SaveLoad(); }
void TForm1::BitBtn5Click() { script_->SaveAs(); }

void TForm1::BitBtn4Click() {
  // The settings are written and applied whichever way the dialog closes.
  Form7->exec();
  if (SaveFailure failure; !SaveSettings(settingsPath_, state_.settings, state_.SettingsLines, &failure))
    dialogs_->showMessage(SaveFailureText(failure, state_.Language));
  ApplySettings();
  focusTrackBar();
}

void TForm1::BitBtn18Click() {
  if (!script_->CheckScriptOpen())
    return;
  const QString wine = QStandardPaths::findExecutable("wine");
  const QString problem = StartVirtualDubMod(state_.settings[Setting::VDubMod], state_.ScriptPath(), wine,
                                             state_.Language);
  if (!problem.isEmpty()) {
    dialogs_->showMessage(problem);
    return;
  }
  close();
}

bool TForm1::FormClose() {
  if (closed_)
    return true;
  if (!script_->AskSaveChanges()) {
    focusTrackBar();
    return false;
  }
  closed_ = true;
  state_.BackupLines.clear();
  state_.SettingsLines.clear();
  if (state_.VideoOpen)
    CloseVideo();
  return true;
}

void TForm1::closeEvent(QCloseEvent *event) {
  if (FormClose())
    event->accept();
  else
    event->ignore();
}

} // namespace reelwork
