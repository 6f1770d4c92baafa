// Text whose bytes no server checked (a SQL_ASCII database) on its way into
// a script that says it is UTF-8: valid UTF-8 goes as it is, anything else
// is read as LATIN1, where every byte is a character and none is lost (the
// original bytes come back through convert_to(value, 'LATIN1')).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vesk {

// Whether `text` is UTF-8 as a current server accepts it: shortest forms
// only, no surrogates, nothing beyond U+10FFFF. (NUL bytes are not looked
// for: no value holds one.)
bool IsValidUtf8(std::string_view text);
// Appends `bytes` read as LATIN1, in UTF-8.
void AppendLatin1AsUtf8(std::string& out, std::string_view bytes);
// When text[from..] is not valid UTF-8, rewrites all of it as LATIN1 and
// returns true (one reading for a whole value, never a mix).
bool RepairValue(std::string& text, size_t from);
// `text` with every byte that does not belong to a valid UTF-8 sequence read
// as LATIN1; valid sequences stay. For statement text (names), where one
// bad name must not change the reading of the rest.
std::string RepairBytes(std::string_view text);

}  // namespace vesk
