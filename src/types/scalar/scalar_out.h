// Output routines of the built-in scalar types. Each takes a Datum (and some
// the column's type modifier) and returns the server's text for the value in
// a tracked scratch block, or null when the value cannot be printed.
#pragma once

#include <cstdint>

#include "storage/datum.h"

namespace vesk {

char* boolout(Datum d);
char* charout(Datum d);
char* nameout(Datum d);
char* int2out(Datum d);
char* int4out(Datum d);
char* int8out(Datum d);
char* oidout(Datum d);
char* xidout(Datum d);
char* cidout(Datum d);
char* tidout(Datum d);
char* int2vectorout(Datum d);
char* oidvectorout(Datum d);
char* float4out(Datum d);
char* float8out(Datum d);
char* byteaout82(Datum d);
char* byteaout83(Datum d);
char* textout82(Datum d);
char* textout83(Datum d);
char* bpcharout82(Datum d, int32_t typmod);
char* bpcharout83(Datum d, int32_t typmod);
char* varcharout82(Datum d, int32_t typmod);
char* varcharout83(Datum d, int32_t typmod);
char* bit_out82(Datum d, int32_t typmod);
char* bit_out83(Datum d, int32_t typmod);
char* varbit_out82(Datum d, int32_t typmod);
char* varbit_out83(Datum d, int32_t typmod);
char* numeric_out82(Datum d, int32_t typmod);
char* numeric_out83(Datum d, int32_t typmod);
char* cash_out82(Datum d);
char* cash_out83(Datum d);
char* unknownout(Datum d);
char* cstring_out(Datum d);
// "\x" and the hexadecimal digits of a value as stored: a by-value datum's
// `length` bytes, a fixed-length value's `length` bytes, a variable-length
// value's payload (`length` -1). For types whose routine the engine lacks.
char* stored_bytes_out(uint8_t version, int16_t length, bool byValue, Datum d);

// Copy of `text` with a backslash before every backslash and single quote;
// releases `text` (ScratchFree ignores untracked blocks).
char* EscapeQuotes(char* text);

}  // namespace vesk
