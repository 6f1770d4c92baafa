// Servers built with integer date/time storage keep timestamps, times and
// intervals as int64 microseconds. Their texts are the texts the float8
// build prints for the same instant, which the cases check both ways.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "datetime_test_util.h"
#include "support/recovery_run.h"
#include "types/datetime/datetime_out.h"

namespace vesk {
namespace {

using testing::LogCapture;
using testing::Text;

constexpr int64_t kSecond = 1000000;
constexpr int64_t kDay = 86400 * kSecond;

// Stored bytes of an int64 (optionally followed by two int32), one byte
// past an aligned start.
class Stored64 {
 public:
  Stored64& I64(int64_t v) { return Put(&v, 8); }
  Stored64& F64(double v) { return Put(&v, 8); }
  Stored64& I32(int32_t v) { return Put(&v, 4); }
  Datum datum() const { return PointerDatum(bytes_ + 1); }

 private:
  Stored64& Put(const void* v, size_t n) {
    std::memcpy(bytes_ + 1 + used_, v, n);
    used_ += n;
    return *this;
  }
  alignas(8) uint8_t bytes_[40] = {};
  size_t used_ = 0;
};

// Runs with the storage of one build, restoring the default afterwards.
class Storage {
 public:
  explicit Storage(bool integer) { Run().settings.integerDatetimes = integer; }
  ~Storage() { Run().settings.integerDatetimes = false; }
};

enum class Kind { kTimestamp, kTimestampTz, kTime, kTimeTz, kInterval };

// The text of `usecs` (with `days`, `months` or `zone` where the type has
// them) in either storage.
std::optional<std::string> Print(Kind kind, bool integer, int64_t usecs, int32_t extra1 = 0, int32_t extra2 = 0) {
  Storage storage(integer);
  Stored64 stored;
  if (integer) {
    stored.I64(usecs);
  } else {
    stored.F64(static_cast<double>(usecs) / kSecond);
  }
  stored.I32(extra1).I32(extra2);
  switch (kind) {
    case Kind::kTimestamp: return Text(timestamp_out(stored.datum(), -1));
    case Kind::kTimestampTz: return Text(timestamptz_out(stored.datum(), -1));
    case Kind::kTime: return Text(time_out(stored.datum(), -1));
    case Kind::kTimeTz: return Text(timetz_out(stored.datum(), -1));
    case Kind::kInterval: return Text(interval_out(stored.datum(), -1));
  }
  return std::nullopt;
}

struct Case {
  Kind kind;
  int64_t usecs;
  int32_t extra1, extra2;  // timetz: zone; interval: days, months
  const char* text;
};

TEST(IntegerStorage, SameTextsAsTheFloatBuild) {
  const Case cases[] = {
      {Kind::kTimestamp, 0, 0, 0, "2000-01-01 00:00:00"},
      {Kind::kTimestamp, -kSecond / 2, 0, 0, "1999-12-31 23:59:59.50"},
      {Kind::kTimestamp, 123000, 0, 0, "2000-01-01 00:00:00.123"},
      {Kind::kTimestamp, 1, 0, 0, "2000-01-01 00:00:00.000001"},
      {Kind::kTimestamp, -1, 0, 0, "1999-12-31 23:59:59.999999"},
      {Kind::kTimestamp, 255099909123456, 0, 0, "2008-01-31 13:05:09.123456"},
      {Kind::kTimestamp, 86399 * kSecond + 999999, 0, 0, "2000-01-01 23:59:59.999999"},
      {Kind::kTimestamp, -63113904000 * kSecond, 0, 0, "0001-01-01 00:00:00 BC"},
      {Kind::kTimestamp, -63113904000 * kSecond + kSecond / 2, 0, 0, "0001-01-01 00:00:00.50 BC"},
      {Kind::kTimestamp, 252455615999 * kSecond, 0, 0, "9999-12-31 23:59:59"},
      {Kind::kTimestampTz, 0, 0, 0, "2000-01-01 00:00:00+00"},
      {Kind::kTimestampTz, -kDay - 250000, 0, 0, "1999-12-30 23:59:59.75+00"},
      {Kind::kTime, 0, 0, 0, "00:00:00"},
      {Kind::kTime, kDay, 0, 0, "24:00:00"},
      {Kind::kTime, 45296 * kSecond + 250000, 0, 0, "12:34:56.25"},
      {Kind::kTime, 45296 * kSecond + 1, 0, 0, "12:34:56.000001"},
      {Kind::kTimeTz, 0, -19800, 0, "00:00:00+05:30"},
      {Kind::kTimeTz, 47109 * kSecond + 500000, 18000, 0, "13:05:09.50-05"},
      {Kind::kInterval, 0, 0, 0, "00:00:00"},
      {Kind::kInterval, 14706 * kSecond + kSecond / 2, 3, 14, "1 year 2 mons 3 days 04:05:06.50"},
      {Kind::kInterval, -90 * kSecond - kSecond / 2, 0, 0, "-00:01:30.50"},
      {Kind::kInterval, -7384 * kSecond, -1, 0, "-1 days -02:03:04"},
      {Kind::kInterval, 5 * kSecond, 0, -12, "-1 years +00:00:05"},
      {Kind::kInterval, -1, 0, 0, "-00:00:00.000001"},
      {Kind::kInterval, 360000 * kSecond, 0, 0, "100:00:00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Print(c.kind, true, c.usecs, c.extra1, c.extra2), c.text) << c.text;
    EXPECT_EQ(Print(c.kind, false, c.usecs, c.extra1, c.extra2), c.text) << c.text << " (float)";
  }
}

TEST(IntegerStorage, TheLeastAndGreatestInt64AreTheInfinities) {
  for (Kind kind : {Kind::kTimestamp, Kind::kTimestampTz}) {
    EXPECT_EQ(Print(kind, true, INT64_MAX), "infinity");
    EXPECT_EQ(Print(kind, true, INT64_MIN), "-infinity");
  }
}

// Values no integer build can have written: a null and a log line, never a
// text that would not load or a crash.
TEST(IntegerStorage, ImpossibleValuesAreNullAndLogged) {
  const struct {
    Kind kind;
    int64_t usecs;
    const char* line;
  } cases[] = {
      {Kind::kTimestamp, INT64_MIN + 1, "timestamp out of range"},
      {Kind::kTime, -1, "time out of range"},
      {Kind::kTime, kDay + 3600 * kSecond, "time out of range"},
      {Kind::kTime, INT64_MIN, "time out of range"},
      {Kind::kTimeTz, INT64_MAX, "time out of range"},
      {Kind::kInterval, INT64_MAX, "could not convert interval to tm"},
      {Kind::kInterval, INT64_MIN, "could not convert interval to tm"},
  };
  for (const auto& c : cases) {
    LogCapture log;
    EXPECT_EQ(Print(c.kind, true, c.usecs), std::nullopt) << c.usecs;
    EXPECT_TRUE(log.Has(c.line)) << c.usecs;
  }
}

}  // namespace
}  // namespace vesk
