// UTC calendar conversion with the leap-second records of the compiled zone
// file "adds/Greenwich" below the module directory (TZif, version 1 body),
// or a built-in leap-free "GMT" zone when that file is missing or malformed.
#pragma once

#include <cstdint>

namespace vesk {

inline constexpr int kMaxLeaps = 50;
inline constexpr int kMaxTimes = 370;
inline constexpr int kMaxTypes = 256;
inline constexpr int kMaxFileChars = 50;
inline constexpr int kMaxChars = 512;

struct ZoneType {
  int32_t gmtoff = 0;  // seconds east of UTC
  int32_t isdst = 0;
  int32_t abbrind = 0;  // index into ZoneState::chars
  int32_t ttisstd = 0;
  int32_t ttisgmt = 0;
};

struct LeapRecord {
  int32_t trans = 0;  // first instant the correction applies to
  int32_t corr = 0;   // total correction in seconds from then on
};

struct ZoneState {
  int32_t leapcnt = 0;
  int32_t timecnt = 0;
  int32_t typecnt = 0;
  int32_t charcnt = 0;
  int32_t ats[kMaxTimes] = {};
  uint8_t types[kMaxTimes] = {};
  ZoneType ttis[kMaxTypes] = {};
  char chars[kMaxChars] = {};
  LeapRecord lsis[kMaxLeaps] = {};
};

// Broken-down time in the C library's conventions.
struct CalendarFields {
  int32_t sec = 0;
  int32_t min = 0;
  int32_t hour = 0;
  int32_t mday = 0;  // 1-based
  int32_t mon = 0;   // 0..11
  int32_t year = 0;  // years since 1900
  int32_t wday = 0;  // 0 = Sunday
  int32_t yday = 0;  // 0-based
  int32_t isdst = 0;
  int32_t gmtoff = 0;
  const char* zone = nullptr;
};

// Fills `state` from the zone file (the requested name is not used: there is
// one file). 0, or -1 when the file is missing, short or inconsistent; fields
// read before an inconsistency stay in place.
int LoadZoneFile(const char* name, ZoneState& state);
// Last-ditch mode only: a zone named `name` at offset 0 with no daylight
// time, keeping the file's leap records when the file loads. -1 otherwise.
int ParseZoneString(const char* name, ZoneState& state, bool lastDitch);
// Calendar fields of `t` seconds since 1970 at `offset` seconds east,
// corrected by the leap records of `state`.
void SecondsToCalendar(int32_t t, int32_t offset, const ZoneState& state, CalendarFields& out);
// The UTC calendar fields of `t`, in one shared record that the next call
// overwrites. Loads the zone data on the first call of the process.
const CalendarFields* pg_gmtime(int32_t t);

// Tests only: forgets the loaded zone so the next pg_gmtime loads it again.
void ResetUtcZoneForTest();

}  // namespace vesk
