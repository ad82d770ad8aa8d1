#include <gtest/gtest.h>

#include "common/text_file.h"
#include "support/temp_dir.h"

using namespace reelwork;

class TextFile : public reelwork::test::TempDirTest {};

TEST_F(TextFile, ReadsCrLfAndLfLinesInWindows1251) {
  // "Кроп" in Windows-1251, a CR LF line, an LF line, an empty line, no final break.
  writeBytes("a.avs", QByteArray("\xCA\xF0\xEE\xEF\r\nCrop(8,16,-8,-16)\nx\r\n\r\nlast"));
  const auto lines = ReadTextLines(path("a.avs"));
  ASSERT_TRUE(lines);
  EXPECT_EQ(*lines, (QStringList{QString::fromUtf8("Кроп"), "Crop(8,16,-8,-16)", "x", "", "last"}));

  writeBytes("b.avs", "one\r\ntwo\r\n");
  EXPECT_EQ(*ReadTextLines(path("b.avs")), (QStringList{"one", "two"}));
  writeBytes("c.avs", "");
  EXPECT_TRUE(ReadTextLines(path("c.avs"))->isEmpty());
  EXPECT_FALSE(ReadTextLines(path("missing.avs")));
}

TEST_F(TextFile, WritesCrLfInWindows1251) {
  ASSERT_TRUE(WriteTextLines(path("out.ini"), {QString::fromUtf8("_X=Опции"), "", "end"}));
  EXPECT_EQ(readBytes("out.ini"), QByteArray("_X=\xCE\xEF\xF6\xE8\xE8\r\n\r\nend\r\n"));
  QString error;
  EXPECT_FALSE(WriteTextLines(path("no/such/folder/x.avs"), {"a"}, &error));
  EXPECT_FALSE(error.isEmpty());
}

TEST(Folders, EndWithOneSlash) {
  EXPECT_EQ(WithTrailingSlash("/rip"), "/rip/");
  EXPECT_EQ(WithTrailingSlash("/rip/"), "/rip/");
  EXPECT_EQ(WithTrailingSlash(""), "");
}
