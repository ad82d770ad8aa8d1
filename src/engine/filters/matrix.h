#pragma once
// Colour matrices between YUV and RGB, for the conversions and RGB output.

#include <string>

#include "engine/clip.h"

namespace reelwork::engine::filters {

struct Matrix {
  double kr = 0.299, kb = 0.114; // BT.601
  bool pcRange = false;          // true: YUV uses the full 0..255 range

  // "Rec601" (default), "PC.601", "Rec709", "PC.709"; no case. Throws EngineError.
  static Matrix Make(const std::string &name);
  void toRgb(double y, double u, double v, double &r, double &g, double &b) const;
  void toYuv(double r, double g, double b, double &y, double &u, double &v) const;
};

Frame ConvertFrameWith(const Frame &src, PixelFormat target, bool interlaced, const Matrix &m);
ClipPtr MakeConvertWith(ClipPtr child, PixelFormat target, bool interlaced, const Matrix &m, const std::string &name);

} // namespace reelwork::engine::filters
