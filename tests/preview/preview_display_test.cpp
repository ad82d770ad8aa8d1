#include <gtest/gtest.h>

#include "preview/preview_display.h"
#include "support/qt_print.h"

using namespace reelwork;

TEST(Counters, FrameAndTimeLines) {
  EXPECT_EQ(FrameCounterLine(1234), "F = 001 234");
  EXPECT_EQ(TimeCounterLine(1234, 25.0f), "T = 000 m 49 s");
  EXPECT_EQ(FrameCounterLine(1), "F = 000 001");
  EXPECT_EQ(TimeCounterLine(1, 25.0f), "T = 000 m 00 s");
  EXPECT_EQ(FrameCounterLine(1234567), "F = 234 567"); // the six lowest digits
  // 59.5 s or more rounds up to 60 within the same minute.
  EXPECT_EQ(TimeCounterLine(1488, 25.0f), "T = 000 m 60 s"); // 59.52 s
  EXPECT_EQ(TimeCounterLine(90000, 25.0f), "T = 060 m 00 s");
  EXPECT_EQ(TimeCounterLine(1000000, 25.0f), "T = 666 m 40 s");
  EXPECT_EQ(PadNumber(7, 3, '0'), "007");
  EXPECT_EQ(PadNumber(12345, 3, '0'), "12345");
}

TEST(Brightness, MeanOfSampledChannels) {
  RgbImage picture;
  picture.resize(8, 4);
  std::mt19937 random(1);
  EXPECT_EQ(AverageBrightness(picture, 8, 4, random), 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) {
      std::uint8_t *p = picture.at(x, y);
      p[0] = 30;
      p[1] = 60;
      p[2] = 90;
    }
  EXPECT_EQ(AverageBrightness(picture, 8, 4, random), 60);
  // A size larger than the picture never reads past it.
  EXPECT_EQ(AverageBrightness(picture, 1000, 1000, random), 60);
  EXPECT_EQ(AverageBrightness(RgbImage{}, 720, 576, random), 0);
}

TEST(NotesLine, NamesWhatThePreviewLeavesOutInBothLanguages) {
  engine::PreviewNotes notes;
  EXPECT_EQ(PreviewNotesLine(notes, 0), "");
  notes.notPreviewed = {"MipSmooth", "Blurr"};
  EXPECT_EQ(PreviewNotesLine(notes, 0), "Not previewed: MipSmooth, Blurr");
  EXPECT_EQ(PreviewNotesLine(notes, 1), QString::fromUtf8("Не показано: MipSmooth, Blurr"));
  notes.approximated = {"TDeint"};
  notes.missingImports = {"plugins.avsi"};
  // Damaged ranges come from the engine counted from 0; the window counts from 1.
  notes.damaged = {{100, 119}, {499, 499}};
  EXPECT_EQ(PreviewNotesLine(notes, 0), "Not previewed: MipSmooth, Blurr;   Approximated: TDeint;   "
                                        "Missing imports: plugins.avsi;   Damaged frames: 101-120, 500");
  notes.notPreviewed.clear();
  EXPECT_TRUE(PreviewNotesLine(notes, 1).startsWith(QString::fromUtf8("Показано приблизительно: TDeint")));
}

TEST(FailurePicture, SaysWhichLineOfWhichScriptFailed) {
  EXPECT_EQ(FailureLines("movie.avs", "line 12: Sharpen: argument 'amount' is missing", 0),
            QStringList({"AVS-file could not be read!", "movie.avs, line 12", "Sharpen: argument 'amount' is missing"}));
  EXPECT_EQ(FailureLines("movie.avs", "line 2: syntax error", 1).value(1), QString::fromUtf8("movie.avs, строка 2"));
  // Reasons that name no line (a missing project) are shown as they are.
  EXPECT_EQ(FailureLines("movie.avs", "mpeg2source: cannot open x.d2v", 0),
            QStringList({"AVS-file could not be read!", "movie.avs", "mpeg2source: cannot open x.d2v"}));
}
