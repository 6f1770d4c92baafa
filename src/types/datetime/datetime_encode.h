// ISO-style texts of broken-down times, as the servers print them with
// DateStyle ISO. Zones are given in seconds west of UTC.
#pragma once

#include <cstdint>

#include "types/datetime/date_text.h"
#include "types/datetime/time_fields.h"

namespace vesk {

// "+hh", "+hh:mm" or "+hh:mm:ss" (sign of the UTC offset); a zone of 25
// hours or more is logged and written as the sign and "0".
void EncodeTimezone(DateText& text, int32_t zone);
// "YYYY-MM-DD" or "YYYY-MM-DD BC"; -1 (nothing written) for a month outside
// 1..12.
int EncodeDateOnly(const TimeFields& tm, DateText& text);
// "hh:mm:ss[.fraction][zone]"; -1 (nothing written) when hour is outside
// 0..24, minute or second outside 0..60, or fsec is negative.
int EncodeTimeOnly(const TimeFields& tm, double fsec, const int32_t* zone, DateText& text);
// "YYYY-MM-DD hh:mm:ss[.fraction][zone][ BC]"; the zone is written only when
// tm.isdst >= 0.
void EncodeDateTime(const TimeFields& tm, double fsec, const int32_t* zone, DateText& text);
// Compact interval form: "1 year 2 mons -3 days +04:05:06.50".
void EncodeInterval(const TimeFields& tm, double fsec, DateText& text);
// "infinity" / "-infinity" for the two infinite timestamps; false otherwise.
bool EncodeSpecialTimestamp(double value, DateText& text);
// The integer build's infinities: the least and the greatest int64.
bool EncodeSpecialTimestamp64(int64_t value, DateText& text);

}  // namespace vesk
