#pragma once
// Colour matrices between YUV and RGB, for the conversions and RGB output.

#include <string>

#include "engine/clip.h"
#include "engine/filters/filters.h"

namespace reelwork::engine::filters {

struct Matrix {
  double kr = 0.299, kb = 0.114; // BT.601
  bool pcRange = false;          // true: YUV uses the full 0..255 range

  // "Rec601" (default), "PC.601", "Rec709", "PC.709"; no case. Throws EngineError.
  static Matrix Make(const std::string &name);
  void toRgb(double y, double u, double v, double &r, double &g, double &b) const;
  void toYuv(double r, double g, double b, double &y, double &u, double &v) const;
};

// How chroma is resampled where the conversion changes its subsampling:
// the resizer's kernel, and where 4:2:0 chroma sits (MPEG2: beside the even
// luma columns, MPEG1: in the middle of its 2x2 block). 4:2:2 chroma sits in
// the middle of its pair, 4:4:4 on its pixel.
struct ChromaOptions {
  ResizeKernel kernel = ResizeKernel::Bicubic;
  double b = 1.0 / 3.0, c = 1.0 / 3.0; // bicubic
  int taps = 3;                        // lanczos
  bool mpeg1In = false, mpeg1Out = false;

  // Reads "chromaresample" (point, bilinear, bicubic, lanczos, lanczos4,
  // spline16, spline36; empty is bicubic) and a placement ("MPEG2", "MPEG1";
  // empty is MPEG2). Throw EngineError naming what is accepted.
  void setKernel(const std::string &name);
  static bool ReadPlacement(const std::string &name);
};

Frame ConvertFrameWith(const Frame &src, PixelFormat target, bool interlaced, const Matrix &m,
                       const ChromaOptions &chroma = {});
ClipPtr MakeConvertWith(ClipPtr child, PixelFormat target, bool interlaced, const Matrix &m, const std::string &name,
                        const ChromaOptions &chroma = {});

} // namespace reelwork::engine::filters
