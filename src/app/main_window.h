#pragma once
// The main window: the script editor, the filter check-list, the preview with
// its counters and slider, and one button per tool. It owns the state shared
// by every dialog and tool.

#include <QImage>
#include <QWidget>
#include <memory>

#include "app/shared_state.h"
#include "preview/frame_source.h"
#include "script/script_host.h"
#include "script/filter_list.h"
#include "script/script_model.h"
#include "script/source_opening.h"
#include "tools/workbench.h"

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QGroupBox;
class QFrame;

namespace reelwork {

// Makes the windows of this process draw one screen pixel per design pixel
// whatever scaling the desktop asks for, so that the preview shows a frame
// pixel for pixel. Call before the QApplication is made.
void PrepareUnscaledDisplay();

class ButtonFieldOrderView;
class ProgressWindow;
class Form5Runner;
class MemoEditor;
class ResizeWindows;
class TForm2;
class TForm3;
class TForm4;
class TForm5;
class TForm7;
class WorkbenchCalculatorHost;
class TickSlider;
class WidgetDialogs;

// Passes every question on to the dialogs set last, so that the models and
// tools made once keep working when the answers come from elsewhere.
class SwitchableDialogs : public UserDialogs {
public:
  explicit SwitchableDialogs(UserDialogs &target) : target_(&target) {}
  void setTarget(UserDialogs &target) { target_ = &target; }
  void showMessage(const QString &text) override { target_->showMessage(text); }
  void showMessage(const QString &text, const QString &detail) override { target_->showMessage(text, detail); }
  bool askYesNo(const QString &text) override { return target_->askYesNo(text); }
  CloseAnswer askSaveAtClose(const QString &text) override { return target_->askSaveAtClose(text); }
  bool askOkCancel(const QString &text) override { return target_->askOkCancel(text); }
  std::optional<QString> askSaveFileName(const QString &filter) override { return target_->askSaveFileName(filter); }
  std::optional<QString> askOpenFileName(const QString &filter) override { return target_->askOpenFileName(filter); }
  QStringList runFileChooser(const QString &searchMask, int &chosenIndex) override {
    return target_->runFileChooser(searchMask, chosenIndex);
  }

private:
  UserDialogs *target_;
};

class TForm1 : public QWidget, public ScriptView, public FramePreview {
  Q_OBJECT
public:
  // `settingsPath` is where Reelwork.ini is read and written.
  explicit TForm1(const QString &settingsPath = SettingsFilePath(), QWidget *parent = nullptr);
  ~TForm1() override;

  SharedState &state() { return state_; }
  ScriptModel &script() { return *script_; }
  ScriptEditor &editor();
  // Replaces the message boxes and file dialogs (tests give scripted answers).
  void setDialogs(UserDialogs *dialogs);
  UserDialogs &dialogs() { return *dialogs_; }

  QString MessageText(int row) const;
  void SetCaptions(int language);
  void ApplySettings();
  void FitWindowToFrame();

  // The preview as the tools use it.
  void ShowFrame(int n) override;
  void SetTrackBarPosition(int n) override;
  int TrackBarPosition() const override;
  QVector<int> TrackBarTicks() const override;
  const RgbImage &ShownPicture() const override { return shown_; }
  int AverageBrightness() override;
  void ShowPicture(const RgbImage &picture) override;
  void SetBusy(bool busy) override;
  bool ReportProgress(WindowText work, double fraction) override;

  // Everything a tool or wizard works with.
  Workbench &workbench() { return *workbench_; }

  // Opens a script as video: figures, slider range and ticks, caption, fit.
  void OpenVideo(const QString &path);
  // Opens a project (.d2v) or script (.avs) named on the command line or by
  // the file manager, as the D2V and AVS buttons would; false for any other.
  bool OpenGivenFile(const QString &path);
  void CloseVideo();
  SourceOpener &opener() { return *opener_; }
  FilterList &filterList() { return *filterList_; }

  TForm2 *Form2; // the file chooser
  TForm3 *Form3; // the bitrate calculator
  TForm4 *Form4; // the crop dialog
  TForm5 *Form5; // the deinterlace wizard
  TForm7 *Form7; // the options
  ResizeWindows &resizeWindows() { return *resizeWindows_; }

  // Controls, named as in the window's design.
  QPushButton *BitBtn1;      // "D2V"
  QPushButton *BitBtn13;     // "AVS"
  QPushButton *BitBtn10;     // "TFF"
  QPushButton *BitBtn11;     // "BFF"
  QGroupBox *RadioGroup1;    // frame around the field-order buttons
  QRadioButton *Field0;      // field order "0"
  QRadioButton *Field1;      // field order "1"
  QFrame *Bevel1;            // rule under the field-order strip
  QPushButton *BitBtn9;      // "Save-Load"
  QPushButton *BitBtn5;      // "Save As"
  QPlainTextEdit *Memo1;     // the script editor
  QListWidget *CheckListBox1; // the filter check-list
  QPushButton *BitBtn12;     // "Find Interlace"
  QPushButton *BitBtn2;      // "Find Light"
  QPushButton *BitBtn6;      // "Resize"
  QPushButton *BitBtn15;     // "Test Round"
  QPushButton *BitBtn8;      // "Deinterlace"
  QPushButton *BitBtn7;      // "Make Crop"
  QPushButton *BitBtn14;     // "Calculate"
  QPushButton *BitBtn18;     // "VDubMod"
  QPushButton *BitBtn4;      // "Options"
  QLabel *Image2;            // frame and time counters
  QLabel *Image1;            // the preview picture
  QLabel *NotesLine;         // under the preview: what it leaves out
  QPushButton *BitBtn16;     // one frame left
  TickSlider *TrackBar1;     // frame slider
  QPushButton *BitBtn17;     // one frame right

public slots:
  void BitBtn1Click();
  void BitBtn13Click();
  void BitBtn10Click();
  void BitBtn11Click();
  void Field0Click();
  void BitBtn9Click();
  void BitBtn5Click();
  void BitBtn12Click();
  void BitBtn8Click();
  void BitBtn2Click();
  void BitBtn7Click();
  void BitBtn6Click();
  void BitBtn14Click();
  void BitBtn15Click();
  void BitBtn18Click();
  void BitBtn4Click();
  void BitBtn16Click();
  void BitBtn17Click();
  void TrackBar1Change(int position);
  void Image1Click(const QPoint &point);
  void CheckListBox1Click(QListWidgetItem *item);
  void CheckListBox1ClickCheck(QListWidgetItem *item);

protected:
  void resizeEvent(QResizeEvent *event) override;
  void closeEvent(QCloseEvent *event) override;
  void childEvent(QChildEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void FormCreate();
  // False when the window stays open (the question was cancelled or the
  // save failed).
  bool FormClose();
  // The open script cannot be shown: the preview says why.
  void ShowFailure(const QString &reason);
  QImage FailurePicture() const;
  void UpdateNotesLine();
  void BuildLayout();
  void ShowPreview(const QImage &image);
  void DrawCounters(int n);

  // ScriptView
  void openVideo(const QString &path) override { OpenVideo(path); }
  void syncFilterChecks() override;
  void showCurrentFrame() override;
  void focusTrackBar() override;

  QString settingsPath_;
  SharedState state_;
  FrameSource source_;
  std::unique_ptr<MemoEditor> editor_;
  std::unique_ptr<WidgetDialogs> widgetDialogs_;
  // Every model and tool talks to the user through this one; tests point it
  // at scripted answers.
  std::unique_ptr<SwitchableDialogs> dialogs_;
  std::unique_ptr<ScriptModel> script_;
  std::unique_ptr<SourceOpener> opener_;
  std::unique_ptr<FilterList> filterList_;
  std::unique_ptr<Workbench> workbench_;
  std::unique_ptr<ButtonFieldOrderView> fieldOrderView_;
  std::unique_ptr<Form5Runner> form5Runner_;
  std::unique_ptr<ResizeWindows> resizeWindows_;
  std::unique_ptr<WorkbenchCalculatorHost> calculatorHost_;
  RgbImage shown_;
  bool frameFailed_ = false; // the preview shows why the current frame cannot be decoded
  engine::PreviewNotes notes_;
  std::unique_ptr<ProgressWindow> progress_;
  WindowText progressWork_ = WindowText::IndexBuild;
  int busyDepth_ = 0;
  bool busy_ = false;
  bool fitting_ = false;
  bool closed_ = false;
};

} // namespace reelwork
