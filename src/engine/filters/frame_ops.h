#pragma once
// Plane geometry of the pixel formats, shared by the filters.

#include <cstring>

#include "engine/clip.h"

namespace reelwork::engine::filters {

inline bool IsPlanar(PixelFormat f) {
  return f == PixelFormat::YV12 || f == PixelFormat::YV16 || f == PixelFormat::YV24 || f == PixelFormat::Y8;
}
// The planar formats older filters and plugins do not take: YV24, YV16, Y8.
inline bool IsPlanarBesidesYv12(PixelFormat f) { return IsPlanar(f) && f != PixelFormat::YV12; }
// log2 of the chroma subsampling of a planar format, across and down.
inline int ChromaShiftX(PixelFormat f) { return f == PixelFormat::YV12 || f == PixelFormat::YV16 ? 1 : 0; }
inline int ChromaShiftY(PixelFormat f) { return f == PixelFormat::YV12 ? 1 : 0; }

inline int PlaneCount(PixelFormat f) { return IsPlanar(f) && f != PixelFormat::Y8 ? 3 : 1; }

// What a picture's width and height must be multiples of in a format, so
// that no chroma sample is split: YV12 2x2, YV16 and YUY2 2x1, others 1x1.
inline int WidthMultiple(PixelFormat f) { return f == PixelFormat::YUY2 ? 2 : 1 << ChromaShiftX(f); }
inline int HeightMultiple(PixelFormat f) { return 1 << ChromaShiftY(f); }

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

// Byte offset of column x (in luma pixels, a multiple of WidthMultiple)
// within a row of plane p.
inline int PlaneXBytes(PixelFormat f, int p, int x) {
  if (IsPlanar(f))
    return p == 0 ? x : x >> ChromaShiftX(f);
  return x * BytesPerPixel(f);
}

// Row index within plane p of luma row y.
inline int PlaneY(PixelFormat f, int p, int y) { return (IsPlanar(f) && p > 0) ? y >> ChromaShiftY(f) : y; }

inline int PlaneRows(const Frame &fr, int p) {
  if (!IsPlanar(fr.format) || p == 0)
    return fr.height;
  const int s = ChromaShiftY(fr.format);
  return (fr.height + (1 << s) - 1) >> s;
}
inline int PlaneRowBytes(const Frame &fr, int p) {
  if (!IsPlanar(fr.format) || p == 0)
    return PlaneXBytes(fr.format, 0, fr.width);
  const int s = ChromaShiftX(fr.format);
  return (fr.width + (1 << s) - 1) >> s;
}

inline bool InfoTopField(const ClipInfo &vi, int n) {
  bool top = vi.parity == FieldParity::Top;
  if (vi.fieldBased && (n & 1))
    top = !top;
  return top;
}

} // namespace reelwork::engine::filters
