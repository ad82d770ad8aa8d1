#include "engine/clip.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace reelwork::engine {

namespace {

// Frames are a megabyte or more, made and freed at the frame rate. By default
// the C library hands such blocks back to the system when freed and faults
// fresh pages in for the next frame, which costs more than the filters
// themselves; keeping freed frame memory in the heap for reuse avoids that.
void KeepFrameMemory() {
#ifdef __GLIBC__
  static const bool once = [] {
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
    return true;
  }();
  (void)once;
#endif
}

} // namespace

void Frame::allocate(PixelFormat f, int w, int h) {
  KeepFrameMemory();
  format = f;
  width = w;
  height = h;
  for (auto &p : planes)
    p.clear();
  stride = {0, 0, 0};
  // Planar YUV: chroma rows and columns counted up from the luma ones.
  auto planar = [&](int shiftX, int shiftY) {
    const int cw = (w + (1 << shiftX) - 1) >> shiftX, ch = (h + (1 << shiftY) - 1) >> shiftY;
    stride = {w, cw, cw};
    planes[0].assign(static_cast<size_t>(w) * h, 0);
    planes[1].assign(static_cast<size_t>(cw) * ch, 128);
    planes[2].assign(static_cast<size_t>(cw) * ch, 128);
  };
  switch (f) {
  case PixelFormat::YV12:
    planar(1, 1);
    break;
  case PixelFormat::YV16:
    planar(1, 0);
    break;
  case PixelFormat::YV24:
    planar(0, 0);
    break;
  case PixelFormat::Y8:
    stride[0] = w;
    planes[0].assign(static_cast<size_t>(w) * h, 0);
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
