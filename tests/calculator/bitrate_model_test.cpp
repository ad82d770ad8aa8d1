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

TEST(BitrateModel, OneCdNinetyMinutesIsLowAndRed) {
  EXPECT_NEAR(AudioMegabytes(448, 5400), 288.39, 0.005);
  const auto bitrate = ComputeBitrate(Film(700, 700, 5400));
  ASSERT_TRUE(bitrate);
  EXPECT_NEAR(*bitrate, 631.64, 0.01);
  EXPECT_EQ(FormatBitrate(*bitrate), "632");
  EXPECT_TRUE(IsLowBitrate(*bitrate));
}

TEST(BitrateModel, TwoCdsHundredMinutesWithQuality) {
  EXPECT_NEAR(AudioMegabytes(448, 6000), 320.43, 0.005);
  const auto bitrate = ComputeBitrate(Film(1400, 1400, 6000));
  ASSERT_TRUE(bitrate);
  EXPECT_NEAR(*bitrate, 1495.36, 0.01);
  EXPECT_EQ(FormatBitrate(*bitrate), "1495");
  EXPECT_FALSE(IsLowBitrate(*bitrate));

  const auto quality = ComputeQuality(*bitrate, 25.0f, 640, 480);
  ASSERT_TRUE(quality);
  EXPECT_NEAR(*quality, 0.1947, 0.0001);
  EXPECT_EQ(FormatQuality(*quality), "0,19");
  EXPECT_TRUE(IsLowQuality(*quality));
}

TEST(BitrateModel, EndTitlesTakeTheirShareAndAudioStillRunsTheFullTime) {
  BitrateInputs in = Film(1400, 1400, 6000);
  in.useTitles = true;
  in.titleTime = 300;
  in.titleRate = 500;
  const auto bitrate = ComputeBitrate(in);
  ASSERT_TRUE(bitrate);
  EXPECT_NEAR(*bitrate, 1547.75, 0.01);
  EXPECT_EQ(FormatBitrate(*bitrate), "1548");

  // The same inputs with the titles switched off ignore the title figures.
  in.useTitles = false;
  EXPECT_EQ(FormatBitrate(*ComputeBitrate(in)), "1495");
}

TEST(BitrateModel, TypedSizeUsesTheAllowanceOfTheSliderPosition) {
  // 1000 MB typed while the slider stands on 2 CDs: 10 MB, not 5.
  const auto onTwoCds = ComputeBitrate(Film(1000, 1400, 6000));
  const auto onDvd = ComputeBitrate(Film(1000, 4480, 6000));
  ASSERT_TRUE(onTwoCds && onDvd);
  const float megabytesApart = (*onDvd - *onTwoCds) * 6000 * 1000 / 8 / 1048576;
  EXPECT_NEAR(megabytesApart, 5.0, 0.01);
  const float video = 1000 - AudioMegabytes(448, 6000) - 10;
  EXPECT_NEAR(*onTwoCds, video * 8388608 / 6000000.0, 0.01);
}

TEST(BitrateModel, AllowancePerCdOnlyForWholeCdPresets) {
  EXPECT_EQ(AllowanceFor(700), 5);
  EXPECT_EQ(AllowanceFor(1400), 10);
  EXPECT_EQ(AllowanceFor(2100), 15);
  EXPECT_EQ(AllowanceFor(2800), 20);
  EXPECT_EQ(AllowanceFor(3500), 25);
  EXPECT_EQ(AllowanceFor(4200), 30);
  for (int other : {0, 350, 1120, 2048, 2240, 4480, 1401})
    EXPECT_EQ(AllowanceFor(other), 5) << other;
}

TEST(BitrateModel, RefusesWhenThereIsNoMainPart) {
  BitrateInputs in = Film(1400, 1400, 6000);
  in.useTitles = true;
  in.titleRate = 500;
  in.titleTime = 6000; // titles as long as the video
  EXPECT_FALSE(ComputeBitrate(in));
  in.titleTime = 7000;
  EXPECT_FALSE(ComputeBitrate(in));
  in.titleTime = 5999; // one second of film is still a film
  EXPECT_TRUE(ComputeBitrate(in));

  EXPECT_FALSE(ComputeBitrate(Film(1400, 1400, 0))); // no running time at all
  EXPECT_FALSE(PresetBitrate(1400, 0, {448, 0, 0}));
  EXPECT_FALSE(ComputeBitrate(Film(std::numeric_limits<float>::infinity(), 1400, 6000)));
}

TEST(BitrateModel, SoundLargerThanTheSizeGivesANegativeBitrate) {
  const auto bitrate = ComputeBitrate(Film(350, 350, 24000, {448, 448, 448}));
  ASSERT_TRUE(bitrate);
  EXPECT_LT(*bitrate, 0);
  EXPECT_EQ(FormatBitrate(*bitrate).front(), '-');
  EXPECT_TRUE(IsLowBitrate(*bitrate));
}

TEST(BitrateModel, QualityNeedsARateAndAFrame) {
  EXPECT_FALSE(ComputeQuality(1500, 0.0f, 640, 480));
  EXPECT_FALSE(ComputeQuality(1500, -25.0f, 640, 480));
  EXPECT_FALSE(ComputeQuality(1500, 25.0f, 0, 480));
  EXPECT_TRUE(ComputeQuality(1500, 25.0f, 640, 480));
}

TEST(BitrateModel, FormatsRoundHalvesToEven) {
  EXPECT_EQ(FormatBitrate(631.5f), "632");
  EXPECT_EQ(FormatBitrate(632.5f), "632");
  EXPECT_EQ(FormatBitrate(-0.4f), "0"); // never "-0"
  EXPECT_EQ(FormatQuality(0.2341f), "0,23");
  EXPECT_EQ(FormatQuality(0.05f), "0,05");
  EXPECT_EQ(FormatQuality(0.125f), "0,12"); // an exact half in binary
  EXPECT_EQ(FormatQuality(0.375f), "0,38");
  EXPECT_EQ(FormatQuality(1.0f), "1,00");
  EXPECT_EQ(FormatQuality(12.3456f), "12,35");
  EXPECT_EQ(FormatQuality(-0.001f), "0,00");
  EXPECT_EQ(FormatQuality(-0.05f), "-0,05");
  EXPECT_EQ(FormatBitrate(3e38f).size(), 39u); // huge values print in full
}

TEST(BitrateModel, FramesToTimeThroughSingleMinutes) {
  const auto film = FramesToTime(135000, 23.976f);
  ASSERT_TRUE(film);
  EXPECT_EQ(film->minutes, 93);
  EXPECT_EQ(film->seconds, 51);
  EXPECT_EQ(film->total, 5631);

  const auto hundred = FramesToTime(150000, 25.0f);
  EXPECT_EQ(hundred->minutes, 100);
  EXPECT_EQ(hundred->seconds, 0);
  EXPECT_EQ(hundred->total, 6000);

  // 59.6 s rounds up to a 60th second within the same minute.
  const auto late = FramesToTime(1490, 25.0f);
  EXPECT_EQ(late->minutes, 0);
  EXPECT_EQ(late->seconds, 60);
  EXPECT_EQ(late->total, 60);

  EXPECT_EQ(FramesToTime(0, 25.0f)->total, 0);
  EXPECT_FALSE(FramesToTime(1000, 0.0f));
  EXPECT_FALSE(FramesToTime(1000, -25.0f));
  EXPECT_FALSE(FramesToTime(2147483647, 1e-30f)); // beyond any film
}

TEST(BitrateModel, TimeToFramesRounds) {
  EXPECT_EQ(TimeToFrames(3600, 25.0f), 90000);
  EXPECT_EQ(TimeToFrames(5631, 23.976f), 135009);
  EXPECT_EQ(TimeToFrames(1, 12.5f), 12); // half to even
  EXPECT_EQ(TimeToFrames(3, 12.5f), 38);
  EXPECT_EQ(TimeToFrames(0, 29.97f), 0);
}

TEST(BitrateModel, SnapToPresetTiesGoToTheSmaller) {
  EXPECT_EQ(SnapToPreset(1724), 1400);
  EXPECT_EQ(SnapToPreset(1725), 2048);
  EXPECT_EQ(SnapToPreset(0), 350);
  EXPECT_EQ(SnapToPreset(525), 350); // halfway between 350 and 700
  EXPECT_EQ(SnapToPreset(4480), 4480);
  EXPECT_EQ(SnapToPreset(4400), 4480);
  EXPECT_EQ(SnapToPreset(2074), 2048);
  EXPECT_EQ(SnapToPreset(2075), 2100);
}

TEST(BitrateModel, NearestListHeightKeepsTheLargerOnATie) {
  EXPECT_EQ(HeightTable[NearestListHeight(480)], 480);
  EXPECT_EQ(HeightTable[NearestListHeight(456)], 464);
  EXPECT_EQ(HeightTable[NearestListHeight(432)], 432);
  EXPECT_EQ(HeightTable[NearestListHeight(345)], 352); // 640 * 100 / 185
  EXPECT_EQ(HeightTable[NearestListHeight(1000)], 496);
  EXPECT_EQ(HeightTable[NearestListHeight(0)], 192);
}

TEST(BitrateModel, StartPresetIsTheFewestCdsThatAllow1000Kbps) {
  const StartPreset ninety = ChooseStartPreset(5400, {448, 0, 0});
  EXPECT_EQ(ninety.position, 1400);
  EXPECT_EQ(PresetBitrate(1400, 5400, {448, 0, 0})->rounded, 1711);

  // Three streams over 100 minutes: 2 CDs give less than 1000 kbps.
  EXPECT_LT(PresetBitrate(1400, 6000, {448, 448, 448})->rounded, 1000);
  const StartPreset three = ChooseStartPreset(6000, {448, 448, 448});
  EXPECT_EQ(three.position, 2100);
  EXPECT_NEAR(*three.bitrate, PresetBitrate(2100, 6000, {448, 448, 448})->exact, 0.001);

  // Six CDs are the most it offers, even when they do not reach 1000 kbps.
  const StartPreset long_ = ChooseStartPreset(24000, {448, 448, 448});
  EXPECT_EQ(long_.position, 4200);
  EXPECT_LT(*long_.bitrate, 1000);

  // No running time: the first preset holds it, and no bitrate is known.
  const StartPreset none = ChooseStartPreset(0, {448, 0, 0});
  EXPECT_EQ(none.position, 1400);
  EXPECT_FALSE(none.bitrate);
}

TEST(BitrateModel, StartFrameSizeNarrowsWhileQualityIsLow) {
  // 720 x 576 at 4:3: 640 x 480, then 608 x 464, then 576 x 432.
  const FrameSize pal = ChooseStartFrameSize(720, 576, 2, 1495.36f, 25.0f, 480);
  EXPECT_EQ(pal.width, 576);
  EXPECT_EQ(pal.height, 432);
  // A bitrate good enough for 640 x 480 keeps it.
  const FrameSize rich = ChooseStartFrameSize(720, 576, 2, 2000.0f, 25.0f, 480);
  EXPECT_EQ(rich.width, 640);
  EXPECT_EQ(rich.height, 480);
  // 1400 kbps just reaches 0.225 at 576 x 432; 1650 kbps at 608 x 464.
  const FrameSize edge = ChooseStartFrameSize(720, 576, 2, 1400.0f, 25.0f, 480);
  EXPECT_EQ(edge.width, 576);
  EXPECT_EQ(edge.height, 432);
  const FrameSize oneStep = ChooseStartFrameSize(720, 576, 2, 1650.0f, 25.0f, 480);
  EXPECT_EQ(oneStep.width, 608);
  EXPECT_EQ(oneStep.height, 464);
}

TEST(BitrateModel, StartFrameSizeByAspectCode) {
  // 16:9 (code 3): heights from width * 100 / 185.
  const FrameSize wide = ChooseStartFrameSize(720, 576, 3, 2000.0f, 25.0f, 480);
  EXPECT_EQ(wide.width, 640);
  EXPECT_EQ(wide.height, 352);
  const FrameSize wideLow = ChooseStartFrameSize(720, 576, 3, 1000.0f, 25.0f, 480);
  EXPECT_EQ(wideLow.width, 576);
  EXPECT_EQ(wideLow.height, 304); // 576 * 100 / 185 = 311, nearest 304
  // Code 0 keeps 480 at first but takes 3:4 heights when narrowing.
  const FrameSize unknown = ChooseStartFrameSize(720, 576, 0, 1495.36f, 25.0f, 480);
  EXPECT_EQ(unknown.width, 576);
  EXPECT_EQ(unknown.height, 432);
  // Other codes never change the height.
  const FrameSize square = ChooseStartFrameSize(720, 576, 1, 1000.0f, 25.0f, 480);
  EXPECT_EQ(square.width, 576);
  EXPECT_EQ(square.height, 480);
}

TEST(BitrateModel, StartFrameSizeTakesTheVideosOwnSizeFromTheLists) {
  // Width and height both listed: taken as they are, whatever the bitrate.
  const FrameSize own = ChooseStartFrameSize(704, 400, 2, 100.0f, 25.0f, 480);
  EXPECT_EQ(own.width, 704);
  EXPECT_EQ(own.height, 400);
  // Width listed, height not: code 2 derives it, other codes keep the list's.
  EXPECT_EQ(ChooseStartFrameSize(704, 576, 2, 100.0f, 25.0f, 480).height, 496);
  EXPECT_EQ(ChooseStartFrameSize(704, 576, 1, 100.0f, 25.0f, 336).height, 336);
  // Height listed, width not: 640 x 480 all the same.
  const FrameSize odd = ChooseStartFrameSize(720, 400, 1, 5000.0f, 25.0f, 336);
  EXPECT_EQ(odd.width, 640);
  EXPECT_EQ(odd.height, 480);
  // No bitrate known (no running time): no narrowing.
  EXPECT_EQ(ChooseStartFrameSize(720, 576, 2, std::nullopt, 25.0f, 480).width, 640);
}

TEST(BitrateModel, RateListEntries) {
  EXPECT_EQ(RateIndexFor(25.0f), 3);
  EXPECT_EQ(RateIndexFor(23.976f), 1);
  EXPECT_EQ(RateIndexFor(24000.0f / 1001), 1);
  EXPECT_EQ(RateIndexFor(30000.0f / 1001), 4);
  EXPECT_EQ(RateIndexFor(29.98f), -1); // 0.01 away is too far
  EXPECT_EQ(RateIndexFor(50.0f), -1);
  EXPECT_EQ(RateText(50.0f), "50.000");
  EXPECT_EQ(RateText(10.05f), "10.050");
  EXPECT_EQ(RateText(59.9999f), "59.999"); // cut, not rounded
  EXPECT_EQ(RateText(0.0f), "0.000");
}

} // namespace
} // namespace reelwork
