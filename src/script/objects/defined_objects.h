// What the script has created by the time the objects after the data are
// written: the user tables whose definitions Pass 2 wrote, with their names
// and written columns, and the pg_class rows by OID, gathered once per run
// so that no object costs a walk of the catalogs. A table counts only when
// its definition was written: one without a nameable column, or a script of
// data only, gets no keys, checks, indexes, defaults or links.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "catalog/recovered_table.h"
#include "storage/column_desc.h"

namespace vesk {

// "schema"."name", or "name" alone for a table without a known schema.
std::string QualifiedName(const std::string& schema, const char* name);
// Text safe on a "--" comment line: a control character (a line break in a
// damaged name or a default's text) would end the comment and leak the rest
// into the script, so each becomes '?'.
std::string CommentSafe(const std::string& text);

class DefinedObjects {
 public:
  // Gathers from the run: its defined tables, pg_class and pg_attribute.
  DefinedObjects();

  // The script's name of table `oid`, or null when the script did not create it.
  const std::string* TableName(uint32_t oid) const;
  // The column `attnum` of table `oid` as the definition wrote it, or null
  // (no such table or column, dropped, or left out for want of a type).
  const CatalogColumnDesc* Column(uint32_t oid, int32_t attnum) const;
  // The written columns of table `oid` by attnum.
  const std::map<int16_t, const CatalogColumnDesc*>* Columns(uint32_t oid) const;
  // The first pg_class row of `oid`, or null.
  const RecoveredTable* ClassRow(uint32_t oid) const;
  // The pg_class row of table `oid` when the script created it, else null.
  const RecoveredTable* Table(uint32_t oid) const;
  // The quoted names of `attnums` of table `oid`; false when one is not a
  // written column (or there is none).
  bool QuotedColumns(uint32_t oid, const std::vector<int16_t>& attnums, std::vector<std::string>& out) const;
  // schema.name of relation `oid` as pg_class has it, for a comment line.
  std::string CommentName(uint32_t oid) const;
  // The name the script gives schema `oid`, or null for one it does not create.
  const char* SchemaName(uint32_t oid) const;

 private:
  std::unordered_map<uint32_t, std::string> tables_;
  std::unordered_map<uint32_t, std::map<int16_t, const CatalogColumnDesc*>> columns_;
  std::unordered_map<uint32_t, const RecoveredTable*> classes_;
};

}  // namespace vesk
