// RGB24 output: BT.601 with TV range expanded, for every engine pixel format.

#include <gtest/gtest.h>

#include "engine/rgb_output.h"

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

TEST(RgbOutput, ChromaOfYv12AndYuy2IsSharedByPixelPairs) {
  // Odd sizes: the last column and row use the last chroma sample.
  Frame f = Yv12(3, 3, 126, 128, 128);
  f.row(2, 1)[1] = 240; // V of the bottom-right 2x2 block (x 2, y 2)
  RgbImage img;
  FrameToRgb(f, img);
  ExpectPixel(img, 0, 0, 128, 128, 128);
  EXPECT_GT(img.at(2, 2)[0], 200); // reddened
  EXPECT_EQ(img.at(1, 1)[0], 128);

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

} // namespace
