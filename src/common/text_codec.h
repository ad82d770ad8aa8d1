#pragma once
// Text of scripts and projects as users bring it: Windows-1251 single-byte
// text as the program and the Windows tools write it, or UTF-8 from editors
// on this system. Standard C++ only, so that the frame engine decodes the
// same way the windows do.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace reelwork {

// Windows-1251 bytes as UTF-8. The one byte the code page leaves unassigned
// (0x98) becomes U+FFFD.
std::string Cp1251ToUtf8(std::string_view bytes);

// UTF-8 text as Windows-1251 bytes. When a character has no place in the code
// page, returns nothing and `unwritable` (if given) receives that character as
// UTF-8 (an invalid byte sequence is reported as its first byte).
std::optional<std::string> Utf8ToCp1251(std::string_view utf8, std::string *unwritable = nullptr);

// Whether the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view bytes);

// The text of a script or project file as UTF-8: a UTF-8 byte-order mark is
// dropped and the rest read as UTF-8; otherwise text that is valid UTF-8 and
// holds non-ASCII bytes is taken as UTF-8 (Russian words in Windows-1251 are
// practically never valid UTF-8); everything else is Windows-1251.
std::string DecodeProjectText(std::string_view bytes);

// The next code point of UTF-8 text at `at`, advancing `at`. A byte that
// starts no valid sequence comes back as U+DC00 plus the byte, which no valid
// text holds (so that names in other encodings still compare byte for byte).
char32_t NextCodePoint(std::string_view text, size_t &at);

// A code point folded for comparisons without regard to case: ASCII, Latin-1
// and Cyrillic capitals become their small letters.
char32_t FoldCase(char32_t c);

} // namespace reelwork
