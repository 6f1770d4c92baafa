#include "types/datetime/datetime_convert.h"

#include <cmath>
#include <cstring>

#include "support/logger.h"
#include "types/datetime/zone_rules.h"

namespace vesk {
namespace {

constexpr size_t kMaxZoneName = 10;

// Splits one clock unit off `t` into a 32-bit field; false when the quotient
// does not fit (NaN included).
bool SplitField(double& t, double unit, int32_t& field) {
  double q = t < 0 ? std::ceil(t / unit) : std::floor(t / unit);
  if (!FitsInt32(q)) return false;
  field = static_cast<int32_t>(q);
  if (field != 0) t -= RoundHalfEven(field * unit);
  return true;
}

// Hour, minute, second and microsecond-rounded fraction of a time of day in
// [0, 86400].
void SplitDayTime(double time, TimeFields& tm, double& fsec) {
  tm.hour = static_cast<int32_t>(time / kSecondsPerHour);
  time -= tm.hour * kSecondsPerHour;
  tm.min = static_cast<int32_t>(time / kSecondsPerMinute);
  time -= tm.min * kSecondsPerMinute;
  tm.sec = static_cast<int32_t>(time);
  fsec = RoundHalfEven((time - tm.sec) * kMicroseconds) / kMicroseconds;
}

// Quotient of `t` by `unit` (truncated) into a 32-bit field, the remainder
// left in `t`; false when the quotient does not fit.
bool SplitField64(int64_t& t, int64_t unit, int32_t& field) {
  const int64_t q = t / unit;
  if (q < INT32_MIN || q > INT32_MAX) return false;
  field = static_cast<int32_t>(q);
  t -= q * unit;
  return true;
}

// Hour, minute, second and fraction of a clock time counted in microseconds.
bool SplitClock64(int64_t t, TimeFields& tm, double& fsec) {
  if (!SplitField64(t, kUsecsPerHour, tm.hour) || !SplitField64(t, kUsecsPerMinute, tm.min) ||
      !SplitField64(t, kUsecsPerSecond, tm.sec)) {
    return false;
  }
  fsec = static_cast<double>(t) / kMicroseconds;
  return true;
}

}  // namespace

void j2date(uint32_t julian, int32_t& year, int32_t& month, int32_t& day) {
  uint32_t j = julian + 32044u;
  uint32_t quad = j / 146097u;
  uint32_t extra = (j - quad * 146097u) * 4u + 3u;
  j += 60u + quad * 3u + extra / 146097u;
  quad = j / 1461u;
  j -= quad * 1461u;
  uint32_t y = j * 4u / 1461u;
  j = (y != 0 ? (j + 305u) % 365u : (j + 306u) % 366u) + 123u;
  y += quad * 4u;
  year = static_cast<int32_t>(y - 4800u);
  quad = j * 2141u / 65536u;
  day = static_cast<int32_t>(j - 7834u * quad / 256u);
  month = static_cast<int32_t>((quad + 10u) % 12u + 1u);
}

int timestamp2tm(double value, bool wantZone, TimeFields& tm, double& fsec) {
  if (!std::isfinite(value)) return -1;
  double time = value;
  double date = SplitUnit(time, kSecondsPerDay);
  if (time < 0) {
    time += kSecondsPerDay;
    date -= 1;
  }
  date += kJulianOf2000;
  // A carry into the next day happens at most once: after it the time is 0.
  for (int pass = 0; pass < 2; ++pass) {
    if (date < 0 || date > 2147483647.0) return -1;
    j2date(static_cast<uint32_t>(date), tm.year, tm.mon, tm.mday);
    SplitDayTime(time, tm, fsec);
    if (fsec >= 1.0) {
      // Rounding reached the next second: redo from the whole second.
      time = std::ceil(time);
      if (time >= kSecondsPerDay) {
        time = 0;
        date += 1;
        continue;
      }
      SplitDayTime(time, tm, fsec);
    }
    tm.isdst = wantZone ? 0 : -1;
    tm.gmtoff = 0;
    tm.zone = nullptr;
    return 0;
  }
  return -1;
}

int time2tm(double value, TimeFields& tm, double& fsec) {
  // After one carry the value is whole, so a second pass never carries.
  for (int pass = 0; pass < 2; ++pass) {
    double t = value;
    if (!SplitField(t, kSecondsPerHour, tm.hour) || !SplitField(t, kSecondsPerMinute, tm.min) ||
        !SplitField(t, 1.0, tm.sec)) {
      return -1;
    }
    t = RoundHalfEven(t * kTimePrecision) / kTimePrecision;
    if (t >= 1.0) {
      value = std::ceil(value);
      continue;
    }
    fsec = t;
    tm.isdst = -1;
    return 0;
  }
  return -1;
}

int interval2tm(double time, int32_t days, int32_t months, TimeFields& tm, double& fsec) {
  tm.year = months / 12;
  tm.mon = months % 12;
  tm.mday = days;
  for (int pass = 0; pass < 2; ++pass) {
    double t = time;
    if (!SplitField(t, kSecondsPerHour, tm.hour) || !SplitField(t, kSecondsPerMinute, tm.min) ||
        !SplitField(t, 1.0, tm.sec)) {
      return -1;
    }
    t = RoundHalfEven(t * kMicroseconds) / kMicroseconds;
    if (t >= 1.0) {
      time = std::ceil(time);
      continue;
    }
    fsec = t;
    return 0;
  }
  return -1;
}

int timestamp2tm_int64(int64_t value, bool wantZone, TimeFields& tm, double& fsec) {
  int64_t date = value / kUsecsPerDay;
  int64_t time = value - date * kUsecsPerDay;
  if (time < 0) {
    time += kUsecsPerDay;
    date -= 1;
  }
  date += kJulianOf2000;
  if (date < 0 || date > INT32_MAX) return -1;
  j2date(static_cast<uint32_t>(date), tm.year, tm.mon, tm.mday);
  if (!SplitClock64(time, tm, fsec)) return -1;
  tm.isdst = wantZone ? 0 : -1;
  tm.gmtoff = 0;
  tm.zone = nullptr;
  return 0;
}

int time2tm_int64(int64_t value, TimeFields& tm, double& fsec) {
  if (!SplitClock64(value, tm, fsec)) return -1;
  tm.isdst = -1;
  return 0;
}

int interval2tm_int64(int64_t time, int32_t days, int32_t months, TimeFields& tm, double& fsec) {
  tm.year = months / 12;
  tm.mon = months % 12;
  tm.mday = days;
  return SplitClock64(time, tm, fsec) ? 0 : -1;
}

void abstime2tm(int32_t value, TimeFields& tm, int32_t& zoneOffset) {
  const CalendarFields& c = *pg_gmtime(value);
  tm.year = c.year + 1900;
  tm.mon = c.mon + 1;
  tm.mday = c.mday;
  tm.hour = c.hour;
  tm.min = c.min;
  tm.sec = c.sec;
  tm.isdst = c.isdst;
  tm.gmtoff = c.gmtoff;
  tm.zone = c.zone;
  zoneOffset = -c.gmtoff;
  if (c.zone && std::strlen(c.zone) > kMaxZoneName) LogFormat("invalid time zone name: \"%s\"", c.zone);
}

void reltime2tm(int32_t value, TimeFields& tm) {
  double d = value;
  // The products stay within 32 bits for any 32-bit value.
  auto split = [&d](int64_t unit) {
    double q = d < 0 ? std::ceil(d / static_cast<double>(unit)) : std::floor(d / static_cast<double>(unit));
    int64_t n = static_cast<int64_t>(q);
    if (n != 0) d -= static_cast<double>(n * unit);
    return static_cast<int32_t>(n);
  };
  tm.year = split(31557600);
  tm.mon = split(2592000);
  tm.mday = split(86400);
  tm.hour = split(3600);
  tm.min = split(60);
  tm.sec = split(1);
}

}  // namespace vesk
