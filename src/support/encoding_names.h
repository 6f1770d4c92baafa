// The server encodings of 8.2 and 8.3 databases: the numbers pg_database
// stores (pg_wchar.h order, which differs between the two at number 5) and
// the names a current server takes in SET client_encoding.
#pragma once

#include <cstdint>

namespace vesk {

inline constexpr int32_t kEncodingSqlAscii = 0;
inline constexpr int32_t kEncodingUtf8 = 6;  // the same in 8.2 and 8.3

// The name of server encoding `number` of a layout (82 or 83), or null when
// the number names no server encoding of that release.
const char* EncodingName(uint8_t version, int32_t number);
// The number of the encoding called `name` in a layout (case, '-' and '_'
// ignored: "latin1", "UTF-8", "sql_ascii"), or -1 when it is unknown there.
int32_t EncodingNumber(uint8_t version, const char* name);
// The name a server gives the encoding called `name` (server encodings of
// either release and the client-only ones such as SJIS), or null.
const char* CanonicalEncodingName(const char* name);

}  // namespace vesk
