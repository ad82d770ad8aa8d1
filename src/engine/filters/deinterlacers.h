#pragma once
// The field-matching and deinterlacing filters that the deinterlace wizard
// writes into scripts. They keep the geometry, frame count, frame rate and
// field order that scripts expect of them, and remove visible combing.

#include "engine/clip.h"

namespace reelwork::engine::filters {

// Field matching: each frame keeps its first field (top for order 1) and
// takes the opposite field of the previous, the same or the next frame,
// whichever combs least. With post > 0 a frame whose comb metric still
// exceeds vthresh is deinterlaced where it combs (pixel threshold dthresh).
struct TelecideParams {
  int order = -1; // 1 top field first, 0 bottom field first, -1 the clip's parity
  int post = 2;
  int vthresh = 50;
  int dthresh = 7;
};
ClipPtr MakeTelecide(ClipPtr child, const TelecideParams &p);

// Motion-adaptive deinterlacing at the same rate: the first field stays, the
// other field's pixels stay where they do not comb and are interpolated along
// the best edge direction (searched up to a width set by searchEffort) where
// they do. topFirst 1 top, 0 bottom, -1 the clip's parity.
ClipPtr MakeTomsMoComp(ClipPtr child, int topFirst, int searchEffort);

// Deinterlaces the combed areas of every frame (full) or of frames whose comb
// metric exceeds threshold; blend mixes the two fields there, otherwise the
// second field is interpolated from the first.
struct FieldDeinterlaceParams {
  bool full = true;
  int threshold = 20;
  int dthreshold = 7;
  bool blend = true;
};
ClipPtr MakeFieldDeinterlace(ClipPtr child, const FieldDeinterlaceParams &p);

// Each field (doubleRate) or each first field becomes a frame: the field's own
// rows stay, the other rows come from the other field where the picture does
// not comb by more than lacethresh and are interpolated where it does.
ClipPtr MakeSmoothDeinterlace(ClipPtr child, int tff, bool doubleRate, int lacethresh);

// Takes a bobbed PAL-to-NTSC conversion (12 fields for every 5 film frames)
// back to its frames: 5 of every 12 frames, at 5/12 of the rate.
ClipPtr MakeRepal(ClipPtr child);

// The comb metric the filters decide by: pixels of the luma plane that stick
// out of both vertical neighbours in the same direction by more than
// `threshold`, per 10 000 pixels.
int CombMetric(const Frame &frame, int threshold);

} // namespace reelwork::engine::filters
