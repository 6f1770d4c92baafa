#include <cstring>
#include <string>

#include "catalog/catalog_readers.h"
#include "support/recovery_run.h"

namespace vesk {

std::unique_ptr<TableReader> OpenRelationById(uint32_t relid, pg_some_Table* owner, uint8_t version) {
  std::unique_ptr<TableReader> reader = MakeBareReader(version, owner);
  RecoveryRun& run = Run();
  if (run.types == nullptr || run.classes == nullptr || run.attributes == nullptr) return reader;

  const TypeRecord* type = run.types->LookupTypeByRelid(relid);
  if (type == nullptr) return reader;
  reader->typeRecord = type;
  const RecoveredTable* table = run.classes->FindTableByType(type->oid);
  if (table == nullptr) return reader;
  reader->classRecord = table;

  // The file is named by relfilenode, which differs from the OID once the
  // table has been rewritten.
  reader->path = run.databaseDirectory + std::to_string(table->relfilenode);
  std::memcpy(reader->tableName, type->typname, sizeof reader->tableName);
  reader->tableName[sizeof reader->tableName - 1] = '\0';
  reader->columnLimit = run.attributes->CollectColumns(relid, reader->columns);
  return reader;
}

}  // namespace vesk
