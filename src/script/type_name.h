// Naming a column's type the way the server spells it in a table definition,
// modifiers (lengths, precisions, interval fields) included.
#pragma once

#include <cstdint>
#include <string>

namespace vesk {

// The SQL type name of `typeOid` with modifier `typmod` (-1: none) in a new
// scratch block the caller frees with ScratchFree, or null when the type
// cannot be named (unknown OID, unknown array element, invalid modifier).
// Domains are named by their base type and composite or enum types as text,
// since the script creates neither and a definition naming them would not load.
char* FormatTypeName(uint32_t typeOid, int32_t typmod);

// The same into `out`; false (and `out` unspecified) when it cannot be named.
bool AppendTypeName(std::string& out, uint32_t typeOid, int32_t typmod);

// " year to month" and the like for an interval modifier's field mask; empty
// for all fields and, after a log line, for a mask the server never writes.
const char* IntervalFieldText(int32_t typmod);

}  // namespace vesk
