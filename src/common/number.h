#pragma once
// Number reading and rounding shared by every window and tool.

#include <string_view>

namespace reelwork {

// Reads a decimal number typed by a user or kept in a setting into a 32-bit
// float. Leading spaces are skipped; then an optional sign, digits with an
// optional point and fraction, and an optional exponent ("E"/"e", optional
// sign, at least one digit). Succeeds only when the text ends right there.
// On failure `value` still receives the digits read before the first character
// that does not fit, as a whole number without sign and point (0 if none).
bool ParseNumber(std::string_view text, float &value);

// Nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
long long RoundHalfEven(double value);

// Drops the fraction towards zero.
long long Truncate(double value);

// Integer division dropping the remainder (towards zero).
constexpr long long Div(long long a, long long b) { return a / b; }

// Strict integer conversion as the settings and dialogs need it: optional
// leading spaces, an optional sign ("+" allowed), decimal digits, nothing after,
// and within the 32-bit range.
bool StrToIntStrict(std::string_view text, int &value);

} // namespace reelwork
