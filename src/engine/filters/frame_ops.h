#pragma once
// Plane geometry of the pixel formats, shared by the filters.

#include <cstring>

#include "engine/clip.h"

namespace reelwork::engine::filters {

inline int PlaneCount(PixelFormat f) { return f == PixelFormat::YV12 ? 3 : 1; }

// Bytes per pixel of plane 0 for packed formats; 1 for planar planes.
inline int BytesPerPixel(PixelFormat f) {
  switch (f) {
  case PixelFormat::YUY2:
    return 2;
  case PixelFormat::RGB24:
    return 3;
  case PixelFormat::RGB32:
    return 4;
  default:
    return 1;
  }
}

// Byte offset of column x (in luma pixels) within a row of plane p.
inline int PlaneXBytes(PixelFormat f, int p, int x) {
  if (f == PixelFormat::YV12)
    return p == 0 ? x : x / 2;
  return x * BytesPerPixel(f);
}

// Row index within plane p of luma row y.
inline int PlaneY(PixelFormat f, int p, int y) { return (f == PixelFormat::YV12 && p > 0) ? y / 2 : y; }

inline int PlaneRows(const Frame &fr, int p) {
  return (fr.format == PixelFormat::YV12 && p > 0) ? (fr.height + 1) / 2 : fr.height;
}
inline int PlaneRowBytes(const Frame &fr, int p) { return PlaneXBytes(fr.format, p, fr.width + (p > 0 ? 1 : 0)); }

inline bool InfoTopField(const ClipInfo &vi, int n) {
  bool top = vi.parity == FieldParity::Top;
  if (vi.fieldBased && (n & 1))
    top = !top;
  return top;
}

} // namespace reelwork::engine::filters
