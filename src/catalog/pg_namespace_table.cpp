#include <cstring>
#include <string>
#include <vector>

#include "catalog/catalog_readers.h"
#include "catalog/catalog_values.h"
#include "catalog/schema_rules.h"
#include "script/writer/script_writer.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/scratch.h"

namespace vesk {
namespace {

void WriteSchemaStatements(const char* nspname) {
  char comment[kNameSize];
  WriteCommentSafe(comment, nspname, sizeof comment);
  WriteScript("-- Schema: %s\n\n", comment);
  WriteScript("CREATE SCHEMA %s;\n\n", QuoteName(nspname).c_str());
  ++Run().schemasRecovered;
}

constexpr uint32_t kNamespaceRelid = 2615;

// nspname, nspowner, nspacl: the same in both layouts.
std::vector<CatalogColumnDesc*> BuiltinNamespaceColumns() {
  static CatalogColumnDesc columns[3] = {};
  static bool filled = false;
  if (!filled) {
    const struct {
      const char* name;
      uint32_t typid;
      int16_t len;
      bool byval;
      char storage;
      int32_t ndims;
    } rows[3] = {{"nspname", 19, 64, false, 'p', 0}, {"nspowner", 26, 4, true, 'p', 0},
                 {"nspacl", 1034, -1, false, 'x', 1}};
    for (int i = 0; i < 3; ++i) {
      CatalogColumnDesc& c = columns[i];
      c.attrelid = kNamespaceRelid;
      std::strncpy(c.attname, rows[i].name, sizeof c.attname - 1);
      c.atttypid = rows[i].typid;
      c.attlen = rows[i].len;
      c.attnum = static_cast<int16_t>(i + 1);
      c.attndims = rows[i].ndims;
      c.attbyval = rows[i].byval;
      c.attstorage = rows[i].storage;
      c.attalign = 'i';
      c.attnotnull = i < 2;
    }
    filled = true;
  }
  return {&columns[0], &columns[1], &columns[2]};
}

}  // namespace

void pg_namespace_Table::TakeColumns(pg_attribute_Table& attributes) {
  TableReader& r = *reader_;
  r.columnLimit = attributes.CollectColumns(kNamespaceRelid, r.columns);
  if (!r.columns.empty() && r.columns[0]->attnum == 1) return;
  Log("No description of pg_namespace's name column, using the built-in one");
  r.columns = BuiltinNamespaceColumns();
  r.columnLimit = -1;
}

pg_namespace_Table::pg_namespace_Table(const char* fileName, uint8_t version)
    : reader_(MakeReader(version, fileName, this)) {
  std::strncpy(reader_->tableName, "pg_namespace", sizeof reader_->tableName - 1);
  reader_->cacheRows = false;
}

int pg_namespace_Table::ProcessRow(const RowValues& values, uint32_t oid) {
  char name[kNameSize];
  const auto& columns = reader_->columns;
  CopyName(ValueAt(values, 0), columns.empty() ? nullptr : columns[0], name);
  if (IsInitdbSchema(oid, name)) return 0;

  SchemaRecord* s = ScratchNew<SchemaRecord>();
  s->oid = oid;
  std::memcpy(s->nspname, name, sizeof s->nspname);
  if (IsEmptyName(s->nspname)) {
    GenerateName(s->nspname, "some_recov_schema_%i", nameCounter_, "Get NULL schema name, replace with %s");
  }
  if (RenameReservedSchema(s->nspname)) {
    LogFormat("Get pg_ prefix in schema name, replace with %s", s->nspname);
  }
  reader_->AddRow(s);
  byOid_.try_emplace(s->oid, s);
  if (std::strcmp(s->nspname, "public") != 0) WriteSchemaStatements(s->nspname);
  return 1;
}

const char* pg_namespace_Table::FindSchemaName(uint32_t oid) {
  auto it = byOid_.find(oid);
  return it == byOid_.end() ? nullptr : it->second->nspname;
}

}  // namespace vesk
