#include "types/datetime/datetime_out.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "datetime_test_util.h"
#include "support/recovery_run.h"
#include "types/datetime/time_fields.h"
#include "types/datetime/zone_rules.h"

namespace vesk {
namespace {

using testing::ByValue;
using testing::LogCapture;
using testing::Stored;
using testing::Text;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kYear1BC = -63113904000.0;  // 0001-01-01 00:00:00 BC

const char kMiss[] = "ERROR while out type, MISS value";

std::optional<std::string> Timestamp(double v) { return Text(timestamp_out(Stored().F64(v).datum(), -1)); }
std::optional<std::string> TimestampTz(double v) { return Text(timestamptz_out(Stored().F64(v).datum(), -1)); }
std::optional<std::string> Time(double v) { return Text(time_out(Stored().F64(v).datum(), 3)); }
std::optional<std::string> TimeTz(double v, int32_t zone) {
  return Text(timetz_out(Stored().F64(v).I32(zone).datum(), -1));
}
std::optional<std::string> Interval(int32_t months, int32_t days, double time) {
  return Text(interval_out(Stored().F64(time).I32(days).I32(months).datum(), -1));
}
std::optional<std::string> Tinterval(int32_t status, int32_t start, int32_t end) {
  return Text(tinterval_out(Stored().I32(status).I32(start).I32(end).datum()));
}

TEST(RoundHalfEven, MatchesTheServersRint) {
  struct Case {
    double in, out;
  } cases[] = {{2.5, 2}, {-2.5, -2}, {2.6, 3}, {-2.6, -3}, {3.5, 4}, {-3.5, -4},
               {0.5, 0}, {1.5, 2}, {2.4, 2}, {-0.4, 0}, {1e300, 1e300}};
  for (const Case& c : cases) EXPECT_EQ(RoundHalfEven(c.in), c.out) << c.in;
}

TEST(DateOut, IsoDatesAndBcYears) {
  struct Case {
    int32_t day;
    const char* text;
  } cases[] = {
      {0, "2000-01-01"},         {-730119, "0001-01-01"},     {-730120, "0001-12-31 BC"},
      {-2451545, "4714-11-24 BC"}, {-2451179, "4713-11-24 BC"}, {2952, "2008-01-31"},     {13898, "2038-01-19"},
      {107016, "2292-12-31"},    {59, "2000-02-29"},          {-1, "1999-12-31"},
  };
  for (const Case& c : cases) EXPECT_EQ(Text(date_out(ByValue(c.day))), c.text) << c.day;
}

TEST(DateOut, AnyDayNumberGivesADate) {
  for (int32_t day : {INT32_MIN, INT32_MAX, -2451546, -2483590, INT32_MAX - 2451545}) {
    auto text = Text(date_out(ByValue(day)));
    ASSERT_TRUE(text) << day;
    EXPECT_GE(text->size(), 10u) << day;
    EXPECT_EQ((*text)[text->find('-', 1) + 3], '-') << *text;
  }
}

struct TimestampCase {
  double value;
  const char* timestamp;
  const char* timestamptz;
};

TEST(TimestampOut, IsoTextsRoundingCarriesAndBcYears) {
  const TimestampCase cases[] = {
      {0.0, "2000-01-01 00:00:00", "2000-01-01 00:00:00+00"},
      {-0.5, "1999-12-31 23:59:59.50", "1999-12-31 23:59:59.50+00"},
      {-1.0, "1999-12-31 23:59:59", "1999-12-31 23:59:59+00"},
      {0.123, "2000-01-01 00:00:00.123", "2000-01-01 00:00:00.123+00"},
      {0.5, "2000-01-01 00:00:00.50", "2000-01-01 00:00:00.50+00"},
      {255099909.123456, "2008-01-31 13:05:09.123456", "2008-01-31 13:05:09.123456+00"},
      {536543999.25, "2016-12-31 23:59:59.25", "2016-12-31 23:59:59.25+00"},
      {3160857599.999, "2100-02-28 23:59:59.999", "2100-02-28 23:59:59.999+00"},
      // Rounding to microseconds carries into the minute and into the day.
      {59.9999996, "2000-01-01 00:01:00", "2000-01-01 00:01:00+00"},
      {86399.9999999, "2000-01-02 00:00:00", "2000-01-02 00:00:00+00"},
      {-0.0000001, "2000-01-01 00:00:00", "2000-01-01 00:00:00+00"},
      // Exact halves of a microsecond round to even, as the servers did.
      {1.5e-06, "2000-01-01 00:00:00.000002", "2000-01-01 00:00:00.000002+00"},
      {2.5e-06, "2000-01-01 00:00:00.000002", "2000-01-01 00:00:00.000002+00"},
      {1e-06, "2000-01-01 00:00:00.000001", "2000-01-01 00:00:00.000001+00"},
      {kYear1BC, "0001-01-01 00:00:00 BC", "0001-01-01 00:00:00+00 BC"},
      // The stored half second of a BC instant is kept.
      {kYear1BC + 0.5, "0001-01-01 00:00:00.50 BC", "0001-01-01 00:00:00.50+00 BC"},
      {-211813488000.0, "4714-11-24 00:00:00 BC", "4714-11-24 00:00:00+00 BC"},
      {kInf, "infinity", "infinity"},
      {-kInf, "-infinity", "-infinity"},
  };
  for (const TimestampCase& c : cases) {
    EXPECT_EQ(Timestamp(c.value), c.timestamp) << c.value;
    EXPECT_EQ(TimestampTz(c.value), c.timestamptz) << c.value;
  }
}

TEST(TimestampOut, OutOfRangeAndNonNumbersAreNullAndLogged) {
  for (double v : {kNaN, 1e300, -1e300, -211813488000.0 - 86400.0, 2147483648.0 * 86400.0 * 1.01}) {
    LogCapture log;
    EXPECT_EQ(Timestamp(v), std::nullopt) << v;
    EXPECT_TRUE(log.Has("timestamp out of range"));
    EXPECT_FALSE(log.Has(kMiss));
  }
  LogCapture log;
  EXPECT_EQ(TimestampTz(kNaN), std::nullopt);
  EXPECT_TRUE(log.Has("timestamp out of range"));
  EXPECT_TRUE(log.Has(std::string("[ERROR]: ") + kMiss));
}

TEST(TimestampOut, ZoneSuffixIsTheOnlyDifferenceForTimestamptz) {
  // Spread over the whole range of representable days, fractions included.
  double v = -2.1e11;
  for (int i = 0; i < 2000; ++i, v += 1.7e8 + 0.123457 * i) {
    auto plain = Timestamp(v);
    auto zoned = TimestampTz(v);
    ASSERT_TRUE(plain && zoned) << v;
    std::string expected = *plain;
    size_t bc = expected.find(" BC");
    expected.insert(bc == std::string::npos ? expected.size() : bc, "+00");
    EXPECT_EQ(*zoned, expected) << v;
  }
}

TEST(TimeOut, ClockTextsAndRounding) {
  struct Case {
    double value;
    const char* text;
  } cases[] = {
      {0, "00:00:00"},
      {86400, "24:00:00"},
      {45296.25, "12:34:56.25"},
      {45296.5, "12:34:56.50"},
      {47109, "13:05:09"},
      {47109.123, "13:05:09.123"},
      {86399.999999, "23:59:59.999999"},
      {1e-06, "00:00:00.000001"},
      {0.001, "00:00:00.001"},
      {21600.5, "06:00:00.50"},
      {1e-10, "00:00:00.0000000001"},
      // Ten decimal places; exact halves round to even.
      {1.5e-10, "00:00:00.0000000002"},
      {2.5e-10, "00:00:00.0000000002"},
      // Rounding reaches the next second, minute and hour.
      {59.99999999999, "00:01:00"},
      {3599.999999999999, "01:00:00"},
      {86399.99999999999, "24:00:00"},
  };
  for (const auto& c : cases) EXPECT_EQ(Time(c.value), c.text) << c.value;
}

TEST(TimeOut, ValuesThatAreNoClockTimeAreNull) {
  // 25 hours and more, negative times, NaN and huge values: a NULL keeps the
  // rest of the row loadable where an empty literal would not.
  for (double v : {90000.0, 1e12, -1.0, -0.25, kNaN, kInf, -kInf, 1e300}) {
    LogCapture log;
    EXPECT_EQ(Time(v), std::nullopt) << v;
    EXPECT_EQ(TimeTz(v, 0), std::nullopt) << v;
    EXPECT_TRUE(log.Has("time out of range")) << v;
  }
}

TEST(TimetzOut, ZoneOffsets) {
  struct Case {
    double value;
    int32_t zone;
    const char* text;
  } cases[] = {
      {0, 0, "00:00:00+00"},
      {0, -19800, "00:00:00+05:30"},
      {0, 18000, "00:00:00-05"},
      {0, 3661, "00:00:00-01:01:01"},
      {0, -50400, "00:00:00+14"},
      {47109, 18000, "13:05:09-05"},
      {86399.99, 0, "23:59:59.99+00"},
      {21600.5, 43200, "06:00:00.50-12"},
      {47109, -18000, "13:05:09+05"},
      {0, 86400, "00:00:00-24"},
  };
  for (const auto& c : cases) EXPECT_EQ(TimeTz(c.value, c.zone), c.text) << c.value << " " << c.zone;
}

TEST(TimetzOut, ZonesOf25HoursOrMorePrintAsZeroAndAreLogged) {
  for (int32_t zone : {90000, -90000, INT32_MAX, INT32_MIN}) {
    LogCapture log;
    std::string expected = zone > 0 ? "00:00:00-0" : "00:00:00+0";
    EXPECT_EQ(TimeTz(0, zone), expected) << zone;
    EXPECT_TRUE(log.Has("Error in EncodeTimezone, return 0")) << zone;
  }
}

TEST(IntervalOut, CompactForm) {
  struct Case {
    int32_t months, days;
    double time;
    const char* text;
  } cases[] = {
      {0, 0, 0, "00:00:00"},
      {0, 1, 0, "1 day"},
      {0, -1, 0, "-1 days"},
      {1, 0, 0, "1 mon"},
      {12, 0, 0, "1 year"},
      {11, 0, 0, "11 mons"},
      {-11, 0, 0, "-11 mons"},
      {-1, 1, 0, "-1 mons +1 day"},
      {0, 0, -90.5, "-00:01:30.50"},
      {0, 3, 1, "3 days 00:00:01"},
      {14, 3, 14706.5, "1 year 2 mons 3 days 04:05:06.50"},
      {-36, 0, 0, "-3 years"},
      {1200, 0, 0, "100 years"},
      {-14, 0, 0, "-1 years -2 mons"},
      {0, -1, -7384, "-1 days -02:03:04"},
      {-12, 0, 5, "-1 years +00:00:05"},
      {12011, 29, 86399.999999, "1000 years 11 mons 29 days 23:59:59.999999"},
      {0, 0, 5.25, "00:00:05.25"},
      {0, 0, -1.5, "-00:00:01.50"},
      {0, 0, -0.25, "-00:00:00.25"},
      {0, 0, 59.99, "00:00:59.99"},
      {0, 0, 0.01, "00:00:00.01"},
      {0, 0, 1.5e-06, "00:00:00.000002"},
      // Rounding carries into the minute.
      {0, 0, 59.9999999, "00:01:00"},
      {0, 0, 360000, "100:00:00"},
  };
  for (const auto& c : cases) EXPECT_EQ(Interval(c.months, c.days, c.time), c.text) << c.text;
}

TEST(IntervalOut, ExtremeFieldsAreNeverCut) {
  EXPECT_EQ(Interval(INT32_MIN, INT32_MIN, -2147483648.0 * 3600 - 3599.5),
            "-178956970 years -8 mons -2147483648 days -2147483648:59:59.50");
  EXPECT_EQ(Interval(INT32_MAX, INT32_MAX, 2147483647.0 * 3600 + 3599.5),
            "178956970 years 7 mons 2147483647 days 2147483647:59:59.50");
}

TEST(IntervalOut, TimePartsBeyondTheHourFieldAreNull) {
  for (double t : {kNaN, kInf, -kInf, 1e300, 2147483648.0 * 3600, -2147483649.0 * 3600}) {
    LogCapture log;
    EXPECT_EQ(Interval(1, 2, t), std::nullopt) << t;
    EXPECT_TRUE(log.Has("could not convert interval to tm")) << t;
  }
}

class LegacyTimes : public ::testing::Test {
 protected:
  void SetUp() override {
    // No zone file: the built-in zone.
    vesk::Run().moduleDirectory = "/nonexistent/vesk-datetime-test";
    ResetUtcZoneForTest();
  }
  void TearDown() override { ResetUtcZoneForTest(); }
};

TEST_F(LegacyTimes, AbstimeIsUtcWithZone) {
  struct Case {
    int32_t value;
    const char* text;
  } cases[] = {
      {0, "1970-01-01 00:00:00+00"},
      {2147483646, "invalid"},
      {2147483644, "infinity"},
      {INT32_MIN, "-infinity"},
      {1201784709, "2008-01-31 13:05:09+00"},
      {-2147472000, "1901-12-14 00:00:00+00"},
      {946684800, "2000-01-01 00:00:00+00"},
      {951782400, "2000-02-29 00:00:00+00"},
      {-1, "1969-12-31 23:59:59+00"},
      {2147483647, "2038-01-19 03:14:07+00"},
      {2147483645, "2038-01-19 03:14:05+00"},
      {-2147483647, "1901-12-13 20:45:53+00"},
  };
  for (const auto& c : cases) EXPECT_EQ(Text(abstime_out(ByValue(c.value))), c.text) << c.value;
}

TEST_F(LegacyTimes, Reltime) {
  struct Case {
    int32_t value;
    const char* text;
  } cases[] = {
      {2775600, "1 mon 2 days 03:00:00"},
      {31557600, "1 year"},
      {-1, "-00:00:01"},
      {0, "00:00:00"},
      {-36741600, "-1 years -2 mons"},
      {86401, "1 day 00:00:01"},
      {INT32_MAX, "68 years 18 days 03:14:07"},
      {INT32_MIN, "-68 years -18 days -03:14:08"},
  };
  for (const auto& c : cases) EXPECT_EQ(Text(reltime_out(ByValue(c.value))), c.text) << c.value;
}

TEST_F(LegacyTimes, Tinterval) {
  EXPECT_EQ(Tinterval(1, 0, 946684800), R"(["1970-01-01 00:00:00+00" "2000-01-01 00:00:00+00"])");
  EXPECT_EQ(Tinterval(1, 0, 0), R"(["1970-01-01 00:00:00+00" "1970-01-01 00:00:00+00"])");
  EXPECT_EQ(Tinterval(1, INT32_MIN, 2147483644), R"(["-infinity" "infinity"])");
  EXPECT_EQ(Tinterval(1, 0, 2147483646), R"(["1970-01-01 00:00:00+00" "invalid"])");
  // An invalid interval is a value of its own, printed as the servers do.
  LogCapture log;
  EXPECT_EQ(Tinterval(0, 0, 0), R"(["Undefined Range"])");
  EXPECT_EQ(Tinterval(0, 123, 456), R"(["Undefined Range"])");
  EXPECT_FALSE(log.Has(kMiss));
}

TEST(DatetimeOut, NullAddressesAreMissedValues) {
  LogCapture log;
  EXPECT_EQ(time_out(0, -1), nullptr);
  EXPECT_EQ(timetz_out(0, -1), nullptr);
  EXPECT_EQ(timestamp_out(0, -1), nullptr);
  EXPECT_EQ(timestamptz_out(0, -1), nullptr);
  EXPECT_EQ(interval_out(0, -1), nullptr);
  EXPECT_EQ(tinterval_out(0), nullptr);
  EXPECT_TRUE(log.Has(kMiss));
}

TEST(DatetimeOut, EachResultIsOneTrackedBlock) {
  int32_t before = ScratchLiveCount();
  char* s = timestamptz_out(Stored().F64(255099909.123456).datum(), -1);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(ScratchLiveCount(), before + 1);
  ScratchFree(s);
  char* t = tinterval_out(Stored().I32(1).I32(0).I32(0).datum());
  EXPECT_EQ(ScratchLiveCount(), before + 1);
  ScratchFree(t);
  EXPECT_EQ(ScratchLiveCount(), before);
}

}  // namespace
}  // namespace vesk
