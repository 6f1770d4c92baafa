#include "script/objects/defined_objects.h"

#include "catalog/catalog_readers.h"
#include "script/writer/script_writer.h"
#include "support/recovery_run.h"

namespace vesk {

std::string QualifiedName(const std::string& schema, const char* name) {
  return schema.empty() ? QuoteName(name) : QuoteName(schema.c_str()) + "." + QuoteName(name);
}

std::string CommentSafe(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  }
  return out;
}

DefinedObjects::DefinedObjects() {
  RecoveryRun& run = Run();
  for (const RecoveryRun::DefinedTable& t : run.tablesDefined) tables_.try_emplace(t.oid, t.name);
  if (run.classes != nullptr) {
    TableReader& reader = run.classes->reader();
    for (size_t i = 0; i < reader.RowCount(); ++i) {
      const auto* row = static_cast<const RecoveredTable*>(reader.RowAt(i));
      if (row->oid != 0) classes_.try_emplace(row->oid, row);
    }
  }
  if (run.attributes == nullptr) return;
  // As the definition took them: a later row of the same attnum replaces an
  // earlier one.
  TableReader& reader = run.attributes->reader();
  for (size_t i = 0; i < reader.RowCount(); ++i) {
    const auto* column = static_cast<const CatalogColumnDesc*>(reader.RowAt(i));
    if (column->attnum <= 0 || tables_.count(column->attrelid) == 0) continue;
    columns_[column->attrelid][column->attnum] = column;
  }
  for (auto& [oid, columns] : columns_) {
    std::erase_if(columns, [](const auto& entry) {
      return entry.second->attisdropped || entry.second->atttypid == kLostColumnType;
    });
  }
}

const std::string* DefinedObjects::TableName(uint32_t oid) const {
  auto it = tables_.find(oid);
  return it == tables_.end() ? nullptr : &it->second;
}

const CatalogColumnDesc* DefinedObjects::Column(uint32_t oid, int32_t attnum) const {
  const auto* columns = Columns(oid);
  if (columns == nullptr || attnum <= 0 || attnum > INT16_MAX) return nullptr;
  auto it = columns->find(static_cast<int16_t>(attnum));
  return it == columns->end() ? nullptr : it->second;
}

const std::map<int16_t, const CatalogColumnDesc*>* DefinedObjects::Columns(uint32_t oid) const {
  auto it = columns_.find(oid);
  return it == columns_.end() ? nullptr : &it->second;
}

const RecoveredTable* DefinedObjects::ClassRow(uint32_t oid) const {
  auto it = classes_.find(oid);
  return it == classes_.end() ? nullptr : it->second;
}

const RecoveredTable* DefinedObjects::Table(uint32_t oid) const {
  return TableName(oid) != nullptr ? ClassRow(oid) : nullptr;
}

bool DefinedObjects::QuotedColumns(uint32_t oid, const std::vector<int16_t>& attnums,
                                   std::vector<std::string>& out) const {
  out.clear();
  for (int16_t attnum : attnums) {
    const CatalogColumnDesc* c = Column(oid, attnum);
    if (c == nullptr) return false;
    out.push_back(QuoteName(c->attname));
  }
  return !out.empty();
}

std::string DefinedObjects::CommentName(uint32_t oid) const {
  const RecoveredTable* table = ClassRow(oid);
  if (table == nullptr) return "(relation " + std::to_string(oid) + ")";
  const char* schema = SchemaName(table->relnamespace);
  return (schema != nullptr ? std::string(schema) + "." : std::string()) + table->relname;
}

const char* DefinedObjects::SchemaName(uint32_t oid) const {
  pg_namespace_Table* namespaces = Run().namespaces;
  return namespaces != nullptr ? namespaces->FindSchemaName(oid) : nullptr;
}

}  // namespace vesk
