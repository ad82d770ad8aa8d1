// Long searches tell how far they are and stop when the user asks.

#include <gtest/gtest.h>

#include <algorithm>

#include "calculator/calculator_searches.h"
#include "support/test_bench.h"
#include "tools/frame_searches.h"

namespace reelwork {
namespace {

using test::TestBench;

// A preview whose user presses Cancel at the given report (never when 0).
class StoppablePreview : public test::FakePreview {
public:
  using FakePreview::FakePreview;
  bool ReportProgress(WindowText work, double fraction) override {
    works.append(work);
    fractions.push_back(fraction);
    return stopAt == 0 || static_cast<int>(fractions.size()) < stopAt;
  }
  int stopAt = 0;
  QList<WindowText> works;
  std::vector<double> fractions;
};

RgbImage Flat(int value) {
  RgbImage image;
  image.resize(16, 12);
  std::fill(image.pixels.begin(), image.pixels.end(), static_cast<std::uint8_t>(value));
  return image;
}

TEST(SearchProgress, InterlaceSearchReportsEveryFrameAndStopsOnCancel) {
  TestBench t;
  t.openVideo(1000, 16, 12);
  t.state.settings[Setting::InterlaceSens] = "5"; // 75 frames a pass
  StoppablePreview preview(t.state);
  preview.frames = [](int) { return Flat(60); };
  preview.ShowFrame(321);

  // Flat frames never reach the threshold: three whole passes.
  SearchResult result = RunInterlaceSearch(t.state, preview, t.dialogs);
  EXPECT_EQ(result.outcome, SearchOutcome::NotFound);
  ASSERT_EQ(preview.fractions.size(), 225u);
  EXPECT_TRUE(std::is_sorted(preview.fractions.begin(), preview.fractions.end()));
  EXPECT_EQ(preview.fractions.front(), 0.0);
  EXPECT_LT(preview.fractions.back(), 1.0);
  EXPECT_EQ(preview.works.count(WindowText::InterlaceSearch), 225);

  // Cancel in the second pass: the frame shown before the search comes back
  // and nothing is said.
  t.dialogs.messages.clear();
  preview.ShowFrame(321);
  preview.fractions.clear();
  preview.shownFrames.clear();
  preview.stopAt = 100;
  result = RunInterlaceSearch(t.state, preview, t.dialogs);
  EXPECT_EQ(result.outcome, SearchOutcome::Cancelled);
  EXPECT_EQ(preview.shownFrames.size(), 100u); // 99 samples, then the old frame
  EXPECT_EQ(preview.shownFrames.back(), 321);
  EXPECT_EQ(t.state.CurrentFrame, 321);
  EXPECT_TRUE(t.dialogs.messages.isEmpty());
  // The wait cursor was released.
  ASSERT_FALSE(preview.busyChanges.isEmpty());
  EXPECT_FALSE(preview.busyChanges.last());
}

TEST(SearchProgress, TitleSearchStopsOnCancelWithoutAnAnswer) {
  SharedState state;
  StoppablePreview preview(state);
  preview.frames = [](int n) { return Flat(n < 2437 ? 120 : 5); };
  bool cancelled = true;
  EXPECT_EQ(FindTitleStart(preview, 3000, &cancelled), 2437);
  EXPECT_FALSE(cancelled);
  EXPECT_EQ(preview.fractions.size(), preview.shownFrames.size());
  EXPECT_LT(*std::max_element(preview.fractions.begin(), preview.fractions.end()), 1.0);
  EXPECT_EQ(preview.works.count(WindowText::TitleSearch), preview.works.size());

  // Stopped during the backward steps: no title start, and it says so.
  preview.stopAt = 9;
  preview.fractions.clear();
  preview.shownFrames.clear();
  EXPECT_FALSE(FindTitleStart(preview, 3000, &cancelled));
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(preview.shownFrames.size(), 8u);
}

} // namespace
} // namespace reelwork
