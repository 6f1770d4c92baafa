// Element texts as the server prints them inside an array.
#pragma once

#include <cstdint>

#include "storage/datum.h"

namespace vesk {

// The text of a value nested in an array or a row value, as the server
// prints it there: booleans as t and f, 8.2 bit strings as binary digits, no
// literal escaping. A scratch text, or null when it cannot be printed.
char* NestedValueText(uint8_t version, uint32_t typeOid, Datum d, int32_t typmod);

// What NestedValueText gives for a value the column's type in a current
// server cannot hold (an invalid abstime): the array or row value holds a
// NULL in its place rather than being lost whole. Not a scratch block
// (ScratchFree ignores it); compare the pointer.
extern char kNullElementText[];

// Some output routines hand back their text with a backslash before every
// backslash and single quote, ready for a string literal (see
// OutputIsEscaped). Inside an array that escaping is not part of the value:
// this returns the plain text (a fresh scratch block; `text` is released)
// for those element types and `text` unchanged for every other. Null stays
// null.
char* UnescapeElementText(uint8_t version, uint32_t elementType, char* text);

}  // namespace vesk
