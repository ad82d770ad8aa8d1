#pragma once
// "Find Interlace" and "Find Light": random frame searches over the preview.
// Every sampled frame is shown in the preview in turn; the search ends with
// the frame it chose shown and current.

#include <QString>
#include <random>

#include "tools/workbench.h"

namespace reelwork {

// A sensitivity setting (_INTERLACESENS, _LIGHTSENS, _ROUNDSENS) as a step
// 0..10: the text read as a decimal number and rounded half to even; any text
// that does not read, or lies outside 0..10 once rounded, gives 5.
int SensitivityFromText(const QString &text);

// Frames per pass and the comb score a frame must reach.
struct InterlaceSearchParams {
  int framesPerPass = 0;
  int threshold = 0;
};
InterlaceSearchParams InterlaceParamsFor(int sensitivity);

// Tries per step and the brightness each of the three steps must exceed.
struct LightSearchParams {
  int triesPerStep = 0;
  int limits[3] = {0, 0, 0};
};
LightSearchParams LightParamsFor(int sensitivity);

// How much neighbouring rows differ: at 100 random points (x in 1..width-2,
// y in 1..height-2) the sum over red, green and blue of |(x,y) - (x,y+1)|,
// the total divided by 300 (0..255). width and height are clamped to the
// picture; a picture under 3 pixels either way scores 0 and draws nothing.
int CombScore(const RgbImage &picture, int width, int height, std::mt19937 &random);

// The message shown when a video is too small to be searched.
QString VideoTooSmallText(int language);

enum class SearchOutcome {
  Found,     // a frame passed; it is shown
  NotFound,  // nothing passed; the search's fallback frame is shown
  Refused,   // the video cannot be sampled; a message said why
  Failed,    // a frame could not be shown; the search stopped there
  Cancelled, // the user stopped it; the frame shown before is shown again
};

struct SearchResult {
  SearchOutcome outcome = SearchOutcome::Refused;
  int frame = 0;     // the frame shown at the end (1-based)
  int value = 0;     // its comb score or its brightness
};

// The interlace search on an open video, with the sensitivity taken from
// _INTERLACESENS: up to three passes of random frames from the middle 80 %,
// the best of the last pass shown, message 6 when even that one is below the
// threshold. Reports its progress and stops when the user asks.
SearchResult RunInterlaceSearch(SharedState &state, FramePreview &preview, UserDialogs &dialogs);

// The light search on an open video, with the sensitivity from _LIGHTSENS:
// three steps of random frames, stopping at the first one strictly brighter
// than the step's limit. Shows no message when none is found.
SearchResult RunLightSearch(SharedState &state, FramePreview &preview, UserDialogs &dialogs);

// The main window's "Find Interlace": the open-script check, then the search.
// The caller gives the frame slider the focus afterwards.
SearchResult FindInterlacedFrame(Workbench &bench);

// The main window's "Find Light": the open-script check, then the search.
// The caller gives the frame slider the focus when the outcome is not Found.
SearchResult FindLightFrame(Workbench &bench);

} // namespace reelwork
