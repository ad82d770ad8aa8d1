// The report the calculator writes beside the script.

#include <gtest/gtest.h>

#include "calculator/calculator_report.h"
#include "support/temp_dir.h"

namespace reelwork {
namespace {

CalculatorReport TwoCdReport() {
  CalculatorReport r;
  r.xSize = "640";
  r.ySize = "480";
  r.frames = "150000";
  r.fps = "25.000";
  r.minutes = "100";
  r.seconds = "0";
  r.titleFrames = "7500";
  r.titleMinutes = "5";
  r.titleSeconds = "0";
  r.titleBitrate = "500 kbps";
  r.audio[0] = QString("448 Kbps");
  r.size = "1400";
  r.format = "2.00 CD";
  r.bitrate = "1495";
  r.quality = "0,19";
  return r;
}

const QDateTime kNow(QDate(2026, 12, 8), QTime(14, 5, 9));

TEST(ReportLines, TimeAndDateInTheLocalesFormatsWithoutAZone) {
  EXPECT_EQ(ReportLines(TwoCdReport(), kNow, QLocale(QLocale::English, QLocale::UnitedKingdom))[0],
            "Reelwork Calculator: 14:05:09 08/12/2026");
  const QString us = ReportLines(TwoCdReport(), kNow, QLocale(QLocale::English, QLocale::UnitedStates))[0];
  EXPECT_TRUE(us.startsWith("Reelwork Calculator: 2:05:09")) << us.toStdString();
  EXPECT_FALSE(us.contains("UTC")) << us.toStdString();
}

TEST(ReportLines, EndTitlesAndOnlyTheStreamsThatAreSet) {
  CalculatorReport r = TwoCdReport();
  r.useTitles = true;
  r.audio[0].reset();
  r.audio[1] = QString("384 Kbps");
  r.audio[2] = QString("128 Kbps");
  r.bitrate.clear(); // not computed: the fields are empty
  r.quality.clear();
  const QStringList lines = ReportLines(r, kNow);
  ASSERT_EQ(lines.size(), 18);
  EXPECT_EQ(lines.mid(5, 13),
            (QStringList{"Full Video Time: 100 min 0 sec", "", "End Title Video Frames: 7500",
                         "End Title Video Time: 5min 0sec", "End Title Video Bitrate: 500 kbps", "",
                         "Audio Stream 2: 384 Kbps", "Audio Stream 3: 128 Kbps", "",
                         "Destination Size: 1400 Mb (2.00 CD)", "", "Calculated Bitrate:  kbps", "Video Quality: "}));
}

class ReportFile : public test::TempDirTest {};

TEST_F(ReportFile, Windows1251WithCrLfReplacingTheOldOneWhole) {
  writeBytes("ReelworkInfo.doc", QByteArray(5000, '#'));
  CalculatorReport r = TwoCdReport();
  r.format = QString::fromUtf8("2 диска");
  QString error;
  ASSERT_TRUE(WriteReport(dir.path() + "/", ReportLines(r, kNow), &error)) << error.toStdString();
  const QByteArray bytes = readBytes("ReelworkInfo.doc");
  EXPECT_FALSE(bytes.contains('#'));
  EXPECT_TRUE(bytes.contains("\r\n\r\nMain Video Size: 640 x 480\r\n"));
  EXPECT_TRUE(bytes.contains("Destination Size: 1400 Mb (2 \xE4\xE8\xF1\xEA\xE0)\r\n"));
  EXPECT_TRUE(bytes.endsWith("Video Quality: 0,19\r\n"));
  EXPECT_EQ(bytes.count('\n'), 15);
  EXPECT_EQ(bytes.count("\r\n"), 15);
}

} // namespace
} // namespace reelwork
