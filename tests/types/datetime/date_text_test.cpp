#include "types/datetime/date_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <random>
#include <string>

namespace vesk {
namespace {

std::string Printf(const char* format, double v) {
  char buf[512];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

TEST(DateText, PaddedIntegersLikePrintf) {
  struct Case {
    int64_t v;
    int width;
    const char* text;
  } cases[] = {{5, 2, "05"},   {2008, 4, "2008"}, {1, 4, "0001"},        {123456, 4, "123456"},
               {-5, 4, "-005"}, {0, 2, "00"},     {-7, 0, "-7"},         {INT64_MIN, 2, "-9223372036854775808"},
               {0, 0, "0"},    {-2147483648, 2, "-2147483648"}};
  for (const auto& c : cases) {
    DateText t;
    t.AppendPadded(c.v, c.width);
    EXPECT_STREQ(t.c_str(), c.text);
  }
}

TEST(DateText, FixedPointMatchesPrintfExactly) {
  struct Form {
    const char* format;
    int width, precision;
  } forms[] = {{"%09.6f", 9, 6}, {"%013.10f", 13, 10}, {"%012.9f", 12, 9}};
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> seconds(0.0, 61.0);
  for (const Form& f : forms) {
    for (double v : {0.0, -0.0, 5.25, 59.999999, 9.123, -0.3, 0.0000005, 0.00000000005, 1e20}) {
      DateText t;
      t.AppendFixed(v, f.width, f.precision);
      EXPECT_EQ(t.c_str(), Printf(f.format, v)) << f.format << " " << v;
    }
    for (int i = 0; i < 20000; ++i) {
      double v = seconds(rng);
      DateText t;
      t.AppendFixed(v, f.width, f.precision);
      ASSERT_EQ(t.c_str(), Printf(f.format, v)) << f.format << " " << v;
    }
  }
}

TEST(DateText, TrimTrailingZerosKeepsTwoDecimals) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {{"05.500000", "05.50"},       {"05.250000", "05.25"}, {"05.123456", "05.123456"},
               {"12:34:56.2500000000", "12:34:56.25"}, {"00.000001", "00.000001"}, {"05.00", "05.00"}};
  for (const auto& c : cases) {
    DateText t;
    t.Append(c.in);
    t.TrimTrailingZeros();
    EXPECT_STREQ(t.c_str(), c.out);
  }
  DateText piece;
  piece.Append("1 day 00:00:");
  size_t from = piece.size();
  piece.Append("00");
  piece.TrimTrailingZeros(from);  // too short to look before the piece
  EXPECT_STREQ(piece.c_str(), "1 day 00:00:00");
}

TEST(DateText, OverlongTextIsMarkedCutNotTruncated) {
  DateText t;
  t.Append(std::string(DateText::kCapacity, 'x'));
  EXPECT_FALSE(t.cut());
  t.AppendChar('y');
  EXPECT_TRUE(t.cut());
  EXPECT_EQ(t.size(), DateText::kCapacity);
  t.Append("z");  // stays cut
  EXPECT_TRUE(t.cut());

  DateText n;
  n.AppendFixed(std::numeric_limits<double>::quiet_NaN(), 9, 6);
  EXPECT_TRUE(n.cut());
  DateText huge;
  huge.AppendFixed(1e300, 9, 6);  // 300 digits: does not fit, never cut silently
  EXPECT_TRUE(huge.cut());
}

}  // namespace
}  // namespace vesk
