// The calculator's searches: the sound file's bitrate in its name, and the
// start of the end titles, over synthetic frames and over a sample rip.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

#include "calculator/calculator_searches.h"
#include "preview/frame_source.h"
#include "preview/preview_display.h"
#include "support/media_fixture.h"
#include "support/test_bench.h"

namespace reelwork {
namespace {

using test::FakePreview;

TEST(AudioRateFromName, DigitsDirectlyBeforeTheFirstKbps) {
  EXPECT_EQ(AudioRateIndexFromName("VTS_01_1 - AC3 - 2ch - 48kHz - 448Kbps.ac3"), 0);
  EXPECT_EQ(AudioRateIndexFromName("movie_192KBPS.AC3"), 5);
  EXPECT_EQ(AudioRateIndexFromName("a 384kbps b 448kbps.ac3"), 1);
  EXPECT_EQ(AudioRateIndexFromName("x 0kbps.ac3"), 8); // "no stream" is an entry too
  for (const char *name : {"movie 96kbps.ac3", "movie 448 kbps.ac3", "movie.ac3", "", "kbps.ac3",
                           "a kbps 448kbps.ac3", "9999999999999999999448kbps.ac3"})
    EXPECT_EQ(AudioRateIndexFromName(name), -1) << name;
}

// Plain grey frames: a film of brightness `film` up to `titleStart` - 1, then
// black titles of brightness `titles`.
std::function<RgbImage(int)> FilmThenTitles(int titleStart, int film = 120, int titles = 8) {
  return [=](int n) {
    RgbImage image;
    image.resize(8, 4);
    std::fill(image.pixels.begin(), image.pixels.end(), static_cast<std::uint8_t>(n >= titleStart ? titles : film));
    return image;
  };
}

struct TitleSearch : ::testing::Test {
  SharedState state;
  FakePreview preview{state};
};

TEST_F(TitleSearch, FindsTheFirstBlackFrameAfterTheFilm) {
  preview.frames = FilmThenTitles(2437);
  EXPECT_EQ(FindTitleStart(preview, 3000), 2437);
  // The end check looks at the last six frames, newest first.
  EXPECT_EQ(preview.shownFrames.mid(0, 6), (QList<int>{3000, 2999, 2998, 2997, 2996, 2995}));
  // Then every hundredth frame back to the first light one, then forwards.
  EXPECT_EQ(preview.shownFrames.mid(6, 7), (QList<int>{3000, 2900, 2800, 2700, 2600, 2500, 2400}));
  EXPECT_EQ(preview.shownFrames[13], 2400);
  // The last frame examined stays on show.
  EXPECT_EQ(state.CurrentFrame, 2437);
  EXPECT_EQ(preview.shownFrames.back(), 2437);
}

TEST_F(TitleSearch, LightEndMeansNoTitles) {
  preview.frames = FilmThenTitles(2998); // only the last three frames are dark
  EXPECT_FALSE(FindTitleStart(preview, 3000));
  EXPECT_EQ(preview.shownFrames, (QList<int>{3000, 2999, 2998, 2997}));
  // Titles at 20 pass the end check but are never black: the frame after
  // the last dark hundredth.
  preview.frames = FilmThenTitles(2437, 120, 20);
  EXPECT_EQ(FindTitleStart(preview, 3000), 2501);
}

TEST_F(TitleSearch, StaysWithinTwentyThousandFramesAndTheVideosOwnFrames) {
  preview.frames = FilmThenTitles(0); // all black
  EXPECT_EQ(FindTitleStart(preview, 50000), 29900);
  EXPECT_EQ(*std::min_element(preview.shownFrames.begin(), preview.shownFrames.end()), 29900);
  preview.shownFrames.clear();
  EXPECT_EQ(FindTitleStart(preview, 3), 1);
  EXPECT_EQ(*std::min_element(preview.shownFrames.begin(), preview.shownFrames.end()), 1);
  EXPECT_EQ(*std::max_element(preview.shownFrames.begin(), preview.shownFrames.end()), 3);
  preview.shownFrames.clear();
  EXPECT_FALSE(FindTitleStart(preview, 0));
  EXPECT_TRUE(preview.shownFrames.isEmpty());
}

// ---------------------------------------------------------------------------
// A sample rip made by `reelwork-cli sample`: a film whose last fifth is
// black end titles with light lines of text.

// The preview over the real frame source: frame n shows source frame n - 1.
class SourcePreview : public FakePreview {
public:
  SourcePreview(SharedState &state, FrameSource &source) : FakePreview(state), state_(state), source_(source) {}
  void ShowFrame(int n) override {
    shownFrames.append(n);
    RgbImage image;
    ASSERT_TRUE(source_.GetFrame(n - 1, image));
    picture_ = image;
    state_.CurrentFrame = n;
  }
  int AverageBrightness() override {
    return reelwork::AverageBrightness(picture_, state_.VideoWidth, state_.VideoHeight, state_.Random);
  }

private:
  SharedState &state_;
  FrameSource &source_;
  RgbImage picture_;
};

TEST(TitleSearchOnSample, FindsTheEndTitlesOfTheSampleRip) {
  testing::TempFolder folder;
  testing::IsolatedIndexCache cache;
  const std::filesystem::path dir = folder.path() / "rip";
  const std::string command =
      "XDG_CACHE_HOME='" + cache.folder().string() + "' '" REELWORK_CLI "' sample '" + dir.string() + "' >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::ofstream(dir / "movie.avs") << "mpeg2source(\"VTS_01_1.d2v\")\r\n";

  SharedState state;
  FrameSource source;
  QString error;
  ASSERT_TRUE(source.OpenVideo(QString::fromStdString((dir / "movie.avs").string()), state, &error))
      << error.toStdString();
  ASSERT_EQ(state.FrameCount, 750);
  SourcePreview preview(state, source);

  // The sample's titles begin with its 601st picture (four fifths of 750):
  // small light text between black, dark enough on 100 random pixels for
  // every draw to find them. No draw may place the start in the film or
  // past the end.
  for (unsigned seed = 1; seed <= 8; ++seed) {
    state.Random.seed(seed);
    preview.shownFrames.clear();
    const auto start = FindTitleStart(preview, state.FrameCount);
    ASSERT_TRUE(start.has_value()) << "seed " << seed;
    EXPECT_GE(*start, 601) << "seed " << seed;
    EXPECT_LE(*start, 750) << "seed " << seed;
    EXPECT_EQ(state.CurrentFrame, preview.shownFrames.back());
    // The coarse steps went back to the film's last hundredth frame, 600.
    EXPECT_TRUE(preview.shownFrames.contains(600));
    EXPECT_FALSE(preview.shownFrames.contains(500));
  }
}

} // namespace
} // namespace reelwork
