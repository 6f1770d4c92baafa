// Whole-second timestamps take an integer shortcut; its text must be the one
// the field-by-field encoding gives, for every value it takes.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "types/datetime/date_text.h"
#include "types/datetime/datetime_out.h"

namespace vesk {
namespace {

std::string Text(bool (*encode)(double, bool, DateText&), double value, bool withZone) {
  DateText text;
  if (!encode(value, withZone, text) || text.cut()) return "(none)";
  return text.c_str();
}

void ExpectSame(double value) {
  for (bool withZone : {false, true}) {
    ASSERT_EQ(Text(EncodeTimestamp, value, withZone), Text(EncodeTimestampFields, value, withZone))
        << std::to_string(value) << (withZone ? " with zone" : "");
  }
}

TEST(TimestampShortcutTest, EdgesOfTheCalendarAndOfDays) {
  const double kYear1 = -63082281600.0;
  const double kYear10000 = 252455616000.0;
  for (double edge : {kYear1, kYear10000, 0.0, -86400.0, 86400.0}) {
    for (double delta : {-86401.0, -86400.0, -1.0, -0.5, 0.0, 0.5, 1.0, 86399.0, 86400.0}) ExpectSame(edge + delta);
  }
  EXPECT_EQ(Text(EncodeTimestamp, kYear1, false), "0001-01-01 00:00:00");
  EXPECT_EQ(Text(EncodeTimestamp, kYear10000 - 1, true), "9999-12-31 23:59:59+00");
  EXPECT_EQ(Text(EncodeTimestamp, kYear1 - 1, false), "0001-12-31 23:59:59 BC");
}

TEST(TimestampShortcutTest, RandomValuesAcrossTheCalendar) {
  std::mt19937_64 random(20261208);
  std::uniform_real_distribution<double> anywhere(-70000000000.0, 260000000000.0);
  for (int i = 0; i < 200000; ++i) {
    double value = anywhere(random);
    ExpectSame(std::floor(value));
    ExpectSame(value);
  }
}

}  // namespace
}  // namespace vesk
