#pragma once
// The bitrate calculator TForm3: target size, running time, sound streams,
// an end-title part encoded apart and an output frame size give the video
// bitrate and the bits per pixel; on "Okey" a short report is written beside
// the script. The arithmetic is in bitrate_model.h; this window binds it to
// its controls and says when each computation runs.

#include <QDialog>
#include <array>

#include "calculator/calculator_host.h"
#include "calculator/calculator_report.h"
#include "preview/tick_slider.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace reelwork {

struct SharedState;
struct FilmTime;

// Whether a quality figure is shown in red: below 0.225 as a decimal value,
// so the single-precision value nearest 0.225 (0.224999994) is red too.
bool QualityShownLow(float quality);

// A time or size slider that also shows a selected range (0 to its position).
class SelectionSlider : public TickSlider {
public:
  explicit SelectionSlider(QWidget *parent = nullptr) : TickSlider(parent) {}
  void setSelection(int start, int end);
  int selectionStart() const { return selStart_; }
  int selectionEnd() const { return selEnd_; }

protected:
  void paintEvent(QPaintEvent *event) override;

private:
  int selStart_ = 0;
  int selEnd_ = 0;
};

class TForm3 : public QDialog {
  Q_OBJECT
public:
  // Created once by the main window; `host` must outlive the dialog.
  TForm3(SharedState &state, CalculatorHost &host, QWidget *parent = nullptr);

  // The model's values that the controls do not hold.
  int CalcFrameCount = 0;
  float CalcRate = 23.976f;
  float VideoBitrate = 0;
  float VideoQuality = 0;

  // Full Video panel.
  QLabel *Label1;            // heading "Full Video"
  QLabel *Label5;            // "Fps"
  QComboBox *FpsBox;         // frame rate: a list entry or a typed rate
  QLabel *Label4;            // "Frames"
  QLineEdit *Frames1;        // frames of the whole video
  QToolButton *Frames1Up;    // one frame more
  QToolButton *Frames1Dn;    // one frame less
  SelectionSlider *TimeBar1; // running time, 0 to 24000 s
  std::array<QLabel *, 8> TimeBar1Labels; // T1_0m ... T1_400m, minutes under TimeBar1
  QLabel *Label2;            // "Time"
  QLineEdit *Time1M;         // minutes of the whole video
  QLabel *Time1MLabel;       // "m"
  QLineEdit *Time1S;         // seconds of the whole video
  QLabel *Time1SLabel;       // "s"
  QToolButton *Time1Left;    // one second less
  QToolButton *Time1Right;   // one second more
  SelectionSlider *SizeBar;  // target size, 0 to 4480 MB, snapping to the presets
  std::array<QLabel *, 5> SizeBarLabels; // Lab0 ... Lab4, thousands of MB under SizeBar
  QLabel *Label9;            // "Rip Size"
  QLineEdit *Size1;          // target size in MB; may be typed
  QLabel *Label14;           // "Or"
  QLineEdit *Format1;        // the preset's name

  // End Title Video panel.
  QLabel *Label23;           // heading "End Title Video (ETV)"
  QPushButton *BitBtn3;      // "Find Titles"
  QPushButton *BitBtn4;      // "From Current Frame"
  QCheckBox *UseTitles;      // "Use ETV"
  QLabel *Label7;            // "Frames"
  QLineEdit *Frames2;        // frames of the end-title part
  QToolButton *Frames2Up;
  QToolButton *Frames2Dn;
  SelectionSlider *TimeBar2; // end-title time, 0 to 24000 s
  std::array<QLabel *, 8> TimeBar2Labels; // Label25 ... Label32
  QLabel *Label6;            // "Time"
  QLineEdit *Time2M;
  QLabel *Time2MLabel;       // "m"
  QLineEdit *Time2S;
  QLabel *Time2SLabel;       // "s"
  QToolButton *Time2Left;
  QToolButton *Time2Right;
  QLabel *Label8;            // "End Title Bitrate"
  QComboBox *TitleBitrate;   // the end titles' bitrate

  // Audio and Frame Size panels.
  QLabel *Label3;            // heading "Audio"
  QPushButton *BitBtn2;      // "Find AC3"
  QLabel *Label10;           // "Bitrate 1"
  QComboBox *AudioBitrate1;
  QLabel *Label12;           // "Bitrate 2"
  QComboBox *AudioBitrate2;
  QLabel *Label16;           // "Bitrate 3"
  QComboBox *AudioBitrate3;
  QLabel *Label24;           // heading "Frame Size"
  QLabel *Label17;           // "X-Size"
  QComboBox *XSizeBox;       // output width for the quality figure
  QLabel *Label18;           // "Y-Size"
  QComboBox *YSizeBox;       // output height

  // Bottom band.
  QLabel *Label11;           // "Bitrate"
  QLineEdit *CalculatedBitrate; // the bitrate result
  QPushButton *ReCalc;       // "  ReCalc  "
  QCheckBox *SaveBox;        // "Save Result"
  QPushButton *BitBtn1;      // "    Okey  " (modal result 1)
  QLabel *Label13;           // "Quality"
  QLineEdit *Quality;        // the quality result

  // Captions in the language (0 English, 1 Russian; others change nothing).
  void SetCaptions(int language);
  // Empties both results and greys them.
  void ClearResults();
  // The report as the controls stand now.
  CalculatorReport MakeReport() const;

public slots:
  void FormActivate();
  void FpsBoxChange();
  void Frames1Change();
  void Frames1UpClick();
  void Frames1DnClick();
  void TimeBar1Change();
  void Time1MChange();
  void Time1LeftClick();
  void Time1RightClick();
  void Frames2Change();
  void Frames2UpClick();
  void Frames2DnClick();
  void TimeBar2Change();
  void Time2MChange();
  void Time2LeftClick();
  void Time2RightClick();
  void SizeBarChange();
  void UseTitlesClick();
  void TitleBitrateChange();
  void AudioBitrate1Change();
  void XSizeBoxChange();
  void ReCalcClick();
  void BitBtn1Click();
  void BitBtn2Click();
  void BitBtn3Click();
  void BitBtn4Click();

protected:
  void showEvent(QShowEvent *event) override;

private:
  // One time group: the frames, slider and minute/second fields.
  struct TimeGroup {
    QLineEdit *frames;
    SelectionSlider *bar;
    QLineEdit *minutes;
    QLineEdit *seconds;
  };
  // Holds the change handlers of the frame, time and rate controls off.
  class Quiet {
  public:
    explicit Quiet(TForm3 &form) : form_(form), was_(form.quiet_) { form.quiet_ = true; }
    ~Quiet() { form_.quiet_ = was_; }

  private:
    TForm3 &form_;
    bool was_;
  };

  void BuildLayout();
  void Connect();
  TimeGroup FullGroup() const { return {Frames1, TimeBar1, Time1M, Time1S}; }
  TimeGroup TitleGroup() const { return {Frames2, TimeBar2, Time2M, Time2S}; }
  // The shared work of the two groups' handlers.
  bool FramesChanged(const TimeGroup &group, int &frames);
  void ShowTime(const TimeGroup &group, const FilmTime &time);
  void BarChanged(const TimeGroup &group);
  void TimeFieldsChanged(const TimeGroup &group);
  bool ReadTime(const TimeGroup &group, double &seconds) const;
  void StepFrames(QLineEdit *frames, int step);
  void StepTime(const TimeGroup &group, int step, bool quietly);
  // Writes `text` into an edit so that its change handler runs even when the
  // text stays the same.
  void WriteRunning(QLineEdit *edit, const QString &text, void (TForm3::*handler)());
  void SetSizeBar(int position);
  void PlaceTickLabels();
  bool RateFromFpsBox(float &rate) const;
  std::array<int, 3> AudioKbps() const;
  void ShowResult(QLineEdit *field, const QString &text, bool low);

  SharedState &state_;
  CalculatorHost &host_;
  bool quiet_ = false;
  bool sizeBarQuiet_ = false;
};

} // namespace reelwork
