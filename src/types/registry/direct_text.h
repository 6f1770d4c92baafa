// The text of the commonest values without their output routine's scratch
// block: integers, floats, numeric, booleans, character strings stored in
// their row, dates and timestamps. The row writer asks for it first and calls
// the routine only when it is refused, so anything unusual (an out-of-line or
// compressed value, a special or damaged one, whatever the routine logs)
// still goes the routine's way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "storage/datum.h"

namespace vesk {

// Room for the texts written into the caller's buffer (the longest is a
// numeric value of a few dozen digits; longer ones are refused).
inline constexpr size_t kDirectTextCapacity = 128;

struct DirectBuffer {
  char bytes[kDirectTextCapacity];
};

// Sets `text` to the value's text, in `buffer` or in the stored bytes
// themselves, and gives true; false, with `text` untouched, when the value
// needs its routine. The text is the value's own: the escaping of the 8.2
// string routines is never applied, and a character string ends at its first
// NUL byte as the routine's text does. Number texts are NUL-terminated.
using DirectTextRoutine = bool (*)(Datum d, int32_t typmod, DirectBuffer& buffer, std::string_view& text);

// The direct form for columns of `typeOid` (not a domain: domains go through
// the catalogs) in a database of layout `version`, or null when it has none.
// Timestamps take the run's date/time storage, floats the run's float text,
// as they are when asked.
DirectTextRoutine FindDirectText(uint8_t version, uint32_t typeOid);

// True when the direct text of `typeOid` is never anything but letters,
// digits, blanks and the signs of dates and numbers (booleans, dates,
// timestamps): it can be quoted without a look for quotes or backslashes.
bool DirectTextIsPlain(uint32_t typeOid);

}  // namespace vesk
