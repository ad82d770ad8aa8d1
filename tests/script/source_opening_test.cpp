#include <gtest/gtest.h>

#include "common/text_file.h"
#include "script/source_opening.h"
#include "support/temp_dir.h"
#include "support/test_bench.h"

using namespace reelwork;

class SourceOpening : public reelwork::test::TempDirTest {
protected:
  void SetUp() override { t.state.Language = 0; }
  // A D2V naming one VOB whose bytes at 2084 are the given eight.
  void makeProject(const QString &d2v, const QByteArray &header, const QString &vobLine = "VTS_01_1.VOB") {
    QByteArray vob(2084, '\0');
    vob += header;
    vob += QByteArray(64, '\0');
    writeBytes("VTS_01_1.VOB", vob);
    writeBytes(d2v, ("DVD2AVIProjectFile\r\n1\r\n" + QString::number(vobLine.size()) + " " + vobLine + "\r\n").toLatin1());
  }
  SourceOpener opener() { return SourceOpener(t.state, t.script, t.editor, t.dialogs); }

  reelwork::test::TestBench t;
  const QByteArray pal169{"\x00\x00\x01\xB3\x2D\x02\x40\x33", 8};
};

TEST_F(SourceOpening, ParametersAndTheSourceLine) {
  int idct = -1, cpu = -1;
  bool ipp = false;
  EXPECT_FALSE(ParseMpeg2SourceParams("", idct, cpu, ipp));
  EXPECT_TRUE(ParseMpeg2SourceParams("idct=2,cpu=4,iPP=true", idct, cpu, ipp));
  EXPECT_EQ(idct, 2);
  EXPECT_EQ(cpu, 4);
  EXPECT_TRUE(ipp);
  EXPECT_TRUE(ParseMpeg2SourceParams("IPP=False", idct, cpu, ipp));
  EXPECT_FALSE(ipp);
  EXPECT_EQ(idct, 2); // absent keys keep their values

  QString setting;
  EXPECT_EQ(Mpeg2SourceLine("movie.d2v", setting), "mpeg2source(\"movie.d2v\")");
  setting = "idct=2,cpu=4,iPP=true";
  EXPECT_EQ(Mpeg2SourceLine("movie.d2v", setting), "mpeg2source(\"movie.d2v\",idct=2)");
  EXPECT_EQ(setting, "idct=2");
}

TEST_F(SourceOpening, D2VNameFromTheSourceLine) {
  EXPECT_EQ(D2VNameFromLines({"MPEG2Source(\"Movie.D2V\",idct=2)"}), QString("Movie.D2V"));
  EXPECT_EQ(D2VNameFromLines({"Crop(0,0,-0,-0)", "mpeg2source(\"sub/a.d2v\")"}), QString("sub/a.d2v"));
  EXPECT_FALSE(D2VNameFromLines({"mpeg2source( \"a.d2v\")"})); // blank before the quote
  EXPECT_FALSE(D2VNameFromLines({"mpeg2source(\"a.vob\")"}));
  EXPECT_FALSE(D2VNameFromLines({"mpeg2source(\"a.d2v"}));
  EXPECT_FALSE(D2VNameFromLines({"# mpeg2source(x)", "mpeg2source(\"a.d2v\")"})); // the first line decides
  EXPECT_FALSE(D2VNameFromLines({}));
}

TEST_F(SourceOpening, InfoFileGivesTheTvSystem) {
  writeBytes("VTS_01_0 - info.txt", "Title 1\r\nTV system: pal 720x576\r\n");
  writeBytes("notes.txt", "TV system: NTSC\r\n");
  QString mask;
  const QString folder = WithTrailingSlash(dir.path());
  EXPECT_EQ(FindInfoFile(folder, "TXT", mask), "VTS_01_0 - INFO.TXT");
  EXPECT_EQ(mask, folder + "*.TXT");
  QString tv;
  ReadInfoFile(path("VTS_01_0 - info.txt"), tv);
  EXPECT_EQ(tv, "PAL"); // the line is read in upper case
  writeBytes("b.txt", "Video - MPEG-2 NTSC 720x480\r\n");
  ReadInfoFile(path("b.txt"), tv);
  EXPECT_EQ(tv, "NTSC");
  writeBytes("c.txt", "nothing here\r\n");
  ReadInfoFile(path("c.txt"), tv);
  EXPECT_EQ(tv, "NTSC"); // kept
  EXPECT_EQ(FindLineInFile("system", path("notes.txt")), "TV system: NTSC");
  EXPECT_EQ(FindLineInFile("SYSTEM", path("notes.txt")), "");
}

TEST_F(SourceOpening, OpeningAD2VWritesItsScriptOnceAndReadsTheVob) {
  makeProject("Movie.part.d2v", pal169);
  writeBytes("VTS_01_0_INFO.txt", "TV system: NTSC\r\n");
  t.state.settings[Setting::Mpeg2Source] = "idct=2,cpu=4,iPP=true";
  t.state.CurrentFrame = 1;
  opener().OpenD2VPath(path("Movie.part.d2v"));
  EXPECT_EQ(t.state.ScriptName, "Movie.avs");
  EXPECT_EQ(readBytes("Movie.avs"), "mpeg2source(\"Movie.part.d2v\",idct=2)\r\n");
  EXPECT_EQ(t.state.settings[Setting::Mpeg2Source], "idct=2");
  EXPECT_EQ(t.view.opened, QStringList{path("Movie.avs")});
  EXPECT_EQ(t.view.shownFrames, QList<int>{1});
  EXPECT_EQ(t.state.TvSystem, "NTSC"); // the info file wins over the VOB's 576 lines
  EXPECT_EQ(t.state.SourceWidth, 720);
  EXPECT_EQ(t.state.SourceHeight, 576);
  EXPECT_EQ(t.state.AspectCode, 3);

  // Again: the script of the same base name is used as it stands.
  writeBytes("MOVIE.AVS", "mpeg2source(\"Movie.part.d2v\")\r\nCrop(8,8,-8,-8)\r\n");
  QFile::remove(path("Movie.avs"));
  opener().OpenD2VPath(path("Movie.part.d2v"));
  EXPECT_EQ(t.state.ScriptName, "MOVIE.AVS");
  EXPECT_EQ(t.editor.lineCount(), 2);
}

TEST_F(SourceOpening, VobScanSetsTheSystemOnlyWhenUnknown) {
  makeProject("a.d2v", pal169, "D:\\RIP\\VIDEO_TS\\vts_01_1.vob");
  t.state.ProjectName = "a.d2v";
  t.state.WorkDir = WithTrailingSlash(dir.path());
  opener().ScanVobHeader();
  EXPECT_EQ(t.state.TvSystem, "PAL");
  EXPECT_TRUE(t.dialogs.messages.isEmpty());

  // No sequence header at its place: the values stay 0, silently.
  makeProject("a.d2v", QByteArray(8, '\x07'));
  opener().ScanVobHeader();
  EXPECT_EQ(t.state.SourceWidth, 0);
  EXPECT_EQ(t.state.AspectCode, 0);
  EXPECT_TRUE(t.dialogs.messages.isEmpty());

  // A VOB that cannot be found is reported.
  writeBytes("a.d2v", "DVD2AVIProjectFile\r\n1\r\n11 missing.VOB\r\n");
  opener().ScanVobHeader();
  ASSERT_EQ(t.dialogs.messages.size(), 1);
  EXPECT_TRUE(t.dialogs.messages[0].contains("missing.VOB"));

  // A third line that names no VOB is not read at all.
  writeBytes("a.d2v", "DVD2AVIProjectFile\r\n1\r\n5 x.m2v\r\n");
  opener().ScanVobHeader();
  EXPECT_EQ(t.dialogs.messages.size(), 1);
}

TEST_F(SourceOpening, OpeningAnAvsNeedsItsD2V) {
  makeProject("film.d2v", pal169);
  writeBytes("edit.avs", "MPEG2SOURCE(\"FILM.D2V\")\r\nSharpen(0.25)\r\n");
  t.state.settings[Setting::VobScan] = "0";
  opener().OpenAvsPath(path("edit.avs"));
  EXPECT_EQ(t.state.ProjectName, "FILM.D2V");
  EXPECT_EQ(t.view.opened, QStringList{path("edit.avs")});
  EXPECT_EQ(t.state.SourceWidth, 0); // no VOB scan with _VOBSCAN other than "1"

  writeBytes("bad.avs", "mpeg2source( \"film.d2v\")\r\n");
  opener().OpenAvsPath(path("bad.avs"));
  EXPECT_EQ(t.dialogs.messages,
            QStringList{"Cannot find \"mpeg2source\" command or D2V file name in AVS file bad.avs"});
  EXPECT_EQ(t.editor.lines(), QStringList{"mpeg2source( \"film.d2v\")"}); // shown, not opened
  EXPECT_EQ(t.view.opened.size(), 1);

  writeBytes("gone.avs", "mpeg2source(\"gone.d2v\")\r\n");
  opener().OpenAvsPath(path("gone.avs"));
  EXPECT_EQ(t.dialogs.messages.size(), 2);
}

TEST_F(SourceOpening, ChooseFileAsksOnlyAmongSeveral) {
  const QString folder = WithTrailingSlash(dir.path());
  EXPECT_EQ(opener().ChooseFile(folder, "AC3"), "");
  writeBytes("A.ac3", "");
  EXPECT_EQ(opener().ChooseFile(folder, "AC3"), "A.ac3");
  EXPECT_EQ(t.dialogs.chooserRuns, 0);
  writeBytes("B.AC3", "");
  t.dialogs.chooserClicks = {1};
  EXPECT_EQ(opener().ChooseFile(folder, "AC3"), "B.AC3");
  EXPECT_EQ(t.state.ChosenIndex, 1);
  // Closed without a click: the remembered row, while it exists.
  t.dialogs.chooserClicks = {std::nullopt};
  EXPECT_EQ(opener().ChooseFile(folder, "AC3"), "B.AC3");
  t.state.ChosenIndex = 5;
  t.dialogs.chooserClicks = {std::nullopt};
  EXPECT_EQ(opener().ChooseFile(folder, "AC3"), "");
}
