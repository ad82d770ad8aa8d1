#pragma once
// The clip graph: every source and filter is a Clip with fixed properties and
// one call, "frame n", that pulls what it needs from its children.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/video.h"

namespace reelwork::engine {

enum class PixelFormat {
  YV12,  // planar Y, then U and V at half width and half height
  YUY2,  // packed 4:2:2, one plane, Y0 U Y1 V
  RGB24, // packed, one plane, B G R per pixel, rows from the top
  RGB32, // packed, one plane, B G R A per pixel, rows from the top
  YV24,  // planar Y, U, V, all at full size (4:4:4)
  YV16,  // planar Y, then U and V at half width and full height (4:2:2)
  Y8,    // planar luma only
};

struct ClipInfo : VideoProperties {
  PixelFormat format = PixelFormat::YV12;
};

// One picture. Planes not used by the format are empty.
struct Frame {
  PixelFormat format = PixelFormat::YV12;
  int width = 0;
  int height = 0;
  std::array<std::vector<std::uint8_t>, 3> planes;
  std::array<int, 3> stride{}; // bytes per row of each plane

  // Allocates zeroed planes of the right sizes for format, width and height.
  void allocate(PixelFormat f, int w, int h);
  std::uint8_t *row(int plane, int y) { return planes[plane].data() + static_cast<size_t>(y) * stride[plane]; }
  const std::uint8_t *row(int plane, int y) const {
    return planes[plane].data() + static_cast<size_t>(y) * stride[plane];
  }
};

using FramePtr = std::shared_ptr<const Frame>;

class Clip {
public:
  virtual ~Clip() = default;
  virtual const ClipInfo &info() const = 0;
  // Frame n, 0 <= n < info().frameCount (callers clamp). Throws EngineError.
  virtual FramePtr frame(int n) = 0;
};

using ClipPtr = std::shared_ptr<Clip>;

} // namespace reelwork::engine
