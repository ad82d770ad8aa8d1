#include "common/text_codec.h"

#include <array>

namespace reelwork {

namespace {

// Code points of the bytes 0x80 to 0xBF; 0xC0 to 0xFF are U+0410 to U+044F.
constexpr std::array<char16_t, 64> kUpperHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // B8
};

char32_t CodePointOfByte(unsigned char b) {
  if (b < 0x80)
    return b;
  if (b >= 0xC0)
    return 0x0410 + (b - 0xC0);
  return kUpperHalf[b - 0x80];
}

std::optional<unsigned char> ByteOfCodePoint(char32_t c) {
  if (c < 0x80)
    return static_cast<unsigned char>(c);
  if (c >= 0x0410 && c <= 0x044F)
    return static_cast<unsigned char>(0xC0 + (c - 0x0410));
  for (size_t i = 0; i < kUpperHalf.size(); ++i)
    if (kUpperHalf[i] == c && c != 0xFFFD)
      return static_cast<unsigned char>(0x80 + i);
  return std::nullopt;
}

void AppendUtf8(std::string &out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Length of the valid UTF-8 sequence at `at` and its code point; 0 when the
// bytes there start no valid sequence.
size_t DecodeOne(std::string_view s, size_t at, char32_t &c) {
  const auto b = [&](size_t i) { return static_cast<unsigned char>(s[at + i]); };
  const unsigned char lead = b(0);
  size_t length = 0;
  char32_t min = 0;
  if (lead < 0x80) {
    c = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, c = lead & 0x1F, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, c = lead & 0x0F, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, c = lead & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (at + length > s.size())
    return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((b(i) & 0xC0) != 0x80)
      return 0;
    c = (c << 6) | (b(i) & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
    return 0;
  return length;
}

} // namespace

std::string Cp1251ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  for (char ch : bytes)
    AppendUtf8(out, CodePointOfByte(static_cast<unsigned char>(ch)));
  return out;
}

std::optional<std::string> Utf8ToCp1251(std::string_view utf8, std::string *unwritable) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t at = 0; at < utf8.size();) {
    char32_t c = 0;
    const size_t length = DecodeOne(utf8, at, c);
    const auto byte = length ? ByteOfCodePoint(c) : std::nullopt;
    if (!byte) {
      if (unwritable)
        *unwritable = std::string(utf8.substr(at, length ? length : 1));
      return std::nullopt;
    }
    out += static_cast<char>(*byte);
    at += length;
  }
  return out;
}

bool IsValidUtf8(std::string_view bytes) {
  char32_t c = 0;
  for (size_t at = 0; at < bytes.size();) {
    const size_t length = DecodeOne(bytes, at, c);
    if (length == 0)
      return false;
    at += length;
  }
  return true;
}

std::string DecodeProjectText(std::string_view bytes) {
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  if (bytes.substr(0, kBom.size()) == kBom) {
    bytes.remove_prefix(kBom.size());
    // A marked text that is no UTF-8 after all keeps its bytes readable.
    return IsValidUtf8(bytes) ? std::string(bytes) : Cp1251ToUtf8(bytes);
  }
  bool ascii = true;
  for (char ch : bytes)
    if (static_cast<unsigned char>(ch) >= 0x80) {
      ascii = false;
      break;
    }
  if (ascii || IsValidUtf8(bytes))
    return std::string(bytes);
  return Cp1251ToUtf8(bytes);
}

char32_t NextCodePoint(std::string_view text, size_t &at) {
  char32_t c = 0;
  const size_t length = DecodeOne(text, at, c);
  if (length == 0) {
    // Stands for the byte itself, apart from every real character.
    c = 0xDC00 + static_cast<unsigned char>(text[at]);
    at += 1;
    return c;
  }
  at += length;
  return c;
}

char32_t FoldCase(char32_t c) {
  if (c >= 'A' && c <= 'Z')
    return c + ('a' - 'A');
  if (c < 0xC0)
    return c;
  if (c <= 0xDE && c != 0xD7)
    return c + 0x20; // Latin-1 capitals
  if (c >= 0x0410 && c <= 0x042F)
    return c + 0x20; // А to Я
  if (c >= 0x0400 && c <= 0x040F)
    return c + 0x50; // Ѐ to Џ (Ё, Ї, Є, Ў and the others)
  if (c == 0x0490)
    return 0x0491; // Ґ
  return c;
}

} // namespace reelwork
