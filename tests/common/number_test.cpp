#include <gtest/gtest.h>

#include <cmath>

#include "common/number.h"

using reelwork::ParseNumber;

namespace {

struct Case {
  const char *text;
  bool ok;
  float value;
};

} // namespace

TEST(ParseNumber, AcceptsEveryDecimalForm) {
  const Case cases[] = {
      {"0", true, 0.0f},         {"42", true, 42.0f},       {"  42", true, 42.0f},
      {"+7", true, 7.0f},        {"-7", true, -7.0f},       {"0.225", true, 0.225f},
      {".5", true, 0.5f},        {"5.", true, 5.0f},        {".", true, 0.0f},
      {"1e3", true, 1000.0f},    {"1E+3", true, 1000.0f},   {"2.5e-1", true, 0.25f},
      {"-1.5E2", true, -150.0f}, {"  -.5", true, -0.5f},    {"007", true, 7.0f},
  };
  for (const Case &c : cases) {
    float value = -99;
    EXPECT_EQ(ParseNumber(c.text, value), c.ok) << c.text;
    EXPECT_FLOAT_EQ(value, c.value) << c.text;
  }
}

TEST(ParseNumber, RefusesAndKeepsThePartialWholeNumber) {
  // On failure the value holds the digits read so far, without sign or point.
  const Case cases[] = {
      {"", false, 0.0f},       {"-", false, 0.0f},       {"+", false, 0.0f},
      {"42 ", false, 42.0f},   {"0,225", false, 0.0f},   {"8,16,-8,-16)", false, 8.0f},
      {" -8,-16)", false, 8.0f}, {"12.5x", false, 125.0f}, {"1e", false, 1.0f},
      {"1e+", false, 1.0f},    {"abc", false, 0.0f},     {"\t5", false, 0.0f},
      {"5)", false, 5.0f},
  };
  for (const Case &c : cases) {
    float value = -99;
    EXPECT_EQ(ParseNumber(c.text, value), c.ok) << c.text;
    EXPECT_FLOAT_EQ(value, c.value) << c.text;
  }
}

TEST(ParseNumber, GivesSinglePrecision) {
  float value = 0;
  ASSERT_TRUE(ParseNumber("0.1", value));
  EXPECT_EQ(value, 0.1f);
  ASSERT_TRUE(ParseNumber("1e60", value));
  EXPECT_TRUE(std::isinf(value));
  ASSERT_TRUE(ParseNumber("1e-400", value));
  EXPECT_EQ(value, 0.0f);
}

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(reelwork::RoundHalfEven(0.5), 0);
  EXPECT_EQ(reelwork::RoundHalfEven(1.5), 2);
  EXPECT_EQ(reelwork::RoundHalfEven(2.5), 2);
  EXPECT_EQ(reelwork::RoundHalfEven(-2.5), -2);
  EXPECT_EQ(reelwork::RoundHalfEven(2.6), 3);
  EXPECT_EQ(reelwork::Truncate(-2.7), -2);
  EXPECT_EQ(reelwork::Truncate(2.7), 2);
  EXPECT_EQ(reelwork::Div(-7, 2), -3);
}

TEST(StrToIntStrict, AcceptsOnlyWholeDecimalIntegers) {
  int v = 0;
  EXPECT_TRUE(reelwork::StrToIntStrict("640", v));
  EXPECT_EQ(v, 640);
  EXPECT_TRUE(reelwork::StrToIntStrict("+2", v));
  EXPECT_EQ(v, 2);
  EXPECT_TRUE(reelwork::StrToIntStrict("-4", v));
  EXPECT_EQ(v, -4);
  EXPECT_TRUE(reelwork::StrToIntStrict("-2147483648", v));
  EXPECT_EQ(v, -2147483647 - 1);
  for (const char *bad : {"", "+", "1.5", "12 ", "2147483648", "x1", "99999999999999999999"})
    EXPECT_FALSE(reelwork::StrToIntStrict(bad, v)) << bad;
}
