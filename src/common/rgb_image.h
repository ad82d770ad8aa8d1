#pragma once
// A decoded picture as the preview and the measuring tools read it.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace reelwork {

// 8-bit RGB, three bytes a pixel (red, green, blue), rows from the top, no
// padding between rows: pixel (x, y) starts at (y * width + x) * 3.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;

  void resize(int w, int h) {
    width = w;
    height = h;
    pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h) * 3, 0);
  }
  std::uint8_t *at(int x, int y) { return pixels.data() + (static_cast<size_t>(y) * width + x) * 3; }
  const std::uint8_t *at(int x, int y) const {
    return pixels.data() + (static_cast<size_t>(y) * width + x) * 3;
  }
  bool operator==(const RgbImage &) const = default;
};

} // namespace reelwork
