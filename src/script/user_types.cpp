#include "script/user_types.h"

#include <string>
#include <unordered_set>

#include "catalog/catalog_readers.h"
#include "catalog/pg_enum_table.h"
#include "script/base_type.h"
#include "script/sql_literal.h"
#include "script/type_name.h"
#include "script/writer/load_guard.h"
#include "script/writer/script_writer.h"
#include "support/logger.h"
#include "support/recovery_run.h"

namespace vesk {
namespace {

// Composite types nest a level or two; deeper means a damaged catalog.
constexpr int kMaxTypeDepth = 8;

std::unordered_set<uint32_t>& Defined() {
  static std::unordered_set<uint32_t> defined;
  return defined;
}

// The enum or composite type a column of `typeOid` stands on, through
// domains and arrays; null for any other type.
const TypeRecord* UserTypeBehind(uint32_t typeOid) {
  int32_t typmod = -1;
  const TypeRecord* type = ResolveDomain(LookupType(typeOid), typmod);
  if (type != nullptr && IsArrayTypeRecord(*type)) type = ResolveDomain(LookupType(type->typelem), typmod);
  if (type == nullptr || (type->typtype != 'e' && type->typtype != 'c')) return nullptr;
  return type;
}

void NoteCreatedType(const TypeRecord& type) {
  std::string name;
  AppendQualifiedTypeName(name, type);
  NoteCreatedObject("TYPE", name);
}

bool DefineEnum(const TypeRecord& type) {
  std::vector<const char*> labels;
  if (Run().enums != nullptr) labels = Run().enums->LabelsOf(type.oid);
  if (labels.empty()) {
    LogValue("No labels for enum type, its columns become text:", type.typname);
    return false;
  }
  std::string statement = "CREATE TYPE ";
  AppendQualifiedTypeName(statement, type);
  statement += " AS ENUM (\n";
  for (size_t i = 0; i < labels.size(); ++i) {
    statement += "    ";
    AppendLiteral(statement, LiteralKind::kText, labels[i]);
    statement += i + 1 < labels.size() ? ",\n" : "\n";
  }
  statement += ");\n\n";
  if (ScriptHoldsDefinitions()) {
    WriteScriptText(statement.c_str());
    NoteCreatedType(type);
  }
  return true;
}

bool DefineType(const TypeRecord& type, int depth);

// Standalone composite types only: a table's row type comes with its table,
// which the script may create later or not at all.
bool DefineComposite(const TypeRecord& type, int depth) {
  const RecoveredTable* relation = Run().classes != nullptr ? Run().classes->FindTableByType(type.oid) : nullptr;
  if (relation == nullptr || relation->relkind != 'c' || Run().attributes == nullptr) {
    LogValue("Row type is not a standalone type, its columns become text:", type.typname);
    return false;
  }
  const auto& row = Run().attributes->ColumnsOfRowType(type.typrelid);
  if (row.columns.empty() || row.columnLimit >= 0) {
    LogValue("Row type lost columns, its columns become text:", type.typname);
    return false;
  }
  for (const CatalogColumnDesc* column : row.columns) {
    const TypeRecord* inner = column->attisdropped ? nullptr : UserTypeBehind(column->atttypid);
    if (inner != nullptr) DefineType(*inner, depth + 1);
  }
  std::string statement = "CREATE TYPE ";
  AppendQualifiedTypeName(statement, type);
  statement += " AS (\n";
  bool first = true;
  for (const CatalogColumnDesc* column : row.columns) {
    if (column->attisdropped) continue;
    statement += first ? "    " : ",\n    ";
    first = false;
    statement += QuoteName(column->attname);
    statement += ' ';
    if (!AppendTypeName(statement, column->atttypid, column->atttypmod)) {
      LogValue("Row type has a column without type, its columns become text:", type.typname);
      return false;
    }
  }
  statement += "\n);\n\n";
  if (ScriptHoldsDefinitions()) {
    WriteScriptText(statement.c_str());
    NoteCreatedType(type);
  }
  return true;
}

bool DefineType(const TypeRecord& type, int depth) {
  if (Defined().count(type.oid) != 0) return true;
  if (depth >= kMaxTypeDepth) {
    LogValue("Row types nested too deep, columns become text:", type.typname);
    return false;
  }
  bool written = type.typtype == 'e' ? DefineEnum(type) : DefineComposite(type, depth);
  if (written) Defined().insert(type.oid);
  return written;
}

}  // namespace

void ForgetDefinedTypes() { Defined().clear(); }

bool IsDefinedUserType(uint32_t typeOid) { return Defined().count(typeOid) != 0; }

int32_t DefineUserTypes(const std::vector<CatalogColumnDesc*>& columns) {
  for (const CatalogColumnDesc* column : columns) {
    if (StopRequested()) return kStopped;
    if (const TypeRecord* type = UserTypeBehind(column->atttypid)) DefineType(*type, 0);
  }
  return 0;
}

}  // namespace vesk
