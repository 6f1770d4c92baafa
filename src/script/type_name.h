// Naming a column's type the way the server spells it in a table definition,
// modifiers (lengths, precisions, interval fields) included.
#pragma once

#include <cstdint>
#include <string>

#include "catalog/type_record.h"

namespace vesk {

// The SQL type name of `typeOid` with modifier `typmod` (-1: none) in a new
// scratch block the caller frees with ScratchFree, or null when the type
// cannot be named (unknown OID, unknown array element, invalid modifier).
// Domains are named by their base type; enum and composite types by their
// own name once the script has created them (user_types.h), else as text,
// since a definition naming a type the script lacks would not load.
char* FormatTypeName(uint32_t typeOid, int32_t typmod);

// The same into `out`; false (and `out` unspecified) when it cannot be named.
bool AppendTypeName(std::string& out, uint32_t typeOid, int32_t typmod);

// " year to month" and the like for an interval modifier's field mask; empty
// for all fields and, after a log line, for a mask the server never writes.
const char* IntervalFieldText(int32_t typmod);

// "schema"."name" when the type's schema is one the script recreates, else
// "name".
void AppendQualifiedTypeName(std::string& out, const TypeRecord& type);

// A variable-length type with an element type and not a domain: an array.
bool IsArrayTypeRecord(const TypeRecord& type);

}  // namespace vesk
