#include "script/objects/object_relations.h"

#include "catalog/catalog_readers.h"
#include "catalog/schema_rules.h"
#include "script/writer/script_writer.h"
#include "support/recovery_run.h"

namespace vesk {

ObjectRelations::ObjectRelations() {
  pg_class_Table* classes = Run().classes;
  if (classes == nullptr) return;
  TableReader& reader = classes->reader();
  for (size_t i = 0; i < reader.RowCount(); ++i) {
    const auto* table = static_cast<const RecoveredTable*>(reader.RowAt(i));
    if (table->oid != 0) byOid_.try_emplace(table->oid, table);
  }
}

const RecoveredTable* ObjectRelations::Find(uint32_t oid) const {
  auto it = byOid_.find(oid);
  return it == byOid_.end() ? nullptr : it->second;
}

bool ObjectRelations::IsRecreatedTable(const RecoveredTable& table) const {
  if (table.relkind != 'r' || IsSystemTable(table) || Run().types == nullptr) return false;
  return Run().types->LookupTypeByOid(table.reltype) != nullptr || Run().types->LookupTypeByRelid(table.oid) != nullptr;
}

const RecoveredTable* ObjectRelations::RecreatedTable(uint32_t oid) const {
  const RecoveredTable* table = Find(oid);
  return table != nullptr && IsRecreatedTable(*table) ? table : nullptr;
}

const char* ObjectRelations::SchemaName(uint32_t namespaceOid) const {
  pg_namespace_Table* namespaces = Run().namespaces;
  return namespaces != nullptr ? namespaces->FindSchemaName(namespaceOid) : nullptr;
}

std::string ObjectRelations::QualifiedName(const RecoveredTable& table) const {
  const char* schema = SchemaName(table.relnamespace);
  std::string out = schema != nullptr ? QuoteName(schema) + "." : std::string();
  return out + QuoteName(table.relname);
}

const std::vector<CatalogColumnDesc*>& ObjectRelations::Columns(uint32_t relid) {
  auto it = columns_.find(relid);
  if (it != columns_.end()) return it->second;
  std::vector<CatalogColumnDesc*>& columns = columns_[relid];
  if (Run().attributes != nullptr) Run().attributes->CollectColumns(relid, columns);
  return columns;
}

const CatalogColumnDesc* ObjectRelations::Column(uint32_t relid, int16_t attnum) {
  for (const CatalogColumnDesc* c : Columns(relid)) {
    if (c->attnum != attnum) continue;
    if (c->attisdropped || c->atttypid == 0 || c->atttypid == kLostColumnType) return nullptr;
    return c;
  }
  return nullptr;
}

bool ObjectRelations::QuotedColumns(uint32_t relid, const std::vector<int16_t>& attnums,
                                    std::vector<std::string>& out) {
  out.clear();
  for (int16_t attnum : attnums) {
    const CatalogColumnDesc* c = Column(relid, attnum);
    if (c == nullptr) return false;
    out.push_back(QuoteName(c->attname));
  }
  return !out.empty();
}

std::string ObjectRelations::CommentName(uint32_t relid) const {
  const RecoveredTable* table = Find(relid);
  if (table == nullptr) return "(relation " + std::to_string(relid) + ")";
  const char* schema = SchemaName(table->relnamespace);
  return (schema != nullptr ? std::string(schema) + "." : std::string()) + table->relname;
}

}  // namespace vesk
