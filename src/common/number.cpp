#include "common/number.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace reelwork {

namespace {
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
} // namespace

bool ParseNumber(std::string_view text, float &value) {
  size_t i = 0;
  const size_t n = text.size();
  double partial = 0; // the digits read so far, as one whole number
  auto takeDigits = [&](size_t &pos) {
    size_t start = pos;
    while (pos < n && IsDigit(text[pos])) {
      partial = partial * 10 + (text[pos] - '0');
      ++pos;
    }
    return pos - start;
  };
  auto fail = [&]() {
    value = static_cast<float>(partial);
    return false;
  };

  while (i < n && text[i] == ' ')
    ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const size_t mantissaStart = i;
  size_t digits = takeDigits(i);
  bool point = false;
  if (i < n && text[i] == '.') {
    point = true;
    ++i;
    digits += takeDigits(i);
  }
  if (digits == 0 && !point)
    return fail(); // empty text, a lone sign, or no number at all
  const size_t mantissaEnd = i;
  if (i < n && (text[i] == 'E' || text[i] == 'e')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-'))
      ++i;
    if (takeDigits(i) == 0)
      return fail();
  }
  if (i != n)
    return fail();

  if (digits == 0) { // a lone point, possibly with an exponent
    value = 0.0f;
    return true;
  }
  // from_chars takes neither a leading sign nor a bare trailing exponent
  // marker, so hand it the unsigned mantissa and exponent as read.
  std::string number(text.substr(mantissaStart, mantissaEnd - mantissaStart));
  if (number.front() == '.')
    number.insert(number.begin(), '0');
  if (number.back() == '.')
    number.push_back('0');
  number.append(text.substr(mantissaEnd));
  double parsed = 0;
  auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), parsed);
  if (ec == std::errc::result_out_of_range) {
    // Beyond even a double: a negative exponent underflows to 0, else overflow.
    const size_t e = number.find_first_of("eE");
    parsed = (e != std::string::npos && e + 1 < number.size() && number[e + 1] == '-')
                 ? 0.0
                 : std::numeric_limits<double>::infinity();
  } else if (ec != std::errc() || ptr != number.data() + number.size()) {
    return fail();
  }
  float single = parsed > std::numeric_limits<float>::max() ? std::numeric_limits<float>::infinity()
                                                            : static_cast<float>(parsed);
  value = negative ? -single : single;
  return true;
}

long long RoundHalfEven(double value) {
  // The default floating-point rounding mode rounds halves to even.
  return static_cast<long long>(std::nearbyint(value));
}

long long Truncate(double value) { return static_cast<long long>(std::trunc(value)); }

bool StrToIntStrict(std::string_view text, int &value) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ')
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size())
    return false;
  long long result = 0;
  for (; i < text.size(); ++i) {
    if (!IsDigit(text[i]))
      return false;
    result = result * 10 + (text[i] - '0');
    if (result > static_cast<long long>(std::numeric_limits<int>::max()) + 1)
      return false;
  }
  if (negative)
    result = -result;
  if (result > std::numeric_limits<int>::max() || result < std::numeric_limits<int>::min())
    return false;
  value = static_cast<int>(result);
  return true;
}

} // namespace reelwork
