// Broken-down time shared by the date/time conversions and encoders, and the
// rounding and unit splitting they all use.
#pragma once

#include <cmath>
#include <cstdint>

namespace vesk {

inline constexpr int32_t kJulianOf2000 = 2451545;  // Julian day of 2000-01-01
inline constexpr double kSecondsPerDay = 86400.0;
inline constexpr double kSecondsPerHour = 3600.0;
inline constexpr double kSecondsPerMinute = 60.0;
inline constexpr double kMicroseconds = 1000000.0;    // timestamps, intervals
inline constexpr double kTimePrecision = 10000000000.0;  // time, timetz
inline constexpr int64_t kUsecsPerSecond = 1000000;
inline constexpr int64_t kUsecsPerMinute = 60 * kUsecsPerSecond;
inline constexpr int64_t kUsecsPerHour = 60 * kUsecsPerMinute;
inline constexpr int64_t kUsecsPerDay = 24 * kUsecsPerHour;

struct TimeFields {
  int32_t sec = 0;   // 0..60
  int32_t min = 0;
  int32_t hour = 0;
  int32_t mday = 0;  // 1-based
  int32_t mon = 0;   // 1..12
  int32_t year = 0;  // astronomical: 0 is 1 BC
  int32_t wday = 0;
  int32_t yday = 0;
  int32_t isdst = -1;  // -1: no zone information, so no zone suffix
  int32_t gmtoff = 0;  // seconds east of UTC
  const char* zone = nullptr;
};

// Nearest integral value, halves to even: the rounding of the servers whose
// texts we reproduce (their rint in the default rounding mode), so that a
// fraction that lands exactly on a half prints as they printed it.
inline double RoundHalfEven(double x) {
  double n = std::trunc(x);
  double f = x - n;
  if (f > 0.5 || (f == 0.5 && std::fmod(n, 2.0) != 0.0)) return n + 1.0;
  if (f < -0.5 || (f == -0.5 && std::fmod(n, 2.0) != 0.0)) return n - 1.0;
  return n;
}

// Quotient of t by unit u, toward zero, leaving the remainder (with the sign
// of t) in t.
inline double SplitUnit(double& t, double u) {
  double q = t < 0 ? std::ceil(t / u) : std::floor(t / u);
  if (q != 0) t -= RoundHalfEven(q * u);
  return q;
}

// True when a quotient can be stored in a 32-bit field.
inline bool FitsInt32(double q) { return q > -2147483649.0 && q < 2147483648.0; }

}  // namespace vesk
