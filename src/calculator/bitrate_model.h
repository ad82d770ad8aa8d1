#pragma once
// The bitrate calculator's arithmetic: how many kbps the video may take so
// that film, sound and container fit a target size, and how many bits each
// pixel of a frame gets at that rate. Pure functions over 32-bit floats (the
// stored values are single precision, as the calculator has always kept them),
// free of any window; the calculator dialog and `reelwork-cli bitrate` share
// them.

#include <array>
#include <optional>
#include <string>

namespace reelwork {

// Frame rates of the rate list, in list order.
inline constexpr std::array<float, 5> RateTable{12.5f, 23.976f, 24.0f, 25.0f, 29.97f};
inline constexpr std::array<const char *, 5> RateTexts{"12.500", "23.976", "24.000", "25.000", "29.970"};

// Target sizes on the size slider, in megabytes, with the names shown for them.
struct SizePreset {
  int megabytes;
  const char *name;
};
inline constexpr std::array<SizePreset, 11> SizePresets{{
    {350, "0.50 CD"},
    {700, "1.00 CD"},
    {1120, "0.25 DVD"},
    {1400, "2.00 CD"},
    {2048, "2.00 GB"},
    {2100, "3.00 CD"},
    {2240, "0.50 DVD"},
    {2800, "4.00 CD"},
    {3500, "5.00 CD"},
    {4200, "6.00 CD"},
    {4480, "1.00 DVD"},
}};
inline constexpr int kSizeBarMax = 4480;

// Sound bitrates (kbps) of the audio lists; the last entry means no stream.
inline constexpr std::array<int, 9> AudioRates{448, 384, 320, 256, 224, 192, 160, 128, 0};
inline constexpr std::array<const char *, 9> AudioRateTexts{
    "448 Kbps", "384 Kbps", "320 Kbps", "256 Kbps", "224 Kbps", "192 Kbps", "160 Kbps", "128 Kbps", "000 Kbps"};

// Bitrates (kbps) for an end-title part encoded on its own.
inline constexpr std::array<int, 8> TitleRates{999, 900, 800, 700, 600, 500, 400, 300};
inline constexpr std::array<const char *, 8> TitleRateTexts{"999 kbps", "900 kbps", "800 kbps", "700 kbps",
                                                            "600 kbps", "500 kbps", "400 kbps", "300 kbps"};

// Output frame sizes offered for the quality figure.
inline constexpr std::array<int, 8> WidthTable{704, 672, 640, 608, 576, 544, 512, 480};
inline constexpr std::array<int, 20> HeightTable{496, 480, 464, 448, 432, 416, 400, 384, 368, 352,
                                                 336, 320, 304, 288, 272, 256, 240, 224, 208, 192};

// Time sliders run from 0 to this many seconds.
inline constexpr int kMaxSeconds = 24000;

// Below these a result is shown in red.
inline constexpr float kLowBitrate = 1000.0f;
inline constexpr float kLowQuality = 0.225f;

// Megabytes (1 MB = 1,048,576 bytes) of a stream of `kbps` over `seconds`.
float AudioMegabytes(int kbps, int seconds);

// Megabytes that the container takes from a target size: 5 MB per CD for the
// whole-CD presets, 5 MB for every other slider position.
int AllowanceFor(int position);

// The preset nearest to a slider position or size; a tie goes to the smaller.
int SnapToPreset(double position);

// Index of the preset with exactly these megabytes, or -1.
int PresetIndex(int megabytes);

struct BitrateInputs {
  float size = 0;   // target size S in MB
  int position = 0; // size slider position P (decides the allowance)
  int time = 0;     // full running time T in seconds
  std::array<int, 3> audio{}; // kbps of up to three streams, 0 for none
  bool useTitles = false;
  int titleTime = 0; // end-title part Tt in seconds
  int titleRate = 0; // its bitrate in kbps
};

// The video bitrate (kbps) of the main part. Refused (nullopt) when there is
// no main part to spread the bits over: no running time, or end titles as long
// as the video or longer; and when the result is not a finite number. The
// result may be negative when the sound alone exceeds the size.
std::optional<float> ComputeBitrate(const BitrateInputs &in);

// The bitrate for the preset `position` used as the size too, without end
// titles: `exact` as computed and `rounded` as shown.
struct PresetResult {
  float exact;
  long long rounded;
};
std::optional<PresetResult> PresetBitrate(int position, int time, const std::array<int, 3> &audio);

// Bits per pixel and frame; refused for a rate or frame size that is not
// positive.
std::optional<float> ComputeQuality(float bitrate, float rate, int width, int height);

struct FilmTime {
  long long minutes = 0;
  long long seconds = 0; // 0..60: a fraction of 59.5 s or more rounds up to 60
  long long total = 0;   // minutes * 60 + seconds
};
// The running time of `frames` at `rate`, through minutes kept as a 32-bit
// float. Refused for a rate that is not positive and for times beyond any
// film (more than a billion minutes).
std::optional<FilmTime> FramesToTime(long long frames, float rate);

// Frames in `seconds` at `rate`, rounded; a whole number as a double, so that
// absurd typed rates cannot overflow an integer.
double TimeToFrames(long long seconds, float rate);

// Index of the height list entry nearest to `height`; a tie keeps the earlier
// (larger) entry.
int NearestListHeight(int height);

// The smallest number of CDs (2 to 6) that gives at least 1000 kbps, with the
// exact bitrate of the last preset tried (none when there is no running time,
// which any size would hold).
struct StartPreset {
  int position = 1400;
  std::optional<float> bitrate;
};
StartPreset ChooseStartPreset(int time, const std::array<int, 3> &audio);

struct FrameSize {
  int width = 640;
  int height = 480;
};
// The output frame size the calculator starts with: the video's own size
// where the lists hold it, else 640 wide, narrowed to 608 and 576 while the
// quality at `bitrate` stays below 0.225. `currentHeight` is the height list's
// present choice, which some aspect codes keep.
FrameSize ChooseStartFrameSize(int videoWidth, int videoHeight, int aspectCode, std::optional<float> bitrate,
                               float rate, int currentHeight);

// The bitrate as shown: rounded to whole kbps.
std::string FormatBitrate(float bitrate);
// The quality as shown: two decimals with a comma ("0,19").
std::string FormatQuality(float quality);

inline bool IsLowBitrate(float bitrate) { return bitrate < kLowBitrate; }
inline bool IsLowQuality(float quality) { return quality < kLowQuality; }

// The rate list index whose rate lies within 0.01 of `rate`, or -1.
int RateIndexFor(float rate);
// A rate as the rate list writes it: whole part, point, three decimals cut
// (50 -> "50.000", 10.05 -> "10.050").
std::string RateText(float rate);

// A whole number of any size in plain digits, without "-0".
std::string WholeNumberText(double value);

} // namespace reelwork
