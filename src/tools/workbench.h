#pragma once
// What the tools and wizards work with: the shared state, the script and its
// operations, the preview, and the user's answers. The main window provides
// one over its widgets; tests provide one over plain lists and pictures.

#include <QVector>

#include "app/language.h"
#include "app/shared_state.h"
#include "common/rgb_image.h"
#include "script/filter_list.h"
#include "script/script_editor.h"
#include "script/script_host.h"
#include "script/script_model.h"

namespace reelwork {

// The main window's preview as the tools use it.
class FramePreview {
public:
  virtual ~FramePreview() = default;
  // Shows frame n (1-based) one to one, draws the counters and makes it the
  // current frame; on failure the video is closed and the picture kept.
  virtual void ShowFrame(int n) = 0;
  // Moves the frame slider as the user would: the frame is shown at once.
  virtual void SetTrackBarPosition(int n) = 0;
  virtual int TrackBarPosition() const = 0;
  // The slider's ten-minute tick positions.
  virtual QVector<int> TrackBarTicks() const = 0;
  // The picture shown in the preview (the frame plus the click mark).
  virtual const RgbImage &ShownPicture() const = 0;
  // Mean channel value (0..255) of 100 random pixels of the picture shown.
  virtual int AverageBrightness() = 0;
  // Shows `picture` in the preview in place of the frame until the next frame
  // (tools that draw marks over the frame).
  virtual void ShowPicture(const RgbImage &picture) = 0;
  // The wait cursor around long work; the picture is repainted meanwhile.
  virtual void SetBusy(bool busy) = 0;
  // Long work between SetBusy(true) and SetBusy(false) tells how far it is
  // (0..1); false once the user has asked to stop it.
  virtual bool ReportProgress(WindowText work, double fraction) {
    (void)work;
    (void)fraction;
    return true;
  }
};

struct Workbench {
  SharedState &state;
  ScriptEditor &editor;
  ScriptModel &script;
  FilterList &filters;
  UserDialogs &dialogs;
  FramePreview &preview;
};

} // namespace reelwork
