// Output routines of the date and time types (ISO style), for either
// storage of the server build: float8 seconds or int64 microseconds, as the
// run's settings say.
#pragma once

#include <cstddef>
#include <cstdint>

#include "storage/datum.h"

namespace vesk {

char* date_out(Datum d);
char* time_out(Datum d, int32_t typmod);
char* timetz_out(Datum d, int32_t typmod);
char* timestamp_out(Datum d, int32_t typmod);
char* timestamptz_out(Datum d, int32_t typmod);
char* interval_out(Datum d, int32_t typmod);
char* abstime_out(Datum d);
char* reltime_out(Datum d);
char* tinterval_out(Datum d);

// The cores of date_out and timestamp(tz)_out, appending to a caller's text
// (no scratch memory, no log line). EncodeTimestamp takes finite values only
// (the routine prints infinity itself) and gives false, with the text
// unusable, for one out of range.
class DateText;
void EncodeDate(Datum d, DateText& text);
bool EncodeTimestamp(double value, bool withZone, DateText& text);
// The text EncodeTimestamp gives for a whole second of years 1 to 9999,
// NUL-terminated in `buffer` (kWholeSecondsCapacity bytes); its length, or 0
// for any other value.
inline constexpr size_t kWholeSecondsCapacity = 24;
size_t WholeSecondsText(double value, bool withZone, char* buffer);
// EncodeTimestamp without its shortcut for whole seconds: the fields one by
// one, for any finite value.
bool EncodeTimestampFields(double value, bool withZone, DateText& text);

// The same three for a value stored as int64 microseconds (not one of the
// two infinities).
bool EncodeTimestamp64(int64_t value, bool withZone, DateText& text);
size_t WholeSecondsText64(int64_t value, bool withZone, char* buffer);
bool EncodeTimestampFields64(int64_t value, bool withZone, DateText& text);

}  // namespace vesk
