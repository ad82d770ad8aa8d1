#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

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

TEST_F(SourceOpening, ANameAScriptCannotHoldIsRefusedNamingTheLetter) {
  makeProject(QString::fromUtf8("Amélie.d2v"), pal169);
  opener().OpenD2VPath(path(QString::fromUtf8("Amélie.d2v")));
  ASSERT_EQ(t.dialogs.messages.size(), 1);
  EXPECT_TRUE(t.dialogs.messages[0].contains(QString::fromUtf8("\"é\""))) << t.dialogs.messages[0].toStdString();
  EXPECT_TRUE(t.view.opened.isEmpty());
  EXPECT_TRUE(QDir(dir.path()).entryList({"*.avs"}).isEmpty()); // no script that could not be read back

  // A quote or a line break in the name: likewise, in the user's language.
  t.state.Language = 1;
  makeProject("say \"hi\".d2v", pal169);
  opener().OpenD2VPath(path("say \"hi\".d2v"));
  ASSERT_EQ(t.dialogs.messages.size(), 2);
  EXPECT_TRUE(t.dialogs.messages[1].contains(QString::fromUtf8("кавычку"))) << t.dialogs.messages[1].toStdString();
  EXPECT_FALSE(UnwritableInScript("two\nlines.d2v", 0).isEmpty());
  EXPECT_TRUE(QDir(dir.path()).entryList({"*.avs"}).isEmpty());

  // Russian names are what the code page is for: the script is written in it.
  t.state.Language = 0;
  makeProject(QString::fromUtf8("Фильм.d2v"), pal169);
  opener().OpenD2VPath(path(QString::fromUtf8("Фильм.d2v")));
  EXPECT_EQ(t.dialogs.messages.size(), 2);
  EXPECT_EQ(t.state.ScriptName, QString::fromUtf8("Фильм.avs"));
  EXPECT_EQ(readBytes(QString::fromUtf8("Фильм.avs")), "mpeg2source(\"\xD4\xE8\xEB\xFC\xEC.d2v\")\r\n");
}

TEST_F(SourceOpening, VobScanFindsTheHeaderWhereTheMuxerPutIt) {
  t.state.ProjectName = "a.d2v";
  t.state.WorkDir = WithTrailingSlash(dir.path());
  // One byte further on, as FFmpeg and dvdauthor write it.
  makeProject("a.d2v", QByteArray(1, '\0') + pal169);
  opener().ScanVobHeader();
  EXPECT_EQ(t.state.SourceWidth, 720);
  EXPECT_EQ(t.state.AspectCode, 3);

  // A VOB named by a Windows path into VIDEO_TS below the project's folder,
  // the project in UTF-8 with a byte-order mark.
  QDir(dir.path()).mkpath("sub/VIDEO_TS");
  QFile::rename(path("VTS_01_1.VOB"), path("sub/VIDEO_TS/vts_01_1.vob"));
  writeBytes("sub/b.d2v", "\xEF\xBB\xBF" "DVD2AVIProjectFile\r\n1\r\n32 D:\\MOVIE\\VIDEO_TS\\VTS_01_1.VOB\r\n");
  t.state.ProjectName = "b.d2v";
  t.state.WorkDir = WithTrailingSlash(path("sub"));
  t.state.SourceWidth = 0;
  opener().ScanVobHeader();
  EXPECT_EQ(t.state.SourceWidth, 720);
  EXPECT_TRUE(t.dialogs.messages.isEmpty());
}

TEST_F(SourceOpening, VobScanReadsARealMuxersSixteenByNineVob) {
  if (std::system("ffmpeg -version > /dev/null 2>&1") != 0)
    GTEST_SKIP() << "no ffmpeg";
  const QString vob = path("VTS_01_1.VOB");
  const QString command = "ffmpeg -v error -f lavfi -i testsrc=size=720x576:rate=25 -t 0.4 -target pal-dvd "
                          "-aspect 16:9 -an -y '" + vob + "'";
  ASSERT_EQ(std::system(command.toLocal8Bit().constData()), 0);
  writeBytes("m.d2v", "DVD2AVIProjectFile\r\n1\r\n12 VTS_01_1.VOB\r\n");
  t.state.ProjectName = "m.d2v";
  t.state.WorkDir = WithTrailingSlash(dir.path());
  opener().ScanVobHeader();
  EXPECT_EQ(t.state.SourceWidth, 720);
  EXPECT_EQ(t.state.SourceHeight, 576);
  EXPECT_EQ(t.state.AspectCode, 3);
}

TEST_F(SourceOpening, VobScanNeverWaitsOnAPipe) {
  ASSERT_EQ(mkfifo(path("VTS_01_1.VOB").toLocal8Bit().constData(), 0600), 0);
  writeBytes("p.d2v", "DVD2AVIProjectFile\r\n1\r\n12 VTS_01_1.VOB\r\n");
  t.state.ProjectName = "p.d2v";
  t.state.WorkDir = WithTrailingSlash(dir.path());
  opener().ScanVobHeader(); // would block for ever if the pipe were opened
  ASSERT_EQ(t.dialogs.messages.size(), 1);
  EXPECT_TRUE(t.dialogs.messages[0].contains("not a regular file"));
  EXPECT_EQ(t.state.SourceWidth, 0);
}

TEST_F(SourceOpening, AnAvsNamingItsD2VByAWindowsPathOpens) {
  makeProject(QString::fromUtf8("фильм.d2v"), pal169);
  // "D:\MOVIE\ФИЛЬМ.D2V" in Windows-1251.
  writeBytes("edit.avs", "mpeg2source(\"D:\\MOVIE\\\xD4\xC8\xCB\xDC\xCC.D2V\")\r\n");
  t.state.settings[Setting::VobScan] = "1";
  opener().OpenAvsPath(path("edit.avs"));
  EXPECT_TRUE(t.dialogs.messages.isEmpty()) << t.dialogs.messages.join("\n").toStdString();
  EXPECT_EQ(t.state.ProjectName, QString::fromUtf8("D:\\MOVIE\\ФИЛЬМ.D2V"));
  EXPECT_EQ(t.view.opened, QStringList{path("edit.avs")});
  EXPECT_EQ(t.state.SourceWidth, 720);
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
