#pragma once
// "Test Round": from the point the user clicked in the middle of something
// round, finds the outline along four rays and draws a dotted red circle of
// the measured radius over the preview, so that the eye can judge whether the
// picture's proportions are right.

#include <optional>
#include <vector>

#include "tools/workbench.h"

namespace reelwork {

struct Circle {
  int centerX = 0;
  int centerY = 0;
  int radius = 0; // the radius drawn
  bool operator==(const Circle &) const = default;
};

// Step values (|dR| + |dG| + |dB|) between neighbouring pixels along the four
// rays from (cx, cy): entry j of a ray is the step between the pixels at
// distances j and j + 1. The rays end at the picture's edges.
struct RoundRays {
  std::vector<int> left, right, up, down;
};
RoundRays CollectRays(const RgbImage &picture, int width, int height, int cx, int cy);

// Distance from the click point to the first pixel beyond the outline: the i
// in 2..searchRadius whose step (entry i - 1) is the greatest, the nearest of
// equal steps winning; 0 when no step in reach is above 0.
int EdgePosition(const std::vector<int> &ray, int searchRadius);

// The circle to draw for a click at (cx, cy), or none when no pair of edge
// positions agrees within `tolerance` on a radius above 10. The click must lie
// inside width x height (clamped to the picture).
std::optional<Circle> MeasureRound(const RgbImage &picture, int width, int height, int cx, int cy, int tolerance);

// Draws a dotted pure red circle outline into `picture`, clipped to it, going
// round counter-clockwise from the direction of the top-left corner.
void DrawDottedCircle(RgbImage &picture, const Circle &circle);

// Whether ClickX, ClickY is a click point the test can use: not 0 (nothing
// clicked yet) and inside both the video's frame and the picture shown.
bool HasClickPoint(const SharedState &state, const RgbImage &shown);

// The round test on an open video with the sensitivity from _ROUNDSENS and the
// click point ClickX, ClickY: message 7 when there is no click point inside the
// frame; otherwise the circle, if any, is drawn over the picture shown (it
// stays until the next frame) and returned.
std::optional<Circle> RunRoundTest(SharedState &state, FramePreview &preview, UserDialogs &dialogs);

// The main window's "Test Round": the open-script check, then the test. The
// caller gives the frame slider the focus afterwards.
std::optional<Circle> TestRound(Workbench &bench);

} // namespace reelwork
