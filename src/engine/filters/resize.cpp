// The resize filters, through libswscale. The target size is checked against
// what the pixel format can hold when the graph is built.

#include <cmath>
#include <mutex>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "engine/filters/filter_base.h"
#include "engine/filters/filters.h"
#include "engine/filters/frame_ops.h"

namespace reelwork::engine::filters {

namespace {

AVPixelFormat AvFormat(PixelFormat f) {
  switch (f) {
  case PixelFormat::YV12:
    return AV_PIX_FMT_YUV420P;
  case PixelFormat::YUY2:
    return AV_PIX_FMT_YUYV422;
  case PixelFormat::RGB24:
    return AV_PIX_FMT_BGR24;
  case PixelFormat::RGB32:
    return AV_PIX_FMT_BGRA;
  case PixelFormat::YV24:
    return AV_PIX_FMT_YUV444P;
  case PixelFormat::YV16:
    return AV_PIX_FMT_YUV422P;
  case PixelFormat::Y8:
    return AV_PIX_FMT_GRAY8;
  }
  return AV_PIX_FMT_NONE;
}

class Resize : public Filter {
public:
  Resize(ClipPtr child, ResizeKernel kernel, const ResizeParams &p, int srcX, int srcY, int srcW, int srcH,
         const std::string &name)
      : Filter(std::move(child)), srcX_(srcX), srcY_(srcY), srcW_(srcW), srcH_(srcH) {
    vi_.width = p.width;
    vi_.height = p.height;
    int flags = SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP;
    double params[2] = {SWS_PARAM_DEFAULT, SWS_PARAM_DEFAULT};
    switch (kernel) {
    case ResizeKernel::Bicubic:
      flags |= SWS_BICUBIC;
      params[0] = p.b;
      params[1] = p.c;
      break;
    case ResizeKernel::Bilinear:
      flags |= SWS_BILINEAR;
      break;
    case ResizeKernel::Lanczos:
    case ResizeKernel::Lanczos4:
      flags |= SWS_LANCZOS;
      params[0] = kernel == ResizeKernel::Lanczos4 ? 4 : p.taps;
      break;
    case ResizeKernel::Spline36:
    case ResizeKernel::Spline16:
    case ResizeKernel::Spline64:
      flags |= SWS_SPLINE;
      break;
    case ResizeKernel::Point:
      flags |= SWS_POINT;
      break;
    case ResizeKernel::Gauss:
      flags |= SWS_GAUSS;
      break;
    }
    const AVPixelFormat fmt = AvFormat(vi_.format);
    ctx_ = sws_getContext(srcW_, srcH_, fmt, vi_.width, vi_.height, fmt, flags, nullptr, nullptr, params);
    if (!ctx_)
      throw EngineError(name + ": libswscale cannot resize " + std::to_string(srcW_) + "x" + std::to_string(srcH_) +
                        " to " + std::to_string(vi_.width) + "x" + std::to_string(vi_.height));
  }
  ~Resize() override { sws_freeContext(ctx_); }
  Resize(const Resize &) = delete;
  Resize &operator=(const Resize &) = delete;

  FramePtr frame(int n) override {
    FramePtr src = childFrame(n);
    auto out = std::make_shared<Frame>();
    out->allocate(vi_.format, vi_.width, vi_.height);
    const std::uint8_t *srcPlanes[4] = {nullptr, nullptr, nullptr, nullptr};
    int srcStrides[4] = {0, 0, 0, 0};
    std::uint8_t *dstPlanes[4] = {nullptr, nullptr, nullptr, nullptr};
    int dstStrides[4] = {0, 0, 0, 0};
    for (int p = 0; p < PlaneCount(vi_.format); ++p) {
      srcPlanes[p] = src->row(p, PlaneY(vi_.format, p, srcY_)) + PlaneXBytes(vi_.format, p, srcX_);
      srcStrides[p] = src->stride[p];
      dstPlanes[p] = out->row(p, 0);
      dstStrides[p] = out->stride[p];
    }
    std::lock_guard<std::mutex> lock(mutex_);
    sws_scale(ctx_, srcPlanes, srcStrides, 0, srcH_, dstPlanes, dstStrides);
    return out;
  }

private:
  int srcX_, srcY_, srcW_, srcH_;
  SwsContext *ctx_ = nullptr;
  std::mutex mutex_;
};

} // namespace

ClipPtr MakeResize(ClipPtr child, ResizeKernel kernel, const ResizeParams &p, const std::string &name) {
  const ClipInfo &vi = child->info();
  auto fail = [&](const std::string &why) { throw EngineError(name + ": " + why); };
  if (p.width <= 0 || p.height <= 0)
    fail("the target size " + std::to_string(p.width) + "x" + std::to_string(p.height) + " must be positive");
  if (SizeTooLarge(p.width, p.height))
    fail("the target size is too large");
  if (p.width % WidthMultiple(vi.format))
    fail(std::string(FormatName(vi.format)) + " width must be even (it is " + std::to_string(p.width) + ")");
  if (p.height % HeightMultiple(vi.format))
    fail(std::string(FormatName(vi.format)) + " height must be even (it is " + std::to_string(p.height) + ")");
  if (!std::isfinite(p.srcLeft) || !std::isfinite(p.srcTop) || !std::isfinite(p.srcWidth) ||
      !std::isfinite(p.srcHeight))
    fail("the source window must be finite");
  if (kernel == ResizeKernel::Lanczos && (p.taps < 1 || p.taps > 100))
    fail("taps must lie between 1 and 100");
  // The source window works on whole pixels (chroma pairs for subsampled formats).
  const bool evenX = WidthMultiple(vi.format) > 1;
  const bool evenY = HeightMultiple(vi.format) > 1;
  // Checked as real numbers before any becomes an int: a window far outside
  // the picture must not wrap around into it.
  const double left = std::floor(p.srcLeft), top = std::floor(p.srcTop);
  const double width = std::round(p.srcWidth <= 0 ? vi.width - p.srcLeft + p.srcWidth : p.srcWidth);
  const double height = std::round(p.srcHeight <= 0 ? vi.height - p.srcTop + p.srcHeight : p.srcHeight);
  auto outside = [&] {
    fail("the source window lies outside the " + std::to_string(vi.width) + "x" + std::to_string(vi.height) +
         " picture");
  };
  if (!(left >= 0 && top >= 0 && width > 0 && height > 0 && left + width <= vi.width && top + height <= vi.height))
    outside();
  int x = static_cast<int>(left), y = static_cast<int>(top);
  int w = static_cast<int>(width), h = static_cast<int>(height);
  if (evenX) {
    x &= ~1;
    w &= ~1;
  }
  if (evenY) {
    y &= ~1;
    h &= ~1;
  }
  if (w <= 0 || h <= 0 || static_cast<long long>(x) + w > vi.width || static_cast<long long>(y) + h > vi.height)
    outside();
  return std::make_shared<Resize>(std::move(child), kernel, p, x, y, w, h, name);
}

} // namespace reelwork::engine::filters
