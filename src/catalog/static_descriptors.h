// Column descriptions of the catalogs whose rows must be decoded before any
// pg_attribute row is known: pg_class, pg_attribute and pg_type (two
// layouts), as the server's bootstrap declares them; and pg_namespace and
// pg_enum, for when their own pg_attribute rows are lost; and the cluster's
// shared pg_database, which no database's pg_attribute describes. The tables are
// process-wide and never reset: the decoder memoises attcacheoff in them.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "storage/column_desc.h"

namespace vesk {

enum class StaticCatalog {
  kPgClass,
  kPgAttribute,
  kPgType82,
  kPgType83,
  kPgNamespace,
  kPgEnum,
  kPgDatabase,
  kPgAttrdef,
  kPgDepend,
  kPgInherits,
  kSequenceRow,  // the one row of every sequence relation
};

inline constexpr size_t kPgClassColumnCount = 27;
inline constexpr size_t kPgAttributeColumnCount = 17;
inline constexpr size_t kPgType82ColumnCount = 23;
inline constexpr size_t kPgType83ColumnCount = 26;
inline constexpr size_t kPgNamespaceColumnCount = 3;  // the same in both layouts
inline constexpr size_t kPgEnumColumnCount = 2;       // 8.3 only
inline constexpr size_t kPgDatabaseColumnCount = 11;  // the same in both layouts
inline constexpr size_t kPgAttrdefColumnCount = 4;    // the same in both layouts
inline constexpr size_t kPgDependColumnCount = 7;     // the same in both layouts
inline constexpr size_t kPgInheritsColumnCount = 3;   // the same in both layouts
inline constexpr size_t kSequenceRowColumnCount = 9;  // the same in both layouts

CatalogColumnDesc* PgClassColumns();      // 27 entries, attrelid 1259
CatalogColumnDesc* PgAttributeColumns();  // 17 entries, attrelid 1249
CatalogColumnDesc* PgType82Columns();     // 23 entries, attrelid 1247
CatalogColumnDesc* PgType83Columns();     // 26 entries, attrelid 1247

std::span<CatalogColumnDesc> StaticColumns(StaticCatalog which);
// The pg_type table of a layout version (83: 8.3, anything else: 8.2).
StaticCatalog PgTypeCatalog(int version);
// Replaces `columns` with pointers to the entries of the table, in order.
void FillStaticColumns(std::vector<CatalogColumnDesc*>& columns, StaticCatalog which);

}  // namespace vesk
