#include <set>
#include <string>
#include <utility>
#include <vector>

#include "catalog/pg_am_table.h"
#include "catalog/pg_index_table.h"
#include "catalog/pg_opclass_table.h"
#include "script/objects/constraint_sql.h"
#include "script/objects/constraint_writers.h"
#include "script/objects/stored_values.h"
#include "script/writer/script_writer.h"
#include "support/logger.h"
#include "support/recovery_run.h"

namespace vesk {
namespace {

constexpr uint32_t kCatalogSchema = 11;

struct IndexCatalogs {
  pg_index_Table indexes;
  pg_opclass_Table opclasses;
  pg_am_Table methods;
  explicit IndexCatalogs(uint8_t version) : indexes(version), opclasses(version), methods(version) {}
  int Read() {
    for (NamedCatalog* catalog : {static_cast<NamedCatalog*>(&indexes), static_cast<NamedCatalog*>(&opclasses),
                                  static_cast<NamedCatalog*>(&methods)}) {
      if (catalog->ReadCatalog() != 0) return kStopped;
    }
    return 0;
  }
};

void WriteNotWritten(const std::string& index, const std::string& why) {
  LogFormat("Index %s is not written: %s", index.c_str(), why.c_str());
  const std::string text = CommentLines("Index " + index + " is not written: " + why) + "\n";
  WriteScriptText(text.c_str());
}

// The class named as the index needs it: nothing when it is the default of
// the column's type (or, for a type without a default of its own, a default
// class that takes the type as a binary-compatible one).
std::string OpclassName(const IndexCatalogs& catalogs, const ObjectRelations& relations, uint32_t opclassOid,
                        uint32_t method, uint32_t columnType) {
  const OpclassRecord* opclass = catalogs.opclasses.Find(opclassOid);
  if (opclass == nullptr) {
    LogNumber("Unknown operator class of an index column, the type's default is used:", static_cast<int>(opclassOid));
    return {};
  }
  if (opclass->opcdefault &&
      (opclass->opcintype == columnType || !catalogs.opclasses.HasDefaultFor(method, columnType))) {
    return {};
  }
  std::string name;
  if (opclass->opcnamespace != kCatalogSchema) {
    if (const char* schema = relations.SchemaName(opclass->opcnamespace)) name = QuoteName(schema) + ".";
  }
  return name + QuoteName(opclass->opcname);
}

// The statement, or the reason it cannot be made.
std::pair<std::string, std::string> IndexStatement(const IndexRecord& index, const RecoveredTable& indexClass,
                                                   const RecoveredTable& table, const IndexCatalogs& catalogs,
                                                   ObjectRelations& relations) {
  if (!index.indisvalid) return {{}, "its build never finished (it was invalid)"};
  if (index.hasExpressions) return {{}, "its expressions are stored only as a node tree"};
  if (index.hasPredicate) return {{}, "its WHERE condition is stored only as a node tree"};
  const char* method = catalogs.methods.FindName(indexClass.relam);
  if (method == nullptr) return {{}, "its access method is unknown"};
  std::vector<int16_t> attnums;
  std::vector<uint32_t> classes;
  std::vector<int16_t> options;
  if (!StoredInt16Vector(index.indkey, attnums) || attnums.empty()) return {{}, "its columns are lost"};
  if (!StoredOidVector(index.indclass, classes) || classes.size() != attnums.size()) classes.clear();
  if (!StoredInt16Vector(index.indoption, options) || options.size() != attnums.size()) options.clear();
  std::vector<IndexColumnSpec> columns;
  for (size_t i = 0; i < attnums.size(); ++i) {
    const CatalogColumnDesc* column = relations.Column(table.oid, attnums[i]);
    if (column == nullptr) return {{}, "one of its columns is lost"};
    IndexColumnSpec spec;
    spec.name = QuoteName(column->attname);
    if (!classes.empty()) spec.opclass = OpclassName(catalogs, relations, classes[i], indexClass.relam, column->atttypid);
    if (!options.empty()) spec.option = options[i];
    columns.push_back(std::move(spec));
  }
  return {IndexSql(indexClass.relname, relations.QualifiedName(table), index.indisunique, method, columns), {}};
}

// (table, name) of the indexes that primary keys and unique constraints
// make: the key's statement makes them again.
std::set<std::pair<uint32_t, std::string>> KeyIndexes(const pg_constraint_Table& constraints) {
  std::set<std::pair<uint32_t, std::string>> keys;
  for (const ConstraintRecord& r : constraints.records()) {
    if (r.contype == 'p' || r.contype == 'u') keys.emplace(r.conrelid, r.conname);
  }
  return keys;
}

}  // namespace

bool WriteIndexes(const pg_constraint_Table& constraints, ObjectRelations& relations) {
  IndexCatalogs catalogs(Run().version);
  if (catalogs.Read() != 0) return false;
  const auto keyIndexes = KeyIndexes(constraints);
  for (const IndexRecord& index : catalogs.indexes.records()) {
    if (StopRequested()) return false;
    const RecoveredTable* table = relations.RecreatedTable(index.indrelid);
    if (table == nullptr) continue;
    const RecoveredTable* indexClass = relations.Find(index.indexrelid);
    if (indexClass == nullptr) {
      WriteNotWritten(std::to_string(index.indexrelid) + " of " + relations.CommentName(table->oid),
                      "its pg_class row is lost");
      continue;
    }
    if (keyIndexes.count({table->oid, indexClass->relname}) != 0) continue;
    auto [sql, why] = IndexStatement(index, *indexClass, *table, catalogs, relations);
    if (sql.empty()) {
      WriteNotWritten(std::string(indexClass->relname) + " of " + relations.CommentName(table->oid), why);
      continue;
    }
    WriteScriptText(sql.c_str());
  }
  return true;
}

}  // namespace vesk
