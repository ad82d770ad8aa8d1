#include "tools/round_test.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <utility>

#include "app/language.h"
#include "common/number.h"
#include "tools/frame_searches.h"
#include "tools/search_support.h"

namespace reelwork {

namespace {

int Step(const RgbImage &picture, int x1, int y1, int x2, int y2) {
  const std::uint8_t *a = picture.at(x1, y1);
  const std::uint8_t *b = picture.at(x2, y2);
  return std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]);
}

} // namespace

RoundRays CollectRays(const RgbImage &picture, int width, int height, int cx, int cy) {
  width = std::min(width, picture.width);
  height = std::min(height, picture.height);
  RoundRays rays;
  if (cx < 0 || cy < 0 || cx >= width || cy >= height)
    return rays;
  for (int j = 0; j < cx; ++j)
    rays.left.push_back(Step(picture, cx - j, cy, cx - j - 1, cy));
  for (int j = 0; j <= width - 2 - cx; ++j)
    rays.right.push_back(Step(picture, cx + j, cy, cx + j + 1, cy));
  for (int j = 0; j < cy; ++j)
    rays.up.push_back(Step(picture, cx, cy - j, cx, cy - j - 1));
  for (int j = 0; j <= height - 2 - cy; ++j)
    rays.down.push_back(Step(picture, cx, cy + j, cx, cy + j + 1));
  return rays;
}

int EdgePosition(const std::vector<int> &ray, int searchRadius) {
  // The step at index 0 touches the clicked pixel, which carries the red
  // mark of the click, so it never counts.
  const int last = std::min<long long>(searchRadius, static_cast<long long>(ray.size()));
  int best = 0;
  int position = 0;
  for (int i = 2; i <= last; ++i) {
    if (ray[static_cast<size_t>(i - 1)] > best) {
      best = ray[static_cast<size_t>(i - 1)];
      position = i;
    }
  }
  return position;
}

std::optional<Circle> MeasureRound(const RgbImage &picture, int width, int height, int cx, int cy,
                                   int tolerance) {
  const RoundRays rays = CollectRays(picture, width, height, cx, cy);
  size_t shortest = std::min({rays.left.size(), rays.right.size(), rays.up.size(), rays.down.size()});
  // Far from every edge the outline is looked for within 75 pixels only.
  if (shortest > 100)
    shortest = 75;
  const int m = static_cast<int>(shortest);
  const int pL = EdgePosition(rays.left, m);
  const int pR = EdgePosition(rays.right, m);
  const int pU = EdgePosition(rays.up, m);
  const int pD = EdgePosition(rays.down, m);

  auto radiusOf = [tolerance](int a, int b) -> std::optional<int> {
    if (a <= 0 || b <= 0 || std::abs(a - b) > tolerance)
      return std::nullopt;
    const int r = (a + b) / 2;
    if (r <= 10)
      return std::nullopt;
    return r;
  };
  // The pairs in order of preference; the horizontal and vertical pairs move
  // the centre so that the circle starts at the first edge found.
  if (auto r = radiusOf(pL, pR))
    return Circle{cx - pL + *r, cy, *r + 2};
  if (auto r = radiusOf(pL, pU))
    return Circle{cx, cy, *r + 2};
  if (auto r = radiusOf(pU, pD))
    return Circle{cx, cy - pU + *r, *r + 2};
  if (auto r = radiusOf(pR, pD))
    return Circle{cx, cy, *r + 2};
  return std::nullopt;
}

void DrawDottedCircle(RgbImage &picture, const Circle &circle) {
  const int r = circle.radius;
  if (r < 0)
    return;
  // The outline's pixels (midpoint circle), then put in drawing order so that
  // the dots are spaced evenly along it.
  std::vector<std::pair<int, int>> points;
  int x = 0;
  int y = r;
  int d = 1 - r;
  while (x <= y) {
    const std::pair<int, int> octants[] = {{x, y}, {y, x}, {-x, y}, {-y, x}, {x, -y}, {y, -x}, {-x, -y}, {-y, -x}};
    points.insert(points.end(), std::begin(octants), std::end(octants));
    ++x;
    if (d < 0) {
      d += 2 * x + 1;
    } else {
      --y;
      d += 2 * (x - y) + 1;
    }
  }
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());
  // Angle on the screen (y grows downwards), counter-clockwise, measured from
  // the direction of the top-left corner.
  const double pi = std::acos(-1.0);
  auto angle = [pi](const std::pair<int, int> &p) {
    double a = std::atan2(-static_cast<double>(p.second), static_cast<double>(p.first)) - 0.75 * pi;
    while (a < 0)
      a += 2 * pi;
    return a;
  };
  std::stable_sort(points.begin(), points.end(),
                   [&](const auto &a, const auto &b) { return angle(a) < angle(b); });

  for (size_t i = 0; i < points.size(); ++i) {
    if (i % 4 >= 2) // two pixels drawn, two left
      continue;
    const long long px = static_cast<long long>(circle.centerX) + points[i].first;
    const long long py = static_cast<long long>(circle.centerY) + points[i].second;
    if (px < 0 || py < 0 || px >= picture.width || py >= picture.height)
      continue;
    std::uint8_t *p = picture.at(static_cast<int>(px), static_cast<int>(py));
    p[0] = 255;
    p[1] = 0;
    p[2] = 0;
  }
}

bool HasClickPoint(const SharedState &state, const RgbImage &shown) {
  // 0 means "not clicked yet"; a point off the picture (the preview area can
  // be larger than the frame) is no usable click either.
  return state.ClickX > 0 && state.ClickY > 0 && state.ClickX < std::min(state.VideoWidth, shown.width) &&
         state.ClickY < std::min(state.VideoHeight, shown.height);
}

std::optional<Circle> RunRoundTest(SharedState &state, FramePreview &preview, UserDialogs &dialogs) {
  const RgbImage &shown = preview.ShownPicture();
  if (!HasClickPoint(state, shown)) {
    dialogs.showMessage(MessageText(MsgPointCenterFirst, state.Language));
    return std::nullopt;
  }
  const int tolerance = 12 - SensitivityFromText(state.settings[Setting::RoundSens]);

  BusyCursor busy(preview);
  const auto circle = MeasureRound(shown, state.VideoWidth, state.VideoHeight, state.ClickX, state.ClickY, tolerance);
  if (circle) {
    RgbImage marked = shown;
    DrawDottedCircle(marked, *circle);
    preview.ShowPicture(marked);
  }
  return circle;
}

std::optional<Circle> TestRound(Workbench &bench) {
  if (!bench.script.CheckScriptOpen())
    return std::nullopt;
  return RunRoundTest(bench.state, bench.preview, bench.dialogs);
}

} // namespace reelwork
