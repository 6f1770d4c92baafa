// Element texts of 8.2 arrays as the server prints them.
#pragma once

#include <cstdint>

namespace vesk {

// The 8.2 routines of the text-like types (text, bpchar, varchar, unknown,
// cstring, numeric) hand back their text with a backslash before every
// backslash and single quote, ready for an 8.2 string literal. Inside an
// array that escaping is not part of the value: this returns the plain text
// (a fresh scratch block; `text` is released) for those element types and
// `text` unchanged for every other. Null stays null.
char* UnescapeElementText82(uint32_t elementType, char* text);

}  // namespace vesk
