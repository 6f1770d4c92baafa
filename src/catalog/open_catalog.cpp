#include "catalog/open_catalog.h"

#include <cstring>
#include <span>
#include <string>

#include "catalog/catalog_readers.h"
#include "support/logger.h"
#include "support/recovery_run.h"

namespace vesk {
namespace {

// Decoding reads each value by the width, passing and alignment of its
// column: a description that differs in any of them misplaces every value
// behind it.
bool MatchesLayout(const TableReader& reader, std::span<CatalogColumnDesc> expected) {
  const auto& columns = reader.columns;
  if (reader.columnLimit >= 0 || columns.size() < expected.size()) return false;
  for (size_t i = 0; i < expected.size(); ++i) {
    const CatalogColumnDesc& have = *columns[i];
    const CatalogColumnDesc& want = expected[i];
    if (have.attnum != want.attnum || have.attlen != want.attlen || have.attbyval != want.attbyval ||
        have.attalign != want.attalign) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::unique_ptr<TableReader> OpenCatalogRelation(uint32_t relid, pg_some_Table* owner, uint8_t version,
                                                 const char* tableName) {
  std::unique_ptr<TableReader> reader = OpenRelationById(relid, owner, version);
  if (reader->path.empty()) reader->path = Run().databaseDirectory + std::to_string(relid);
  std::memset(reader->tableName, 0, sizeof reader->tableName);
  std::strncpy(reader->tableName, tableName, sizeof reader->tableName - 1);
  reader->cacheRows = false;
  return reader;
}

std::unique_ptr<TableReader> OpenFixedLayoutRelation(uint32_t relid, StaticCatalog layout, pg_some_Table* owner,
                                                     uint8_t version, const char* tableName) {
  std::unique_ptr<TableReader> reader = OpenCatalogRelation(relid, owner, version, tableName);
  const std::span<CatalogColumnDesc> expected = StaticColumns(layout);
  if (!MatchesLayout(*reader, expected)) {
    LogValue("No usable description of the columns, using the built-in one:", tableName);
    FillStaticColumns(reader->columns, layout);
    reader->columnLimit = -1;
  }
  return reader;
}

}  // namespace vesk
