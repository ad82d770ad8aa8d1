// The planar formats besides YV12 (YV24, YV16, Y8) on a real MPEG-2 rip:
// their planes, the conversions to and from every other format with the
// script language's chroma resampling, the size rules the filters enforce,
// the filters that refuse them, and the preview's picture of them.

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <fstream>

#include "engine/filters/frame_ops.h"
#include "engine/rgb_output.h"
#include "engine/script/evaluator.h"
#include "rip_fixture.h"
#include "support/media_fixture.h"

namespace reelwork::engine::test {
namespace {

class PlanarFormats : public OneSecondRip {};

int MaxPlaneDifference(const Frame &a, const Frame &b, int p) {
  int worst = 0;
  for (int y = 0; y < filters::PlaneRows(a, p); ++y)
    for (int x = 0; x < filters::PlaneRowBytes(a, p); ++x)
      worst = std::max(worst, std::abs(a.row(p, y)[x] - b.row(p, y)[x]));
  return worst;
}

TEST_F(PlanarFormats, EachFormatHasItsPlanesAndKeepsTheClipsFigures) {
  const struct {
    const char *call;
    PixelFormat format;
    int chromaWidth, chromaHeight; // 0: no chroma planes
    const char *test;
  } cases[] = {
      {"ConvertToYV24()", PixelFormat::YV24, 720, 576, "IsYV24"},
      {"ConvertToYV16()", PixelFormat::YV16, 360, 576, "IsYV16"},
      {"ConvertToY8()", PixelFormat::Y8, 0, 0, "IsY8"},
  };
  for (const auto &c : cases) {
    ClipPtr clip = Open(std::string(c.call) + "\nAssert(" + c.test + "() && IsPlanar() && IsYUV() && !IsYV12())");
    const ClipInfo &vi = clip->info();
    EXPECT_EQ(vi.format, c.format) << c.call;
    EXPECT_EQ(vi.width, 720) << c.call;
    EXPECT_EQ(vi.height, 576) << c.call;
    EXPECT_EQ(vi.frameCount, 25) << c.call;
    EXPECT_EQ(vi.rateNum, 25) << c.call;
    FramePtr f = clip->frame(7);
    EXPECT_EQ(f->format, c.format);
    EXPECT_EQ(f->planes[0].size(), 720u * 576u) << c.call;
    EXPECT_EQ(f->planes[1].size(), static_cast<size_t>(c.chromaWidth) * c.chromaHeight) << c.call;
    EXPECT_EQ(f->stride[1], c.chromaWidth) << c.call;
  }
  // Odd sizes where the format has whole chroma samples for them.
  Frame f;
  f.allocate(PixelFormat::YV16, 6, 5);
  EXPECT_EQ(f.planes[1].size(), 3u * 5u);
  f.allocate(PixelFormat::YV24, 7, 3);
  EXPECT_EQ(f.planes[2].size(), 7u * 3u);
  f.allocate(PixelFormat::Y8, 7, 3);
  EXPECT_TRUE(f.planes[1].empty());
  EXPECT_TRUE(Run("ConvertToYV24()\nConvertToYV16()\nConvertToY8()").notes.approximated.empty());
}

TEST_F(PlanarFormats, Yv12ChromaIsResampledBicubicFromMpeg2Siting) {
  FramePtr src = Open("")->frame(5);
  FramePtr yv24 = Open("ConvertToYV24()")->frame(5);
  EXPECT_EQ(MaxPlaneDifference(*src, *yv24, 0), 0) << "luma is copied";
  // 4:2:0 chroma sample (k, r) sits beside luma column 2k, halfway between
  // luma rows 2r and 2r+1. Across, column 2k lies on sample k: the bicubic
  // kernel (b = c = 1/3) at distances 1, 0, 1 gives 1/18, 16/18, 1/18, in
  // 1/16384: 910, 14564, 910. Down, row 2r lies a quarter sample above
  // sample r: distances 1.75, 0.75, 0.25, 1.25 to samples r-2..r+1 give
  // -0.01476, 0.25608, 0.78212, -0.02344: -242, 4196, 12814, -384. Each pass
  // rounds to eight bits.
  auto across = [&](int p, int r, int k) {
    const std::uint8_t *row = src->row(p, r);
    return std::clamp((910 * row[k - 1] + 14564 * row[k] + 910 * row[k + 1] + 8192) >> 14, 0, 255);
  };
  for (int p = 1; p <= 2; ++p)
    for (auto [k, r] : {std::pair{100, 100}, std::pair{37, 201}, std::pair{250, 17}}) {
      const int expected = std::clamp((-242 * across(p, r - 2, k) + 4196 * across(p, r - 1, k) +
                                       12814 * across(p, r, k) - 384 * across(p, r + 1, k) + 8192) >>
                                          14,
                                      0, 255);
      EXPECT_EQ(yv24->row(p, 2 * r)[2 * k], expected) << "plane " << p << " at " << 2 * k << "," << 2 * r;
    }
  // A flat picture stays flat whatever the kernel: Y8's grey comes back as 128.
  FramePtr grey = Open("ConvertToY8()\nConvertToYV24(chromaresample=\"lanczos\")")->frame(0);
  EXPECT_EQ(*std::min_element(grey->planes[1].begin(), grey->planes[1].end()), 128);
  EXPECT_EQ(*std::max_element(grey->planes[2].begin(), grey->planes[2].end()), 128);
}

TEST_F(PlanarFormats, InterlacedConversionsKeepTheFieldsApart) {
  // A frame whose fields differ in colour: U 60 in the top field, 200 in the
  // bottom one (4:2:0 chroma rows alternate between the fields as well).
  const std::string woven = "t = BlankClip(width=16, height=8, pixel_type=\"YV12\", color_yuv=$803C80)\n"
                            "b = BlankClip(width=16, height=8, pixel_type=\"YV12\", color_yuv=$80C880)\n"
                            "Interleave(t, b).AssumeFieldBased().AssumeTFF().Weave()\n";
  FramePtr fields = Open(woven + "ConvertToYV24(interlaced=true)")->frame(0);
  ASSERT_EQ(fields->height, 16);
  for (int y = 0; y < 16; ++y)
    EXPECT_EQ(fields->row(1, y)[5], (y & 1) ? 200 : 60) << "row " << y;
  // Progressive, the two fields' chroma mix.
  FramePtr mixed = Open(woven + "ConvertToYV24()")->frame(0);
  EXPECT_GT(mixed->row(1, 6)[5], 60);
  EXPECT_LT(mixed->row(1, 7)[5], 200);
  // Back to 4:2:0 per field restores the picture exactly: flat fields stay flat.
  FramePtr back = Open(woven + "ConvertToYV16(interlaced=true)\nConvertToYV12(interlaced=true)")->frame(0);
  FramePtr orig = Open(woven)->frame(0);
  EXPECT_EQ(back->planes, orig->planes);
  EXPECT_NE(ErrorOf(woven + "Crop(0, 0, 0, -2)\nConvertToYV24(interlaced=true)").find("multiple of 4"),
            std::string::npos);
}

TEST_F(PlanarFormats, RoundTripsComeBackWithinRounding) {
  FramePtr src = Open("")->frame(9);
  // Up with bicubic and down again with bicubic is not the identity, but
  // close: the kernels blur a little in each direction.
  for (const char *via : {"ConvertToYV24()", "ConvertToYV16()", "ConvertToYV24(interlaced=true)"}) {
    const std::string back = std::string(via) + (std::string(via).find("interlaced") != std::string::npos
                                                     ? "\nConvertToYV12(interlaced=true)"
                                                     : "\nConvertToYV12()");
    FramePtr f = Open(back)->frame(9);
    EXPECT_EQ(MaxPlaneDifference(*src, *f, 0), 0) << via;
    long long total = 0;
    for (int p = 1; p <= 2; ++p)
      for (size_t i = 0; i < src->planes[p].size(); ++i)
        total += std::abs(src->planes[p][i] - f->planes[p][i]);
    EXPECT_LT(static_cast<double>(total) / (2.0 * src->planes[1].size()), 1.5) << via << ": mean chroma difference";
    EXPECT_LE(MaxPlaneDifference(*src, *f, 1), 24) << via;
  }
  // YV16 and YUY2 hold the same samples: packing and unpacking is lossless.
  FramePtr yv16 = Open("ConvertToYV16()")->frame(3);
  FramePtr again = Open("ConvertToYV16()\nConvertToYUY2()\nConvertToYV16()")->frame(3);
  EXPECT_EQ(yv16->planes, again->planes);
  // Point up and point down lands every sample back where it was.
  FramePtr point = Open("ConvertToYV24(chromaresample=\"point\", ChromaInPlacement=\"MPEG1\")\n"
                        "ConvertToYV12(chromaresample=\"point\", ChromaOutPlacement=\"MPEG1\")")
                       ->frame(9);
  EXPECT_EQ(point->planes, src->planes);
}

TEST_F(PlanarFormats, RgbGoesThroughYv24PixelByPixel) {
  // BT.601, studio range: red (255, 0, 0) is Y = 16 + 219 * 0.299 = 81.5 -> 81,
  // U = 128 - 224 * 0.299 / 1.772 = 90.2 -> 90, V = 128 + 112 = 240.
  FramePtr red = Open("BlankClip(color=$FF0000, width=8, height=6)\nConvertToYV24()")->frame(0);
  EXPECT_EQ(red->row(0, 5)[7], 81);
  EXPECT_EQ(red->row(1, 5)[7], 90);
  EXPECT_EQ(red->row(2, 5)[7], 240);
  // Rec709: Y = 16 + 219 * 0.2126 = 62.6 -> 63, V = 240, U = 128 - 224 * 0.2126 / 1.8556 = 102.3 -> 102.
  FramePtr red709 = Open("BlankClip(color=$FF0000, width=8, height=6)\nConvertToYV24(matrix=\"Rec709\")")->frame(0);
  EXPECT_EQ(red709->row(0, 0)[0], 63);
  EXPECT_EQ(red709->row(1, 0)[0], 102);
  // Y8 from RGB is that luma alone; Y8 to RGB is grey: 126 -> (126 - 16) * 255 / 219 = 128.1 -> 128.
  FramePtr y8 = Open("BlankClip(color=$FF0000, width=8, height=6)\nConvertToY8()")->frame(0);
  EXPECT_EQ(y8->format, PixelFormat::Y8);
  EXPECT_EQ(y8->row(0, 2)[3], 81);
  FramePtr grey = Open("BlankClip(color=$808080, width=8, height=6, pixel_type=\"Y8\")\nConvertToRGB32()")->frame(0);
  EXPECT_EQ(grey->row(0, 0)[0], 128);
  EXPECT_EQ(grey->row(0, 0)[1], 128);
  EXPECT_EQ(grey->row(0, 0)[2], 128);
  // The rip as RGB, through YV24 and back: every colour within the rounding
  // of eight-bit studio-range YUV.
  FramePtr rgb = Open("ConvertToRGB24()")->frame(4);
  FramePtr back = Open("ConvertToRGB24()\nConvertToYV24()\nConvertToRGB24()")->frame(4);
  EXPECT_LE(MaxPlaneDifference(*rgb, *back, 0), 2);
}

TEST_F(PlanarFormats, FiltersKeepTheFormatsSizeRules) {
  // YV24 and Y8 take any size, YV16 an even width, as YUY2.
  ClipPtr odd = Open("ConvertToYV24()\nCrop(1, 3, -5, -7)\nAddBorders(1, 1, 3, 1)\nBicubicResize(321, 241)");
  EXPECT_EQ(odd->info().width, 321);
  EXPECT_EQ(odd->info().height, 241);
  EXPECT_EQ(odd->frame(0)->format, PixelFormat::YV24);
  EXPECT_EQ(Open("ConvertToY8()\nCrop(3, 1, 301, 99)\nLanczosResize(99, 51)")->frame(1)->width, 99);
  ClipPtr yv16 = Open("ConvertToYV16()\nCrop(2, 1, -4, -1)\nLetterbox(3, 5)\nFlipVertical()");
  EXPECT_EQ(yv16->info().width, 714);
  EXPECT_EQ(yv16->info().height, 574);
  EXPECT_NE(ErrorOf("ConvertToYV16()\nCrop(1, 0, 0, 0)").find("Crop: YV16 can only be cropped by even numbers"),
            std::string::npos);
  EXPECT_NE(ErrorOf("ConvertToYV16()\nBilinearResize(321, 240)").find("YV16 width must be even"), std::string::npos);
  EXPECT_NE(ErrorOf("ConvertToYV16()\nAddBorders(0, 0, 1, 0)").find("AddBorders: YV16"), std::string::npos);
  EXPECT_NE(ErrorOf("ConvertToYV24()\nCrop(0, 0, 719, 0)\nConvertToYV16()").find("width must be even for YV16"),
            std::string::npos);
  // Crop moves every plane by its own subsampling: the luma and chroma of a
  // pixel stay together.
  FramePtr whole = Open("ConvertToYV16()")->frame(2);
  FramePtr cut = Open("ConvertToYV16()\nCrop(8, 3, 64, 32)")->frame(2);
  EXPECT_EQ(cut->row(0, 0)[0], whole->row(0, 3)[8]);
  EXPECT_EQ(cut->row(1, 0)[0], whole->row(1, 3)[4]);
  // Fields: YV16 splits at any even height, per plane.
  ClipPtr fields = Open("ConvertToYV16()\nSeparateFields()");
  EXPECT_EQ(fields->info().height, 288);
  EXPECT_EQ(fields->frame(1)->row(2, 0)[5], whole->row(2, 1)[5]);
  ClipPtr stacked = Open("a = ConvertToY8()\nStackHorizontal(a, a.FlipVertical())\nTrim(3, 9) + Trim(0, 1)");
  EXPECT_EQ(stacked->info().width, 1440);
  EXPECT_EQ(stacked->info().frameCount, 9);
}

TEST_F(PlanarFormats, AdjustmentsWorkPerPlaneAndOthersRefuseByName) {
  // Levels on Y8 maps luma only; Tweak's saturation reaches YV24's chroma.
  FramePtr y8 = Open("ConvertToY8()")->frame(0);
  FramePtr levelled = Open("ConvertToY8()\nLevels(0, 1.0, 255, 255, 0, coring=false)")->frame(0);
  EXPECT_EQ(levelled->row(0, 10)[10], 255 - y8->row(0, 10)[10]);
  FramePtr desat = Open("ConvertToYV24()\nTweak(sat=0.0)")->frame(0);
  EXPECT_EQ(*std::min_element(desat->planes[1].begin(), desat->planes[1].end()), 128);
  EXPECT_EQ(Open("ConvertToYV16()\nColorYUV(off_y=10)\nGreyscale()\nSharpen(0.5)")->info().format, PixelFormat::YV16);

  // Splices need one format, as in the script language.
  EXPECT_NE(ErrorOf("a = last\nb = ConvertToYV24()\na + b").find("differ in size or pixel format"),
            std::string::npos);
  EXPECT_NE(ErrorOf("ConvertToYV24()\nTelecide()").find("Telecide: YV24 is not supported"), std::string::npos);
  EXPECT_NE(ErrorOf("ConvertToYV16()\nFieldDeinterlace()").find("FieldDeinterlace: YV16 is not supported"),
            std::string::npos);
  // yadifmod2 takes every planar format: its stand-in bobs YV24 as it is.
  ClipPtr bobbed = Open("ConvertToYV24()\nyadifmod2(mode=1)");
  EXPECT_EQ(bobbed->info().frameCount, 50);
  EXPECT_EQ(bobbed->frame(3)->format, PixelFormat::YV24);
  EXPECT_NE(ErrorOf("ConvertToYV24()\nRGBAdjust(r=1.1)").find("must be RGB (it is YV24"), std::string::npos);
  EXPECT_NE(ErrorOf("ConvertToYV24(chromaresample=\"sinc9\")").find("unknown chroma resampler"), std::string::npos);
  EXPECT_NE(ErrorOf("ConvertToYV24(ChromaInPlacement=\"DV\")").find("MPEG2 or MPEG1"), std::string::npos);
  EXPECT_NE(ErrorOf("ConvertToYV24(chromaresample=\"lanczos\", param1=0)").find("lanczos' taps"), std::string::npos);
  EXPECT_NE(ErrorOf("ConvertToYV16(param1=9999.0)").find("bicubic's b and c"), std::string::npos);
  EXPECT_EQ(Open("ConvertToYV24(param1=0.0, param2=0.5)")->info().format, PixelFormat::YV24) << "b = 0 is a bicubic";
}

// Overlay works in every planar format: luma as in YV12, and each chroma
// sample mixed with the overlay's at its place, the mask averaged over the
// luma samples the chroma sample covers. An overlay or mask of another
// format is converted to the base's first (Y8's chroma becomes grey).
TEST_F(PlanarFormats, OverlayBlendsEveryPlanarFormat) {
  // Half opacity gives the overlay the weight (128 * (255 + 1)) >> 8 = 128
  // of 256: out = (base * 128 + over * 128 + 128) >> 8.
  const auto half = [](int b, int o) { return (b * 128 + o * 128 + 128) >> 8; };
  for (const char *format : {"YV24", "YV16", "Y8"}) {
    SCOPED_TRACE(format);
    const std::string base = std::string("ConvertTo") + format + "()\n";
    FramePtr b = Open(base)->frame(4);
    FramePtr o = Open(base + "FlipVertical()")->frame(4);
    FramePtr out = Open(base + "Overlay(last, FlipVertical(), opacity=0.5)")->frame(4);
    ASSERT_EQ(out->format, b->format);
    for (int p = 0; p < 3; ++p) {
      if (b->planes[p].empty())
        continue;
      for (int y : {0, 7, 100, filters::PlaneRows(*b, p) - 1})
        for (int x : {0, 3, 161, filters::PlaneRowBytes(*b, p) - 1})
          EXPECT_EQ(out->row(p, y)[x], half(b->row(p, y)[x], o->row(p, y)[x])) << "plane " << p << " " << x << "," << y;
    }
    // Luma is worked as in YV12.
    FramePtr yv12 = Open("Overlay(last, FlipVertical(), opacity=0.5)")->frame(4);
    FramePtr luma = Open(base + "Overlay(last, FlipVertical(), opacity=0.5)\nConvertToY8()")->frame(4);
    EXPECT_EQ(std::vector<std::uint8_t>(luma->row(0, 50), luma->row(0, 50) + 720),
              std::vector<std::uint8_t>(yv12->row(0, 50), yv12->row(0, 50) + 720));
  }
  // YV16 with a mask white up to column 360 and black from 361: the chroma
  // pair of columns 360 and 361 sees the mean (255 + 0 + 1) / 2 = 128, the
  // weight 128 + (128 >> 7) = 129 of 256.
  FramePtr b = Open("ConvertToYV16()")->frame(2);
  FramePtr o = Open("ConvertToYV16()\nFlipVertical()")->frame(2);
  FramePtr out = Open("ConvertToYV16()\n"
                      "m = StackHorizontal(BlankClip(last, width=361, pixel_type=\"Y8\", color_yuv=$FF8080), "
                      "BlankClip(last, width=359, pixel_type=\"Y8\", color_yuv=$008080))\n"
                      "Overlay(last, FlipVertical(), mask=m)")
                     ->frame(2);
  for (int p = 1; p <= 2; ++p) {
    EXPECT_EQ(out->row(p, 30)[180], (b->row(p, 30)[180] * 127 + o->row(p, 30)[180] * 129 + 128) >> 8);
    EXPECT_EQ(out->row(p, 30)[100], o->row(p, 30)[100]) << "white: the overlay's chroma";
    EXPECT_EQ(out->row(p, 30)[300], b->row(p, 30)[300]) << "black: the base's chroma";
  }
  EXPECT_EQ(out->row(0, 30)[360], o->row(0, 30)[360]);
  EXPECT_EQ(out->row(0, 30)[361], b->row(0, 30)[361]);
  // A Y8 overlay on YV12 brings grey chroma: half of it is (c + 128) / 2.
  FramePtr base12 = Open("")->frame(1);
  FramePtr grey = Open("Overlay(last, ConvertToY8(), opacity=0.5)")->frame(1);
  EXPECT_EQ(grey->row(2, 20)[30], half(base12->row(2, 20)[30], 128));
}

// libswscale's conversion of a frame's planes to another layout or to RGB.
std::vector<std::uint8_t> Swscale(const Frame &f, AVPixelFormat from, AVPixelFormat to, int flags, int dstSize) {
  SwsContext *c = sws_alloc_context();
  av_opt_set_int(c, "srcw", f.width, 0);
  av_opt_set_int(c, "srch", f.height, 0);
  av_opt_set_int(c, "src_format", from, 0);
  av_opt_set_int(c, "dstw", f.width, 0);
  av_opt_set_int(c, "dsth", f.height, 0);
  av_opt_set_int(c, "dst_format", to, 0);
  av_opt_set_int(c, "sws_flags", flags | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP | SWS_ACCURATE_RND, 0);
  EXPECT_GE(sws_init_context(c, nullptr, nullptr), 0);
  const int *bt601 = sws_getCoefficients(SWS_CS_ITU601);
  // Studio-range YUV in; RGB out at full range, YUV and grey at the same range.
  sws_setColorspaceDetails(c, bt601, 0, bt601, to == AV_PIX_FMT_RGB24 ? 1 : 0, 0, 1 << 16, 1 << 16);
  std::vector<std::uint8_t> out(static_cast<size_t>(dstSize));
  const std::uint8_t *src[4] = {f.planes[0].data(), f.planes[1].data(), f.planes[2].data(), nullptr};
  const int srcStride[4] = {f.stride[0], f.stride[1], f.stride[2], 0};
  std::uint8_t *dst[4] = {out.data(), nullptr, nullptr, nullptr};
  int dstStride[4] = {0, 0, 0, 0};
  if (to == AV_PIX_FMT_GRAY8) {
    dstStride[0] = f.width;
  } else if (to == AV_PIX_FMT_RGB24) {
    dstStride[0] = f.width * 3;
  } else { // yuv422p
    const size_t luma = static_cast<size_t>(f.width) * f.height, chroma = luma / 2;
    dst[1] = out.data() + luma;
    dst[2] = out.data() + luma + chroma;
    dstStride[0] = f.width;
    dstStride[1] = dstStride[2] = f.width / 2;
  }
  sws_scale(c, src, srcStride, 0, f.height, dst, dstStride);
  sws_freeContext(c);
  return out;
}

TEST_F(PlanarFormats, AgreesWithAnIndependentConverterWhereTheArithmeticIsTheSame) {
  // Y8 is the luma plane: libswscale's grey from 4:2:0 is the same bytes.
  FramePtr src = Open("")->frame(11);
  FramePtr y8 = Open("ConvertToY8()")->frame(11);
  EXPECT_EQ(y8->planes[0], Swscale(*src, AV_PIX_FMT_YUV420P, AV_PIX_FMT_GRAY8, SWS_POINT, 720 * 576));

  // 4:4:4 -> 4:2:2 by point sampling picks one of each pair of columns. The
  // two converters site 4:2:2 chroma differently (libswscale on the even
  // column, the script language in the middle of the pair, where the point
  // kernel takes the odd column), so they are compared on pictures whose
  // chroma pairs are equal: YV16 widened by point sampling.
  FramePtr pairs = Open("ConvertToYV16()\nConvertToYV24(chromaresample=\"point\")")->frame(11);
  for (int y = 0; y < 576; y += 97)
    for (int x = 0; x < 720; x += 2)
      ASSERT_EQ(pairs->row(1, y)[x], pairs->row(1, y)[x + 1]) << "point widening repeats each sample";
  FramePtr ours = Open("ConvertToYV16()\nConvertToYV24(chromaresample=\"point\")\n"
                       "ConvertToYV16(chromaresample=\"point\")")
                      ->frame(11);
  const std::vector<std::uint8_t> theirs =
      Swscale(*pairs, AV_PIX_FMT_YUV444P, AV_PIX_FMT_YUV422P, SWS_POINT, 720 * 576 * 2);
  std::vector<std::uint8_t> mine = ours->planes[0];
  mine.insert(mine.end(), ours->planes[1].begin(), ours->planes[1].end());
  mine.insert(mine.end(), ours->planes[2].begin(), ours->planes[2].end());
  EXPECT_EQ(mine, theirs);

  // The preview of a YV24 frame: BT.601 pixel by pixel, the same arithmetic
  // as libswscale's 4:4:4 to RGB up to the last bit of rounding.
  FramePtr yv24 = Open("ConvertToYV24()")->frame(11);
  RgbImage preview;
  FrameToRgb(*yv24, preview);
  const std::vector<std::uint8_t> rgb = Swscale(*yv24, AV_PIX_FMT_YUV444P, AV_PIX_FMT_RGB24, SWS_POINT, 720 * 576 * 3);
  int worst = 0;
  for (size_t i = 0; i < rgb.size(); ++i)
    worst = std::max(worst, std::abs(rgb[i] - preview.pixels[i]));
  EXPECT_LE(worst, 2);
  // And it shows the colours of the YV12 it came from: the preview brings
  // 4:2:0 chroma to every pixel with the same kernel and siting.
  RgbImage fromYv12;
  FrameToRgb(*src, fromYv12);
  long long total = 0;
  for (size_t i = 0; i < rgb.size(); ++i)
    total += std::abs(fromYv12.pixels[i] - preview.pixels[i]);
  EXPECT_LT(static_cast<double>(total) / static_cast<double>(rgb.size()), 0.6);
}

TEST_F(PlanarFormats, ThePreviewShowsEveryPlanarFormat) {
  // Red as YV24, YV16 and Y8: (81, 90, 240) -> R = 1.164 * 65 + 1.596 * 112 =
  // 254.4 -> 254, G = 75.7 + 0.392 * 38 - 0.813 * 112 < 0 -> 0, B = 75.7 -
  // 2.017 * 38 < 0 -> 0; Y8 keeps 81 only: (81 - 16) * 255 / 219 = 75.7 -> 76 grey.
  RgbImage img;
  for (const char *to : {"ConvertToYV24()", "ConvertToYV16()"}) {
    FrameToRgb(*Open(std::string("BlankClip(color=$FF0000, width=6, height=4)\n") + to)->frame(0), img);
    ASSERT_EQ(img.width, 6);
    EXPECT_EQ(img.at(5, 3)[0], 254) << to;
    EXPECT_EQ(img.at(5, 3)[1], 0) << to;
    EXPECT_EQ(img.at(0, 0)[2], 0) << to;
  }
  // YV16 chroma is widened as ConvertToYV24 widens it (the middle of each
  // pair, bicubic): the two previews differ by the kernels' rounding only.
  RgbImage yv16, yv24;
  FrameToRgb(*Open("ConvertToYV16()")->frame(6), yv16);
  FrameToRgb(*Open("ConvertToYV16()\nConvertToYV24()")->frame(6), yv24);
  int worst = 0;
  for (size_t i = 0; i < yv16.pixels.size(); ++i)
    worst = std::max(worst, std::abs(yv16.pixels[i] - yv24.pixels[i]));
  EXPECT_LE(worst, 3);
  FrameToRgb(*Open("BlankClip(color=$FF0000, width=7, height=3)\nConvertToY8()")->frame(0), img);
  EXPECT_EQ(img.at(6, 2)[0], 76);
  EXPECT_EQ(img.at(6, 2)[1], 76);
  EXPECT_EQ(img.at(6, 2)[2], 76);
}

} // namespace
} // namespace reelwork::engine::test
