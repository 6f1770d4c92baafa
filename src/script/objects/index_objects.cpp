#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "catalog/pg_am_table.h"
#include "catalog/pg_index_table.h"
#include "catalog/pg_opclass_table.h"
#include "catalog/pg_operator_table.h"
#include "catalog/pg_proc_table.h"
#include "script/objects/constraint_sql.h"
#include "script/objects/constraint_writers.h"
#include "script/objects/expression_text.h"
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

// Operators and functions, read the first time an index needs them.
class CatalogExpressionNames : public ExpressionNames {
 public:
  CatalogExpressionNames(const DefinedObjects& objects, uint32_t relid) : objects_(objects), relid_(relid) {}

  std::string Column(int16_t attnum) const override {
    const CatalogColumnDesc* column = objects_.Column(relid_, attnum);
    return column != nullptr ? QuoteName(column->attname) : std::string();
  }
  bool FindOperator(uint32_t oid, Operator& out) const override {
    const OperatorRecord* r = Catalogs().operators.Find(oid);
    if (r == nullptr) return false;
    out = {r->oprname, r->oprnamespace == kCatalogSchema, r->oprleft, r->oprright};
    return true;
  }
  bool FindFunction(uint32_t oid, Function& out) const override {
    const FunctionRecord* r = Catalogs().functions.Find(oid);
    if (r == nullptr || !StoredOidVector(r->proargtypes, out.argTypes)) return false;
    out.name = r->proname;
    out.builtIn = r->pronamespace == kCatalogSchema;
    out.returnsSet = r->proretset;
    return true;
  }

  // Forgets the catalogs when the run's writing of indexes ends.
  static void Release() { loaded_.reset(); }

 private:
  struct Loaded {
    pg_operator_Table operators;
    pg_proc_Table functions;
    explicit Loaded(uint8_t version) : operators(version), functions(version) {}
  };
  static const Loaded& Catalogs() {
    if (!loaded_) {
      loaded_ = std::make_unique<Loaded>(Run().version);
      // A stop while reading leaves them partly read: a missing operator or
      // function only makes an index a comment.
      if (loaded_->operators.ReadCatalog() == 0) loaded_->functions.ReadCatalog();
    }
    return *loaded_;
  }
  static inline std::unique_ptr<Loaded> loaded_;

  const DefinedObjects& objects_;
  uint32_t relid_;
};

void WriteNotWritten(const std::string& index, const std::string& why) {
  LogFormat("Index %s is not written: %s", index.c_str(), why.c_str());
  const std::string text = CommentLines("Index " + index + " is not written: " + why) + "\n";
  WriteScriptText(text.c_str());
}

// The class named as the index needs it: nothing when it is the default of
// the column's type (or, for a type without a default of its own, a default
// class that takes the type as a binary-compatible one).
std::string OpclassName(const IndexCatalogs& catalogs, const DefinedObjects& objects, uint32_t opclassOid,
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
    if (const char* schema = objects.SchemaName(opclass->opcnamespace)) name = QuoteName(schema) + ".";
  }
  return name + QuoteName(opclass->opcname);
}

// The texts of a stored tree: key expressions (a list) or the predicate.
bool TreeOf(const std::vector<uint8_t>& stored, TreeItem& tree) {
  std::string text;
  return StoredText(stored, text) && ParseNodeTree(text, tree);
}

using Outcome = std::pair<std::string, std::string>;  // the statement, or why there is none

Outcome IndexStatement(const IndexRecord& index, const RecoveredTable& indexClass, const RecoveredTable& table,
                       const IndexCatalogs& catalogs, const DefinedObjects& objects) {
  if (!index.indisvalid) return {{}, "its build never finished (it was invalid)"};
  const char* method = catalogs.methods.FindName(indexClass.relam);
  if (method == nullptr) return {{}, "its access method is unknown"};
  CatalogExpressionNames names(objects, table.oid);
  std::vector<KeyExpression> expressions;
  TreeItem tree;
  if (index.hasExpressions && (!TreeOf(index.indexprs, tree) || !IndexExpressionTexts(tree, names, expressions))) {
    return {{}, "its expressions are stored only as a node tree too intricate to rebuild for sure"};
  }
  std::string predicate;
  if (index.hasPredicate && (!TreeOf(index.indpred, tree) || (predicate = ExpressionText(tree, names)).empty())) {
    return {{}, "its WHERE condition is stored only as a node tree too intricate to rebuild for sure"};
  }
  std::vector<int16_t> attnums;
  std::vector<uint32_t> classes;
  std::vector<int16_t> options;
  if (!StoredInt16Vector(index.indkey, attnums) || attnums.empty()) return {{}, "its columns are lost"};
  if (!StoredOidVector(index.indclass, classes) || classes.size() != attnums.size()) classes.clear();
  if (!StoredInt16Vector(index.indoption, options) || options.size() != attnums.size()) options.clear();
  std::vector<IndexColumnSpec> columns;
  size_t nextExpression = 0;
  for (size_t i = 0; i < attnums.size(); ++i) {
    IndexColumnSpec spec;
    uint32_t type = 0;
    if (attnums[i] == 0) {
      if (nextExpression == expressions.size()) return {{}, "it has more expression columns than expressions"};
      spec.name = expressions[nextExpression].text;
      type = expressions[nextExpression++].type;
    } else {
      const CatalogColumnDesc* column = objects.Column(table.oid, attnums[i]);
      if (column == nullptr) return {{}, "one of its columns is lost"};
      spec.name = QuoteName(column->attname);
      type = column->atttypid;
    }
    if (!classes.empty()) spec.opclass = OpclassName(catalogs, objects, classes[i], indexClass.relam, type);
    if (!options.empty()) spec.option = options[i];
    columns.push_back(std::move(spec));
  }
  if (nextExpression != expressions.size()) return {{}, "it has more expressions than expression columns"};
  return {IndexSql(indexClass.relname, *objects.TableName(table.oid), index.indisunique, method, columns, predicate),
          {}};
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

bool WriteEachIndex(const IndexCatalogs& catalogs, const pg_constraint_Table& constraints,
                    const DefinedObjects& objects) {
  const auto keyIndexes = KeyIndexes(constraints);
  for (const IndexRecord& index : catalogs.indexes.records()) {
    if (StopRequested()) return false;
    const RecoveredTable* table = objects.Table(index.indrelid);
    if (table == nullptr) continue;
    const RecoveredTable* indexClass = objects.ClassRow(index.indexrelid);
    if (indexClass == nullptr) {
      WriteNotWritten(std::to_string(index.indexrelid) + " of " + objects.CommentName(table->oid),
                      "its pg_class row is lost");
      continue;
    }
    if (keyIndexes.count({table->oid, indexClass->relname}) != 0) continue;
    auto [sql, why] = IndexStatement(index, *indexClass, *table, catalogs, objects);
    if (sql.empty()) {
      WriteNotWritten(std::string(indexClass->relname) + " of " + objects.CommentName(table->oid), why);
      continue;
    }
    WriteScriptText(sql.c_str());
  }
  return true;
}

}  // namespace

bool WriteIndexes(const pg_constraint_Table& constraints, const DefinedObjects& objects) {
  IndexCatalogs catalogs(Run().version);
  if (catalogs.Read() != 0) return false;
  const bool done = WriteEachIndex(catalogs, constraints, objects);
  CatalogExpressionNames::Release();
  return done;
}

}  // namespace vesk
