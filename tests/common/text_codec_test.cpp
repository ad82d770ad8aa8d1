// Windows-1251 and UTF-8 text as scripts and projects bring it, decoded the
// same way by the engine (no Qt) and the windows.

#include <QStringDecoder>
#include <gtest/gtest.h>

#include "common/text_codec.h"

using namespace reelwork;

TEST(TextCodec, Windows1251AgreesWithQtForEveryByte) {
  QStringDecoder qt("windows-1251");
  ASSERT_TRUE(qt.isValid());
  for (int b = 0; b < 256; ++b) {
    if (b == 0x98)
      continue; // unassigned in the code page
    const std::string byte(1, static_cast<char>(b));
    const QString expected = qt.decode(QByteArray(byte.data(), 1));
    const std::string utf8 = Cp1251ToUtf8(byte);
    EXPECT_EQ(QString::fromStdString(utf8), expected) << "byte " << b;
    // And back again.
    EXPECT_EQ(Utf8ToCp1251(utf8), byte) << "byte " << b;
  }
}

TEST(TextCodec, NamesTheFirstLetterWindows1251CannotWrite) {
  std::string letter;
  EXPECT_EQ(Utf8ToCp1251("Фильм №2.d2v"), std::optional<std::string>("\xD4\xE8\xEB\xFC\xEC \xB9" "2.d2v"));
  EXPECT_FALSE(Utf8ToCp1251("Amélie.d2v", &letter));
  EXPECT_EQ(letter, "é");
  EXPECT_FALSE(Utf8ToCp1251("映画.d2v", &letter));
  EXPECT_EQ(letter, "映");
  EXPECT_FALSE(Utf8ToCp1251("bad\xFF.d2v", &letter));
  EXPECT_EQ(letter, "\xFF");
}

TEST(TextCodec, DecidesBetweenWindows1251AndUtf8) {
  const std::string film1251 = "mpeg2source(\"\xD4\xE8\xEB\xFC\xEC.d2v\")";
  EXPECT_EQ(DecodeProjectText(film1251), "mpeg2source(\"Фильм.d2v\")");
  // Valid UTF-8 with letters beyond ASCII is taken as UTF-8; plain ASCII as is.
  EXPECT_EQ(DecodeProjectText("mpeg2source(\"Фильм.d2v\")"), "mpeg2source(\"Фильм.d2v\")");
  EXPECT_EQ(DecodeProjectText("Crop(8,8,-8,-8)"), "Crop(8,8,-8,-8)");
  // A byte-order mark is dropped; a marked text that is no UTF-8 is still read.
  EXPECT_EQ(DecodeProjectText("\xEF\xBB\xBF" "DVD2AVIProjectFile\r\n"), "DVD2AVIProjectFile\r\n");
  EXPECT_EQ(DecodeProjectText("\xEF\xBB\xBF\xD4"), "Ф");
  // Overlong forms and surrogates are no UTF-8.
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));
  EXPECT_FALSE(IsValidUtf8("\xD0"));
  EXPECT_TRUE(IsValidUtf8("ёЁ\xF0\x9F\x8E\xAC"));
}
