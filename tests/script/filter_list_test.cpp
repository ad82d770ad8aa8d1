#include <gtest/gtest.h>

#include "common/text_file.h"
#include "script/filter_list.h"
#include "support/temp_dir.h"
#include "support/test_bench.h"

using namespace reelwork;

class FilterChecklist : public reelwork::test::TempDirTest {
protected:
  void SetUp() override {
    t.openVideo(1000, 720, 576);
    t.state.WorkDir = WithTrailingSlash(dir.path());
    t.state.ScriptName = "movie.avs";
    t.state.ProjectName = "movie.d2v";
    t.editor.setLines({"mpeg2source(\"movie.d2v\")"});
  }
  bool toggle(const QString &item, bool checked, QChar order = '1') {
    return t.filters.ClickCheck(item, checked, order);
  }
  QStringList onDisk() { return ReadTextLines(t.state.ScriptPath()).value_or(QStringList{"<none>"}); }

  reelwork::test::TestBench t;
};

TEST(FilterItems, SplitAndCheckedFromTheScript) {
  EXPECT_EQ(SplitFilterList("Crop();Sharpen();"), (QStringList{"Crop()", "Sharpen()"}));
  EXPECT_EQ(SplitFilterList("Crop();;Sharpen()"), (QStringList{"Crop()", "", "Sharpen()"}));
  EXPECT_EQ(SplitFilterList(""), QStringList{});
  const QStringList items{"Crop()", "Sharpen()", "MyFilter", "TomsMoComp()"};
  EXPECT_EQ(FilterChecks(items, {"# crop(0,0,-0,-0)", "MyFilter()"}), (QVector<bool>{true, false, false, false}));
  int k = 0;
  EXPECT_TRUE(ReadFirstNumber("Decimate(5)", k));
  EXPECT_EQ(k, 5);
  EXPECT_TRUE(ReadFirstNumber("Decimate( 6 , mode=0)", k));
  EXPECT_EQ(k, 6);
  EXPECT_FALSE(ReadFirstNumber("Decimate", k));
}

TEST_F(FilterChecklist, DefaultLinesGoToTheirPlaceInTheChain) {
  t.state.AspectCode = 2;
  for (const char *item : {"Telecide()", "TomsMoComp()", "Crop()", "BicubicResize()", "Sharpen()"})
    EXPECT_TRUE(toggle(item, true)) << item;
  const QStringList expected{"mpeg2source(\"movie.d2v\")", "Telecide(order=1,post=0)", "TomsMoComp(1,5,1)",
                             "Crop(0,0,-0,-0)", "BicubicResize(576,432)", "Sharpen(0.25)"};
  EXPECT_EQ(t.editor.lines(), expected);
  EXPECT_EQ(onDisk(), expected); // every change is saved and reloaded
  EXPECT_EQ(t.view.opened.size(), 5);

  // Checking a filter whose line exists only selects it.
  EXPECT_TRUE(toggle("crop()", true));
  EXPECT_EQ(t.editor.selectedLine, 3);
  EXPECT_EQ(t.editor.lineCount(), 6);

  // Unchecking removes the line; a filter that is not there changes nothing.
  EXPECT_FALSE(toggle("TomsMoComp()", false));
  EXPECT_EQ(t.editor.line(2), "Crop(0,0,-0,-0)");
  const int reloads = static_cast<int>(t.view.opened.size());
  EXPECT_FALSE(toggle("Bob()", false));
  EXPECT_EQ(t.view.opened.size(), reloads);
}

TEST_F(FilterChecklist, WideScreenAndOtherPlacements) {
  t.state.AspectCode = 3;
  t.state.settings[Setting::Sharpen] = "";
  toggle("BicubicResize()", true);
  toggle("Sharpen()", true);
  toggle("Bob()", true);
  toggle("Repal()", true);
  toggle("MipSmooth()", true);
  toggle("Tweak()", true);
  toggle("MyFilter(3)", true);
  EXPECT_EQ(t.editor.lines(), (QStringList{"mpeg2source(\"movie.d2v\")", "Bob()", "Repal()", "BicubicResize(640,352)",
                                           "Sharpen(0.25)", "MipSmooth(preset = \"movieHQ\")", "Tweak(0,1.0,0,1.0)",
                                           "MyFilter(3)"}));
  toggle("MyFilter(3)", false);
  EXPECT_EQ(t.editor.lineCount(), 7);
}

TEST_F(FilterChecklist, DecimateKeepsThePictureAcrossTheFrameChange) {
  EXPECT_FALSE(toggle("Decimate()", true)); // no Telecide: refused, nothing inserted
  EXPECT_EQ(t.editor.lineCount(), 1);
  toggle("Telecide()", true, '0');
  t.state.CurrentFrame = 100;
  EXPECT_TRUE(toggle("Decimate()", true));
  EXPECT_EQ(t.editor.line(2), "Decimate(5)");
  EXPECT_EQ(t.view.shownFrames.last(), 80);
  EXPECT_FALSE(toggle("Decimate()", false));
  EXPECT_EQ(t.view.shownFrames.last(), 100); // 80 * 5 / 4
  EXPECT_EQ(t.editor.line(1), "Telecide(order=0,post=0)");
}

TEST_F(FilterChecklist, ConversionsComeAndGoWithTheirFilter) {
  toggle("_2dcleanYUY2()", true);
  EXPECT_EQ(t.editor.lines(), (QStringList{"mpeg2source(\"movie.d2v\")", "ConvertToYUY2()", "_2dcleanYUY2(0,15,3,3)"}));
  toggle("_2dcleanYUY2()", false);
  EXPECT_EQ(t.editor.lineCount(), 1);

  toggle("RGBAdjust()", true);
  EXPECT_EQ(t.editor.lines(),
            (QStringList{"mpeg2source(\"movie.d2v\")", "ConvertToRGB()", "RGBAdjust(1.0,1.0,1.0,0)"}));
  t.editor.insertLine(2, "Sharpen(0.25)"); // the conversion no longer stands right above
  toggle("RGBAdjust()", false);
  EXPECT_EQ(t.editor.lines(), (QStringList{"mpeg2source(\"movie.d2v\")", "ConvertToRGB()", "Sharpen(0.25)"}));
}

TEST_F(FilterChecklist, ConversionGoesAboveTheCaretLine) {
  t.editor.setLines({"mpeg2source(\"movie.d2v\")", "Crop(0,0,-0,-0)", "Sharpen(0.25)", "Tweak(0,1.0,0,1.0)"});
  t.editor.setCaretLine(2);
  toggle("ConvertToYUY2()", true);
  EXPECT_EQ(t.editor.line(2), "ConvertToYUY2()");
  t.editor.setCaretLine(1);
  toggle("ConvertToRGB()", true);
  EXPECT_EQ(t.editor.lines().last(), "ConvertToRGB()");
}

TEST_F(FilterChecklist, CommentedCropCountsAsACropLine) {
  t.editor.setLines({"mpeg2source(\"movie.d2v\")", "#crop(2,2,-2,-2)"});
  t.filters.InsertCropLine("Crop(0,0,-0,-0)");
  EXPECT_EQ(t.editor.lineCount(), 2);
  t.editor.setLines({"mpeg2source(\"movie.d2v\")", "Telecide(order=1,post=0)", "Decimate(5)", "Sharpen(0.25)"});
  t.filters.InsertCropLine("Crop(8,0,-8,-0)");
  EXPECT_EQ(t.editor.line(3), "Crop(8,0,-8,-0)");
  t.filters.InsertResizeLine("BicubicResize(640,352)");
  EXPECT_EQ(t.editor.line(4), "BicubicResize(640,352)");
  t.editor.setLines({"Sharpen(0.25)"});
  t.filters.InsertResizeLine("BicubicResize(640,352)");
  EXPECT_EQ(t.editor.line(0), "BicubicResize(640,352)");
}

TEST_F(FilterChecklist, NothingHappensWithoutAnOpenScript) {
  t.state.VideoOpen = false;
  EXPECT_FALSE(toggle("Crop()", true));
  EXPECT_EQ(t.dialogs.messages, QStringList{"You must open AVS-script before do it!"});
  EXPECT_EQ(t.editor.lineCount(), 1);
  // An empty item names no command and never touches the script.
  t.state.VideoOpen = true;
  EXPECT_FALSE(toggle("", true));
  EXPECT_FALSE(toggle("", false));
  EXPECT_EQ(t.editor.lineCount(), 1);
}
