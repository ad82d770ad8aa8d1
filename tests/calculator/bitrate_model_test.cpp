// The calculator's arithmetic on the figures users meet: CDs and DVDs,
// films of an hour and a half, one to three sound streams, end titles.

#include <gtest/gtest.h>

#include <limits>

#include "calculator/bitrate_model.h"

namespace reelwork {
namespace {

BitrateInputs Film(float size, int position, int time, std::array<int, 3> audio = {448, 0, 0}) {
  BitrateInputs in;
  in.size = size;
  in.position = position;
  in.time = time;
  in.audio = audio;
  return in;
}

TEST(BitrateModel, CdsFilmsAndEndTitles) {
  // 1 CD, 90 minutes, one 448 kbps stream: 288.39 MB of sound, 632 in red.
  EXPECT_NEAR(AudioMegabytes(448, 5400), 288.39, 0.005);
  const float oneCd = *ComputeBitrate(Film(700, 700, 5400));
  EXPECT_NEAR(oneCd, 631.64, 0.01);
  EXPECT_EQ(FormatBitrate(oneCd), "632");
  EXPECT_TRUE(IsLowBitrate(oneCd));

  // 2 CDs, 100 minutes: 1495 in black, 0,19 in red at 25 fps and 640 x 480.
  const float twoCds = *ComputeBitrate(Film(1400, 1400, 6000));
  EXPECT_NEAR(twoCds, 1495.36, 0.01);
  EXPECT_EQ(FormatBitrate(twoCds), "1495");
  EXPECT_FALSE(IsLowBitrate(twoCds));
  const float quality = *ComputeQuality(twoCds, 25.0f, 640, 480);
  EXPECT_NEAR(quality, 0.1947, 0.0001);
  EXPECT_EQ(FormatQuality(quality), "0,19");
  EXPECT_TRUE(IsLowQuality(quality));

  // Five minutes of titles at 500 kbps: the sound still runs 6000 s.
  BitrateInputs titles = Film(1400, 1400, 6000);
  titles.useTitles = true;
  titles.titleTime = 300;
  titles.titleRate = 500;
  EXPECT_NEAR(*ComputeBitrate(titles), 1547.75, 0.01);
  titles.useTitles = false;
  EXPECT_EQ(FormatBitrate(*ComputeBitrate(titles)), "1495");
}

TEST(BitrateModel, TheAllowanceFollowsTheSliderNotTheTypedSize) {
  // 1000 MB typed while the slider stands on 2 CDs: 10 MB off, not 5.
  const float video = 1000 - AudioMegabytes(448, 6000) - 10;
  EXPECT_NEAR(*ComputeBitrate(Film(1000, 1400, 6000)), video * 8388608 / 6000000.0, 0.01);
  const int cds[] = {700, 1400, 2100, 2800, 3500, 4200};
  for (int k = 0; k < 6; ++k)
    EXPECT_EQ(AllowanceFor(cds[k]), 5 * (k + 1));
  for (int other : {0, 350, 1120, 2048, 2240, 4480, 1401})
    EXPECT_EQ(AllowanceFor(other), 5) << other;
}

TEST(BitrateModel, RefusesWhenThereIsNoMainPart) {
  BitrateInputs in = Film(1400, 1400, 6000);
  in.useTitles = true;
  in.titleRate = 500;
  for (int titleTime : {6000, 7000}) {
    in.titleTime = titleTime;
    EXPECT_FALSE(ComputeBitrate(in)) << titleTime;
  }
  in.titleTime = 5999;
  EXPECT_TRUE(ComputeBitrate(in));
  EXPECT_FALSE(ComputeBitrate(Film(1400, 1400, 0)));
  EXPECT_FALSE(ComputeBitrate(Film(std::numeric_limits<float>::infinity(), 1400, 6000)));
  EXPECT_FALSE(ComputeQuality(1500, 0.0f, 640, 480));
  EXPECT_FALSE(ComputeQuality(1500, -25.0f, 640, 480));
  // Sound larger than the size: a negative bitrate, shown as it is.
  const float negative = *ComputeBitrate(Film(350, 350, 24000, {448, 448, 448}));
  EXPECT_LT(negative, 0);
  EXPECT_EQ(FormatBitrate(negative).front(), '-');
}

TEST(BitrateModel, ShownValuesRoundHalvesToEven) {
  EXPECT_EQ(FormatBitrate(631.5f), "632");
  EXPECT_EQ(FormatBitrate(632.5f), "632");
  EXPECT_EQ(FormatBitrate(-0.4f), "0"); // never "-0"
  EXPECT_EQ(FormatQuality(0.05f), "0,05");
  EXPECT_EQ(FormatQuality(0.125f), "0,12"); // exact halves in binary
  EXPECT_EQ(FormatQuality(0.375f), "0,38");
  EXPECT_EQ(FormatQuality(12.3456f), "12,35");
  EXPECT_EQ(FormatQuality(-0.001f), "0,00");
  EXPECT_EQ(FormatBitrate(3e38f).size(), 39u); // no integer overflow
}

TEST(BitrateModel, FramesAndTime) {
  const FilmTime film = *FramesToTime(135000, 23.976f);
  EXPECT_EQ(film.minutes, 93);
  EXPECT_EQ(film.seconds, 51);
  EXPECT_EQ(film.total, 5631);
  EXPECT_EQ(FramesToTime(150000, 25.0f)->total, 6000);
  // 59.6 s: the seconds round up to 60 within the same minute.
  const FilmTime late = *FramesToTime(1490, 25.0f);
  EXPECT_EQ(late.minutes, 0);
  EXPECT_EQ(late.seconds, 60);
  EXPECT_FALSE(FramesToTime(1000, 0.0f));
  EXPECT_FALSE(FramesToTime(2147483647, 1e-30f)); // beyond any film

  EXPECT_EQ(TimeToFrames(3600, 25.0f), 90000);
  EXPECT_EQ(TimeToFrames(5631, 23.976f), 135009);
  EXPECT_EQ(TimeToFrames(1, 12.5f), 12);
  EXPECT_EQ(TimeToFrames(3, 12.5f), 38);
}

TEST(BitrateModel, NearestEntriesAndTies) {
  EXPECT_EQ(SnapToPreset(1724), 1400); // 324 MB from 1400 and from 2048
  EXPECT_EQ(SnapToPreset(1725), 2048);
  EXPECT_EQ(SnapToPreset(525), 350);
  EXPECT_EQ(SnapToPreset(4400), 4480);
  EXPECT_EQ(HeightTable[NearestListHeight(456)], 464); // 464 and 448 equally near
  EXPECT_EQ(HeightTable[NearestListHeight(0)], 192);
}

TEST(BitrateModel, StartPresetIsTheFewestCdsThatAllow1000Kbps) {
  EXPECT_EQ(ChooseStartPreset(5400, {448, 0, 0}).position, 1400);
  EXPECT_EQ(PresetBitrate(1400, 5400, {448, 0, 0})->rounded, 1711);
  // Three streams over 100 minutes: 2 CDs give less than 1000 kbps.
  EXPECT_LT(PresetBitrate(1400, 6000, {448, 448, 448})->rounded, 1000);
  const StartPreset three = ChooseStartPreset(6000, {448, 448, 448});
  EXPECT_EQ(three.position, 2100);
  EXPECT_EQ(*three.bitrate, PresetBitrate(2100, 6000, {448, 448, 448})->exact);
  EXPECT_EQ(ChooseStartPreset(24000, {448, 448, 448}).position, 4200);
  // No running time: any size holds it, and no bitrate is known.
  const StartPreset none = ChooseStartPreset(0, {448, 0, 0});
  EXPECT_EQ(none.position, 1400);
  EXPECT_FALSE(none.bitrate);
}

TEST(BitrateModel, StartFrameSize) {
  auto size = [](int w, int h, int code, std::optional<float> bitrate, int current = 480) {
    const FrameSize s = ChooseStartFrameSize(w, h, code, bitrate, 25.0f, current);
    return std::to_string(s.width) + "x" + std::to_string(s.height);
  };
  // 720 x 576 at 4:3: 640 x 480, 608 x 464, 576 x 432 while the quality is low.
  EXPECT_EQ(size(720, 576, 2, 1495.36f), "576x432");
  EXPECT_EQ(size(720, 576, 2, 1650.0f), "608x464");
  EXPECT_EQ(size(720, 576, 2, std::nullopt), "640x480");
  // 16:9 takes width * 100 / 185; code 0 keeps 480 at first but narrows at
  // 3:4; other codes never touch the height.
  EXPECT_EQ(size(720, 576, 3, 2000.0f), "640x352");
  EXPECT_EQ(size(720, 576, 3, 1000.0f), "576x304");
  EXPECT_EQ(size(720, 576, 0, 1495.36f), "576x432");
  EXPECT_EQ(size(720, 576, 1, 1000.0f), "576x480");
  // The video's own size where the lists hold it, whatever the bitrate.
  EXPECT_EQ(size(704, 400, 2, 100.0f), "704x400");
  EXPECT_EQ(size(704, 576, 2, 100.0f), "704x496");
  EXPECT_EQ(size(704, 576, 1, 100.0f, 336), "704x336");
  EXPECT_EQ(size(720, 400, 1, 5000.0f, 336), "640x480");
}

} // namespace
} // namespace reelwork
