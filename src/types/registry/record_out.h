// Composite (row) values: the stored form is a variable-length value whose
// header overlays a tuple header of the database's layout (length, type
// modifier and type OID in place of the transaction fields), followed by the
// attributes of the type's relation.
#pragma once

#include <cstdint>
#include <string>

#include "catalog/type_record.h"
#include "storage/datum.h"

namespace vesk {

// The value printed as the server's record output does, "(v1,v2)": fields
// of dropped columns left out, null fields empty, each field quoted when
// AppendRecordField says so. A scratch text, or null (logged) when the
// value, its columns or one of its fields cannot be read; a damaged field
// never passes for a null one.
char* record_out(uint8_t version, const TypeRecord& type, Datum d);

// Appends `text` as one field: in double quotes, with every double quote
// and backslash doubled, when it is empty or holds a double quote,
// backslash, parenthesis, comma or white space; else as it is.
void AppendRecordField(std::string& out, const char* text);

}  // namespace vesk
