// Output routines of the types 8.3 brought along: uuid, the text search
// types tsvector and tsquery, and enum values. 8.3 layout only.
#pragma once

#include "storage/datum.h"

namespace vesk {

// 16 bytes by reference: lower-case hex groups 8-4-4-4-12.
char* uuid_out(Datum d);
// Sorted lexemes in single quotes ('' and \\ doubled), each followed by
// ":pos[weight],..." when positions are stored.
char* tsvectorout(Datum d);
// The stored prefix-order tree printed infix: 'a' & 'b', 'a' | 'b', !'a',
// with parentheses where the server puts them; weights after ':'.
char* tsqueryout(Datum d);
// The label of the pg_enum row whose OID the value is, or null (logged).
char* enum_out(Datum d);

}  // namespace vesk
