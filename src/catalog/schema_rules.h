// Which pg_namespace rows become user schemas, and the names they get.
#pragma once

#include <cstdint>

#include "catalog/recovered_table.h"

namespace vesk {

// True for the schemas every database has from initdb: pg_catalog, pg_toast,
// the information schema and the temporary schemas initdb left behind, in
// either layout. Those are never recreated.
bool IsInitdbSchema(uint32_t oid, const char* nspname);

// True for the schemas of temporary tables, pg_temp_N and pg_toast_temp_N,
// whatever their OID: their tables belonged to sessions long gone.
bool IsTemporarySchemaName(const char* nspname);

// True for public and for the schemas users made: there a table named like
// a catalog ("pg_x", "sql_data") is the user's data, not a catalog.
bool IsUserSchemaOid(uint32_t oid);
// Tables whose name begins with "pg_" or "sql_" (case-sensitive) outside
// the users' schemas are the system's own and never recovered.
bool IsSystemTable(const RecoveredTable& table);
// A name beginning with "pg_" is reserved on every server: the first
// character becomes '_'. True when the name was changed.
bool RenameReservedSchema(char* nspname);

// Text safe inside a "--" comment line: control characters become '?', so
// a damaged or odd name cannot end the comment and leak into the script.
void WriteCommentSafe(char* out, const char* text, unsigned size);

}  // namespace vesk
