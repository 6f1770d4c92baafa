// The relations that keys, checks, indexes and views belong to, as the
// script knows them: which tables it created, the names it gave them and
// the columns it defined.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "catalog/recovered_table.h"
#include "storage/column_desc.h"

namespace vesk {

class ObjectRelations {
 public:
  // Indexes the pg_class rows of the run (the first row of each OID).
  ObjectRelations();

  const RecoveredTable* Find(uint32_t oid) const;
  // An ordinary user table with a known row type: one the script created.
  bool IsRecreatedTable(const RecoveredTable& table) const;
  // The table or view `oid` when it is a recreated table, else null.
  const RecoveredTable* RecreatedTable(uint32_t oid) const;
  // "schema"."name" as the script spelt it (just "name" in a schema the
  // script does not create).
  std::string QualifiedName(const RecoveredTable& table) const;
  // The schema's name as the script gives it, or null.
  const char* SchemaName(uint32_t namespaceOid) const;

  // The column `attnum` of `relid` when the script defined it (not dropped,
  // its type nameable), else null.
  const CatalogColumnDesc* Column(uint32_t relid, int16_t attnum);
  // The columns of `relid` as its definition lists them.
  const std::vector<CatalogColumnDesc*>& Columns(uint32_t relid);
  // The quoted names of `attnums`; false when one is not a defined column.
  bool QuotedColumns(uint32_t relid, const std::vector<int16_t>& attnums, std::vector<std::string>& out);

  // "name" of `relid` for a comment line.
  std::string CommentName(uint32_t relid) const;

 private:
  std::unordered_map<uint32_t, const RecoveredTable*> byOid_;
  std::unordered_map<uint32_t, std::vector<CatalogColumnDesc*>> columns_;
};

}  // namespace vesk
