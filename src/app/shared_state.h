#pragma once
// Everything the main window shares with the dialogs and tools. The main
// window owns one instance; dialogs get it by reference, read it when they are
// activated and write their result into it before confirming.

#include <QString>
#include <QStringList>
#include <random>

#include "common/rgb_image.h"
#include "settings/settings.h"

namespace reelwork {

struct SharedState {
  int Language = 1; // 0 English, 1 Russian
  bool VideoOpen = false;
  // A script is open as the document: its lines are in the editor and it can
  // be saved, even while it cannot be shown as video (a failed reload keeps
  // it open).
  bool ScriptOpen = false;
  // Why the open script shows no video; empty while a video is open.
  QString VideoError;

  // Figures of the open video.
  int VideoWidth = 0;
  int VideoHeight = 0;
  int FrameCount = 0;
  float FrameRate = 0.0f;
  QString FpsText;

  int CurrentFrame = 0; // 1-based, the trackbar's position
  int ClickX = 0;
  int ClickY = 0;

  // The open script and project. WorkDir ends with "/".
  QString WorkDir;
  QString ScriptName;
  QString ProjectName;
  QString InfoName;
  QString SearchMask;
  int ChosenIndex = 0;

  // From the ripper's info file or the first VOB's sequence header.
  QString TvSystem;
  int SourceWidth = 0;
  int SourceHeight = 0;
  int AspectCode = 0;

  // The script's Crop amounts (right and bottom as positive numbers).
  int CropLeft = 0;
  int CropTop = 0;
  int CropRight = 0;
  int CropBottom = 0;

  // Resize tool and dialogs.
  int OldWidth = 0;
  int OldHeight = 0;
  int NewWidth = 0;
  int NewHeight = 0;

  // The picture of the frame last shown.
  RgbImage PreviewBitmap;

  // The backup of the script lines (field-order test, question at close).
  QStringList BackupLines;
  QString BackupName;

  // The fifteen settings and the settings file as last read.
  Settings settings;
  QStringList SettingsLines;

  // Random sampling of frames and pixels; seeded from the clock at start.
  std::mt19937 Random{std::random_device{}()};

  // The path of the open script.
  QString ScriptPath() const { return WorkDir + ScriptName; }
};

// Language index from the _LANGUAGE setting: exactly "0" is English.
int LanguageFromSetting(const QString &value);

} // namespace reelwork
