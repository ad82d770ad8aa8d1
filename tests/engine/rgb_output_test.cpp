// RGB24 output: BT.601 with TV range expanded, for every engine pixel format.

#include <gtest/gtest.h>

#include "engine/rgb_output.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <cstdlib>
#include <random>

using namespace reelwork;
using namespace reelwork::engine;

namespace {

Frame Yv12(int w, int h, std::uint8_t y, std::uint8_t u, std::uint8_t v) {
  Frame f;
  f.allocate(PixelFormat::YV12, w, h);
  std::fill(f.planes[0].begin(), f.planes[0].end(), y);
  std::fill(f.planes[1].begin(), f.planes[1].end(), u);
  std::fill(f.planes[2].begin(), f.planes[2].end(), v);
  return f;
}

void ExpectPixel(const RgbImage &img, int x, int y, int r, int g, int b, int tolerance = 0) {
  const std::uint8_t *p = img.at(x, y);
  EXPECT_NEAR(p[0], r, tolerance) << "red at " << x << "," << y;
  EXPECT_NEAR(p[1], g, tolerance) << "green at " << x << "," << y;
  EXPECT_NEAR(p[2], b, tolerance) << "blue at " << x << "," << y;
}

TEST(RgbOutput, TvRangeGreysExpandToFullRange) {
  RgbImage img;
  FrameToRgb(Yv12(4, 2, 16, 128, 128), img);
  ASSERT_EQ(img.width, 4);
  ASSERT_EQ(img.height, 2);
  ExpectPixel(img, 3, 1, 0, 0, 0);
  FrameToRgb(Yv12(4, 2, 235, 128, 128), img);
  ExpectPixel(img, 0, 0, 255, 255, 255);
  FrameToRgb(Yv12(4, 2, 126, 128, 128), img); // (126-16)*255/219 = 128.1
  ExpectPixel(img, 1, 1, 128, 128, 128);
  FrameToRgb(Yv12(4, 2, 0, 128, 128), img); // below black clamps
  ExpectPixel(img, 0, 0, 0, 0, 0);
}

TEST(RgbOutput, Bt601Colours) {
  RgbImage img;
  FrameToRgb(Yv12(2, 2, 81, 90, 240), img); // red
  ExpectPixel(img, 0, 0, 255, 0, 0, 2);
  FrameToRgb(Yv12(2, 2, 145, 54, 34), img); // green
  ExpectPixel(img, 0, 0, 0, 255, 0, 2);
  FrameToRgb(Yv12(2, 2, 41, 240, 110), img); // blue
  ExpectPixel(img, 0, 0, 0, 0, 255, 2);
}

TEST(RgbOutput, ChromaOfYv12IsInterpolatedAndOfYuy2SharedByPixelPairs) {
  // Odd sizes: the last column and row take the last chroma sample.
  Frame f = Yv12(3, 3, 126, 128, 128);
  f.row(2, 1)[1] = 240; // V of the bottom-right 2x2 block (x 2, y 2)
  RgbImage img;
  FrameToRgb(f, img);
  ExpectPixel(img, 0, 0, 128, 128, 128, 1);
  EXPECT_GT(img.at(2, 2)[0], 200); // reddened
  // The pixel between the grey and the red sample takes a little of each.
  EXPECT_GT(img.at(1, 1)[0], 135);
  EXPECT_LT(img.at(1, 1)[0], img.at(2, 2)[0]);

  Frame yuy2;
  yuy2.allocate(PixelFormat::YUY2, 4, 1);
  const std::uint8_t packed[] = {16, 128, 235, 128, 81, 90, 81, 240};
  std::copy(std::begin(packed), std::end(packed), yuy2.planes[0].begin());
  FrameToRgb(yuy2, img);
  ExpectPixel(img, 0, 0, 0, 0, 0);
  ExpectPixel(img, 1, 0, 255, 255, 255);
  ExpectPixel(img, 2, 0, 255, 0, 0, 2);
  ExpectPixel(img, 3, 0, 255, 0, 0, 2);
}

TEST(RgbOutput, PackedRgbIsReorderedFromBgr) {
  Frame rgb24, rgb32;
  rgb24.allocate(PixelFormat::RGB24, 2, 1);
  rgb32.allocate(PixelFormat::RGB32, 2, 1);
  const std::uint8_t bgr[] = {1, 2, 3, 4, 5, 6};
  const std::uint8_t bgra[] = {1, 2, 3, 255, 4, 5, 6, 0};
  std::copy(std::begin(bgr), std::end(bgr), rgb24.planes[0].begin());
  std::copy(std::begin(bgra), std::end(bgra), rgb32.planes[0].begin());
  RgbImage a, b;
  FrameToRgb(rgb24, a);
  FrameToRgb(rgb32, b);
  EXPECT_EQ(a.pixels, (std::vector<std::uint8_t>{3, 2, 1, 6, 5, 4}));
  EXPECT_EQ(b.pixels, a.pixels);
}

// libswscale's conversion of the same frame, told the same: MPEG-2 chroma
// siting, bicubic with b = c = 1/3, BT.601 from TV range to full range.
RgbImage SwscaleRgb(const Frame &f) {
  SwsContext *c = sws_alloc_context();
  av_opt_set_int(c, "srcw", f.width, 0);
  av_opt_set_int(c, "srch", f.height, 0);
  av_opt_set_int(c, "src_format", AV_PIX_FMT_YUV420P, 0);
  av_opt_set_int(c, "dstw", f.width, 0);
  av_opt_set_int(c, "dsth", f.height, 0);
  av_opt_set_int(c, "dst_format", AV_PIX_FMT_RGB24, 0);
  av_opt_set_int(c, "sws_flags", SWS_BICUBIC | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP | SWS_ACCURATE_RND, 0);
  av_opt_set_double(c, "param0", 1.0 / 3, 0);
  av_opt_set_double(c, "param1", 1.0 / 3, 0);
  av_opt_set_int(c, "src_h_chr_pos", 0, 0);
  av_opt_set_int(c, "src_v_chr_pos", 128, 0);
  EXPECT_GE(sws_init_context(c, nullptr, nullptr), 0);
  const int *bt601 = sws_getCoefficients(SWS_CS_ITU601);
  sws_setColorspaceDetails(c, bt601, 0, bt601, 1, 0, 1 << 16, 1 << 16);
  RgbImage out;
  out.resize(f.width, f.height);
  const std::uint8_t *src[4] = {f.planes[0].data(), f.planes[1].data(), f.planes[2].data(), nullptr};
  const int srcStride[4] = {f.stride[0], f.stride[1], f.stride[2], 0};
  std::uint8_t *dst[4] = {out.pixels.data(), nullptr, nullptr, nullptr};
  const int dstStride[4] = {f.width * 3, 0, 0, 0};
  sws_scale(c, src, srcStride, 0, f.height, dst, dstStride);
  sws_freeContext(c);
  return out;
}

TEST(RgbOutput, Yv12ColourEdgesMatchAnIndependentConversion) {
  // Blocks of strong colours with edges at every chroma phase, over a luma ramp.
  Frame f;
  f.allocate(PixelFormat::YV12, 96, 64);
  std::mt19937 random(7);
  for (int y = 0; y < f.height; ++y)
    for (int x = 0; x < f.width; ++x)
      f.row(0, y)[x] = static_cast<std::uint8_t>(40 + (x + y) % 160);
  for (int p = 1; p <= 2; ++p)
    for (int by = 0; by < 32; by += 5)
      for (int bx = 0; bx < 48; bx += 3) {
        const auto value = static_cast<std::uint8_t>(16 + random() % 225);
        for (int y = by; y < std::min(by + 5, 32); ++y)
          for (int x = bx; x < std::min(bx + 3, 48); ++x)
            f.row(p, y)[x] = value;
      }
  RgbImage ours;
  FrameToRgb(f, ours);
  const RgbImage theirs = SwscaleRgb(f);
  int worst = 0;
  long long total = 0;
  for (size_t i = 0; i < ours.pixels.size(); ++i) {
    const int d = std::abs(ours.pixels[i] - theirs.pixels[i]);
    worst = std::max(worst, d);
    total += d;
  }
  EXPECT_LE(worst, 3) << "largest difference of a colour component";
  EXPECT_LT(static_cast<double>(total) / static_cast<double>(ours.pixels.size()), 0.5) << "mean difference";
}

} // namespace
