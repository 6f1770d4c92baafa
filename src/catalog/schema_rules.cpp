#include "catalog/schema_rules.h"

#include <cctype>
#include <cstring>

namespace vesk {
namespace {

// OIDs below this are assigned by initdb; user objects start here.
constexpr uint32_t kFirstNormalOid = 16384;

// The public schema, made by initdb but the users' own.
constexpr uint32_t kPublicSchema = 2200;

// pg_catalog, pg_toast, and the 8.2 pg_temp_1 and information_schema.
constexpr uint32_t kFixedSystemSchemas[] = {11, 99, 10406, 10621};

// "prefix" followed by one or more digits and nothing else.
bool IsNumbered(const char* name, const char* prefix) {
  size_t n = std::strlen(prefix);
  if (std::strncmp(name, prefix, n) != 0 || name[n] == '\0') return false;
  for (const char* p = name + n; *p; ++p) {
    if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
  }
  return true;
}

}  // namespace

bool IsInitdbSchema(uint32_t oid, const char* nspname) {
  for (uint32_t fixed : kFixedSystemSchemas) {
    if (oid == fixed) return true;
  }
  if (oid >= kFirstNormalOid) return false;
  return std::strcmp(nspname, "information_schema") == 0 || IsTemporarySchemaName(nspname);
}

bool IsTemporarySchemaName(const char* nspname) {
  return IsNumbered(nspname, "pg_temp_") || IsNumbered(nspname, "pg_toast_temp_");
}

bool IsUserSchemaOid(uint32_t oid) { return oid == kPublicSchema || oid >= kFirstNormalOid; }

bool IsSystemTable(const RecoveredTable& table) {
  // The prefixes mark the server's own catalogs, and those live in the
  // schemas initdb made. A user's "sql_data" in public or in a schema of its
  // own is data; a table whose schema is unknown is judged by name alone.
  if (IsUserSchemaOid(table.relnamespace)) return false;
  return std::strncmp(table.relname, "pg_", 3) == 0 || std::strncmp(table.relname, "sql_", 4) == 0;
}

bool RenameReservedSchema(char* nspname) {
  if (std::strncmp(nspname, "pg_", 3) != 0) return false;
  nspname[0] = '_';
  return true;
}

void WriteCommentSafe(char* out, const char* text, unsigned size) {
  if (size == 0) return;
  unsigned i = 0;
  for (; i + 1 < size && text[i] != '\0'; ++i) {
    out[i] = static_cast<unsigned char>(text[i]) < 0x20 ? '?' : text[i];
  }
  out[i] = '\0';
}

}  // namespace vesk
