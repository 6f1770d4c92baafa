// Stored date/time values to broken-down fields. Every conversion refuses
// (returns -1) rather than store a quotient that does not fit its field, so
// NaN or absurd stored doubles never reach the encoders.
#pragma once

#include <cstdint>

#include "types/datetime/time_fields.h"

namespace vesk {

// Gregorian date of a Julian day number; wraps like the servers' unsigned
// arithmetic, so any input gives a month 1..12.
void j2date(uint32_t julian, int32_t& year, int32_t& month, int32_t& day);

// Seconds since 2000-01-01 (finite) to fields and microsecond-rounded fsec.
// With `wantZone` the fields describe UTC (isdst 0, offset 0) so the encoder
// writes "+00"; without it isdst is -1. -1 when the day is out of range.
int timestamp2tm(double value, bool wantZone, TimeFields& tm, double& fsec);

// Seconds since midnight to hour/min/sec and fsec rounded to 10 places.
int time2tm(double value, TimeFields& tm, double& fsec);

// Interval (time part, days, months) to fields; fsec carries the sign of
// the time part.
int interval2tm(double time, int32_t days, int32_t months, TimeFields& tm, double& fsec);

// The same three for a server built with integer date/time storage: int64
// microseconds instead of float8 seconds, split with integer division as
// that build does. fsec is still handed on in seconds (the whole
// microseconds divided by a million), which the encoders print to the same
// digits the integer build prints. -1 when a field does not fit.
int timestamp2tm_int64(int64_t value, bool wantZone, TimeFields& tm, double& fsec);
int time2tm_int64(int64_t value, TimeFields& tm, double& fsec);
int interval2tm_int64(int64_t time, int32_t days, int32_t months, TimeFields& tm, double& fsec);

// abstime (seconds since 1970) to UTC fields with isdst 0; `zoneOffset` is
// seconds west (0).
void abstime2tm(int32_t value, TimeFields& tm, int32_t& zoneOffset);

// reltime seconds to years (365.25 days), months (30 days), days and clock.
void reltime2tm(int32_t value, TimeFields& tm);

}  // namespace vesk
