#include "engine/clip.h"

namespace reelwork::engine {

void Frame::allocate(PixelFormat f, int w, int h) {
  format = f;
  width = w;
  height = h;
  for (auto &p : planes)
    p.clear();
  stride = {0, 0, 0};
  switch (f) {
  case PixelFormat::YV12:
    stride = {w, (w + 1) / 2, (w + 1) / 2};
    planes[0].assign(static_cast<size_t>(stride[0]) * h, 0);
    planes[1].assign(static_cast<size_t>(stride[1]) * ((h + 1) / 2), 128);
    planes[2].assign(static_cast<size_t>(stride[2]) * ((h + 1) / 2), 128);
    break;
  case PixelFormat::YUY2:
    stride[0] = w * 2;
    planes[0].assign(static_cast<size_t>(stride[0]) * h, 0);
    break;
  case PixelFormat::RGB24:
    stride[0] = w * 3;
    planes[0].assign(static_cast<size_t>(stride[0]) * h, 0);
    break;
  case PixelFormat::RGB32:
    stride[0] = w * 4;
    planes[0].assign(static_cast<size_t>(stride[0]) * h, 0);
    break;
  }
}

} // namespace reelwork::engine
