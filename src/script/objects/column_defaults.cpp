#include "script/objects/column_defaults.h"

#include <set>
#include <string>
#include <unordered_map>

#include "catalog/catalog_readers.h"
#include "catalog/catalog_values.h"
#include "catalog/pg_attrdef_table.h"
#include "catalog/pg_depend_table.h"
#include "script/objects/default_expression.h"
#include "script/user_types.h"
#include "script/writer/script_writer.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/scratch.h"
#include "types/toast/toast.h"
#include "types/toast/varlena.h"

namespace vesk {
namespace {

constexpr uint32_t kPgProcRelid = 1255;
constexpr uint32_t kPgOperatorRelid = 2617;

// The stored text of a default: plain as most are, else rebuilt by the
// TOAST code (a default long enough to be compressed or stored out of line).
bool DefaultText(const ColumnDefault& d, std::string& text) {
  const uint8_t version = Run().version;
  if (PlainVarlenaText(d.storedText, version, text)) return true;
  const auto* stored = reinterpret_cast<const uint8_t*>(d.storedText.data());
  const uint8_t* plain = version == 83 ? ExpandShortVarlena(stored) : pg_detoast_datum(stored);
  if (plain == nullptr) return false;
  text.assign(reinterpret_cast<const char*>(Payload(plain)), PayloadLength(plain, version));
  if (plain != stored) ScratchFree(const_cast<uint8_t*>(plain));
  return true;
}

// The relations the script creates, by OID, with their script names.
class ScriptRelations {
 public:
  ScriptRelations(const DefinedObjects& objects, const std::vector<ScriptSequence>& sequences)
      : objects_(objects) {
    for (const ScriptSequence& s : sequences) {
      if (s.readable) sequences_.try_emplace(s.oid, &s);
    }
  }

  NamedRelation Named(uint32_t oid) const {
    NamedRelation r;
    r.oid = oid;
    if (const RecoveredTable* row = objects_.ClassRow(oid)) {
      const char* schema = objects_.SchemaName(row->relnamespace);
      r.schema = schema != nullptr ? schema : "";
      r.relname = row->relname;
    }
    if (const std::string* table = objects_.TableName(oid)) r.scriptName = *table;
    auto it = sequences_.find(oid);
    if (it != sequences_.end()) r.scriptName = it->second->name;
    return r;
  }

  std::vector<NamedRelation> ByName(const std::string& schema, const std::string& name) const {
    std::vector<NamedRelation> found;
    for (const auto& [oid, sequence] : sequences_) {
      if (sequence->relname == name && (schema.empty() || sequence->schema == schema)) found.push_back(Named(oid));
    }
    for (const RecoveryRun::DefinedTable& t : Run().tablesDefined) {
      NamedRelation r = Named(t.oid);
      if (r.relname == name && (schema.empty() || r.schema == schema)) found.push_back(std::move(r));
    }
    return found;
  }

 private:
  const DefinedObjects& objects_;
  std::unordered_map<uint32_t, const ScriptSequence*> sequences_;
};

// A type the script has: one it created, or the row type of a table it created.
bool ScriptHasType(uint32_t typeOid, const DefinedObjects& objects) {
  if (IsDefinedUserType(typeOid)) return true;
  const TypeRecord* type = Run().types != nullptr ? Run().types->LookupTypeByOid(typeOid) : nullptr;
  return type != nullptr && type->typrelid != 0 && objects.TableName(type->typrelid) != nullptr;
}

// What the default depends on besides its own column: the relations, and
// the first object the script lacks (a function, operator or type of the
// user's, none of which the script creates), in `problem`.
std::vector<NamedRelation> Dependencies(const ColumnDefault& d, const pg_depend_Table& depend,
                                        const ScriptRelations& relations, const DefinedObjects& objects,
                                        std::string& problem) {
  std::vector<NamedRelation> named;
  std::set<uint32_t> seen;
  for (const Dependency& dep : depend.DependenciesOf(kPgAttrdefRelid, d.oid)) {
    if (dep.refclassid == kPgClassRelid) {
      if (dep.refobjid == d.adrelid && dep.refobjsubid == d.adnum) continue;  // its own column
      if (seen.insert(dep.refobjid).second) named.push_back(relations.Named(dep.refobjid));
    } else if (dep.refclassid == kPgTypeRelid) {
      if (problem.empty() && !ScriptHasType(dep.refobjid, objects)) {
        problem = "uses type " + std::to_string(dep.refobjid) + ", which the script does not create";
      }
    } else if (problem.empty()) {
      const char* what = dep.refclassid == kPgProcRelid       ? "function "
                         : dep.refclassid == kPgOperatorRelid ? "operator "
                                                              : "object ";
      problem = std::string("calls ") + what + std::to_string(dep.refobjid) + ", which the script does not create";
    }
  }
  return named;
}

void WriteDefault(const ColumnDefault& d, const std::string& table, const CatalogColumnDesc& column,
                  const pg_depend_Table& depend, const ScriptRelations& relations, const DefinedObjects& objects) {
  const std::string target = table + "." + QuoteName(column.attname);
  std::string source;
  if (!DefaultText(d, source)) {
    LogValue("Text of a column default could not be read:", target.c_str());
    WriteScriptText(("-- Default of " + CommentSafe(target) + " not restored: its text could not be read\n").c_str());
    return;
  }
  std::string problem;
  std::vector<NamedRelation> dependsOn = Dependencies(d, depend, relations, objects, problem);
  CheckedDefault checked;
  if (problem.empty()) {
    checked = CheckDefaultExpression(
        source, dependsOn, [&](const std::string& s, const std::string& n) { return relations.ByName(s, n); });
    problem = checked.problem;
  }
  if (!problem.empty()) {
    LogFormat("Default of %s not restored: %s", target.c_str(), problem.c_str());
    WriteScriptText(("-- Default of " + CommentSafe(target) + " not restored: " + CommentSafe(problem) +
                     "\n--   DEFAULT " + CommentSafe(source) + "\n")
                        .c_str());
    return;
  }
  std::string statement;
  if (checked.stale) {
    LogFormat("Default of %s names relations as they are now: %s", target.c_str(), checked.text.c_str());
    statement = "-- stored as: " + CommentSafe(source) + "\n";
  }
  statement += "ALTER TABLE ONLY " + table + " ALTER COLUMN " + QuoteName(column.attname) + " SET DEFAULT " +
               checked.text + ";\n";
  WriteScriptText(statement.c_str());
}

}  // namespace

void WriteColumnDefaults(const pg_attrdef_Table& defaults, const pg_depend_Table& depend,
                         const DefinedObjects& objects, const std::vector<ScriptSequence>& sequences) {
  const ScriptRelations relations(objects, sequences);
  std::set<std::pair<uint32_t, int16_t>> done;
  for (const ColumnDefault& d : defaults.defaults()) {
    if (StopRequested()) return;
    const std::string* table = objects.TableName(d.adrelid);
    const CatalogColumnDesc* column = objects.Column(d.adrelid, d.adnum);
    if (table == nullptr || column == nullptr || !done.insert({d.adrelid, d.adnum}).second) continue;
    WriteDefault(d, *table, *column, depend, relations, objects);
  }
}

}  // namespace vesk
