// reelwork-cli resize: the three modes, the values that do not convert, usage.

#include <gtest/gtest.h>

#include "cli/resize_command.h"

using namespace reelwork;

namespace {

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome RunCli(const std::vector<std::string> &args) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int status = RunResizeCommand(args);
  Outcome o{status, testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
  return o;
}

} // namespace

TEST(ResizeCommand, AutoMode) {
  Outcome o = RunCli({"auto", "--source", "pal", "--aspect", "1.77", "--crop", "8,72,8,72", "--width", "640"});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out.substr(0, 47), "width=640 height=272 ratio=2.35294127464294 err");
  EXPECT_NE(o.out.find("error=1.9288864"), std::string::npos) << o.out;

  o = RunCli({"auto", "--source", "pal", "--aspect", "1.33", "--frames", "150000", "--rate", "25"});
  // The ideal 432.00003 is off by a hair: the error is shown in exponent form.
  EXPECT_EQ(o.out, "width=576 height=432 ratio=1.33333337306976 error=7.06425453245174E-6\n");

  // The user aspect defaults to 1.85, the same as the 1.85 item.
  const Outcome user = RunCli({"auto", "--source", "ntsc", "--aspect", "user", "--width", "640"});
  const Outcome film = RunCli({"auto", "--source", "ntsc", "--aspect", "1.85", "--width", "640"});
  EXPECT_EQ(user.out, film.out);
  EXPECT_EQ(user.out.substr(0, 20), "width=640 height=352");

  // Settings texts that do not fit are ignored, as in the dialog.
  o = RunCli({"auto", "--source", "pal", "--aspect", "1.33", "--frames", "100000", "--rate", "25",
           "--resize-width", "650", "--good-quality", "0.4"});
  EXPECT_EQ(o.out.substr(0, 20), "width=640 height=480");

  // A user aspect of 0 leaves the height undefined: a dash, no crash.
  o = RunCli({"auto", "--source", "pal", "--aspect", "user", "--user-aspect", "0.0", "--width", "640"});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, "width=640 height=480 ratio=1.33333337306976 error=-\n");
}

TEST(ResizeCommand, ExactAndManualModes) {
  Outcome o = RunCli({"exact", "--proportion", "720:576", "--width", "640"});
  EXPECT_EQ(o.out, "width=640 height=512 ratio=1.25 error=0\n");
  o = RunCli({"exact", "--proportion", "720:576", "--frames", "150000", "--rate", "25"});
  EXPECT_EQ(o.out.substr(0, 20), "width=576 height=464");
  o = RunCli({"exact", "--proportion", "720:0", "--width", "640"});
  EXPECT_EQ(o.out, "width=640 height=192 ratio=3.33333325386047 error=-\n");

  o = RunCli({"manual", "--tv", "PAL", "--aspect-code", "2", "--frames", "150000", "--rate", "25"});
  EXPECT_EQ(o.out, "width=576 height=432 ratio=1.33333337306976\n");
  o = RunCli({"manual", "--source-height", "576", "--frames", "100000", "--rate", "25"});
  EXPECT_EQ(o.out, "width=640 height=352 ratio=1.81818187236786\n");
}

TEST(ResizeCommand, RefusalsAndUsage) {
  Outcome o = RunCli({"auto", "--source", "pal", "--aspect", "user", "--user-aspect", "1.", "--width", "640"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, "'1.' is not a valid floating point value\n");
  EXPECT_TRUE(o.out.empty());
  o = RunCli({"exact", "--proportion", "720:576", "--width", "6 40"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, "'6 40' is not a valid integer value\n");
  o = RunCli({"exact", "--proportion", "7,2:576", "--width", "640"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, "'7,2' is not a valid floating point value\n");

  EXPECT_EQ(RunCli({}).status, 2);
  EXPECT_EQ(RunCli({"square"}).status, 2);
  EXPECT_EQ(RunCli({"auto", "--source", "secam", "--aspect", "1.33", "--width", "640"}).status, 2);
  EXPECT_EQ(RunCli({"auto", "--source", "pal", "--aspect", "1.33"}).status, 2); // neither width nor frames
  EXPECT_EQ(RunCli({"manual", "--tv", "PAL"}).status, 2);
  EXPECT_EQ(RunCli({"exact", "--proportion", "720:576", "--frames", "100"}).status, 2);
  EXPECT_EQ(RunCli({"auto", "--source", "pal", "--aspect", "1.33", "--crop", "1,2,3", "--width", "640"}).status, 2);
}
