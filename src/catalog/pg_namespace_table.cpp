#include <cstring>
#include <string>
#include <vector>

#include "catalog/catalog_readers.h"
#include "catalog/catalog_values.h"
#include "catalog/schema_rules.h"
#include "script/writer/load_guard.h"
#include "script/writer/script_writer.h"
#include "catalog/static_descriptors.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/scratch.h"

namespace vesk {
namespace {

void WriteSchemaStatements(const char* nspname) {
  char comment[kNameSize];
  WriteCommentSafe(comment, nspname, sizeof comment);
  ++Run().schemasRecovered;
  if (!ScriptHoldsDefinitions()) return;
  WriteScript("-- Schema: %s\n\n", comment);
  WriteScript("CREATE SCHEMA %s;\n\n", QuoteName(nspname).c_str());
  NoteCreatedSchema(nspname);
}

constexpr uint32_t kNamespaceRelid = 2615;

}  // namespace

void pg_namespace_Table::TakeColumns(pg_attribute_Table& attributes) {
  TableReader& r = *reader_;
  r.columnLimit = attributes.CollectColumns(kNamespaceRelid, r.columns);
  if (!r.columns.empty() && r.columns[0]->attnum == 1) return;
  Log("No description of pg_namespace's name column, using the built-in one");
  FillStaticColumns(r.columns, StaticCatalog::kPgNamespace);
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
  if (IsTemporarySchemaName(name)) {
    char comment[kNameSize];
    WriteCommentSafe(comment, name, sizeof comment);
    LogFormat("Temporary schema %s skipped, and the tables in it", comment);
    temporary_.insert(oid);
    return 0;
  }
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
