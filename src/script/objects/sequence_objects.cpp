#include "script/objects/sequence_objects.h"

#include <unordered_set>

#include "catalog/catalog_readers.h"
#include "catalog/pg_depend_table.h"
#include "script/sql_literal.h"
#include "script/writer/script_writer.h"
#include "support/logger.h"
#include "support/recovery_run.h"

namespace vesk {

std::vector<ScriptSequence> FindSequences(const DefinedObjects& objects, int32_t& status) {
  status = 0;
  std::vector<ScriptSequence> found;
  if (Run().classes == nullptr) return found;
  std::unordered_set<uint32_t> seen;
  TableReader& classes = Run().classes->reader();
  for (size_t i = 0; i < classes.RowCount(); ++i) {
    if (StopRequested()) {
      status = kStopped;
      return found;
    }
    const auto& row = *static_cast<const RecoveredTable*>(classes.RowAt(i));
    if (row.relkind != 'S' || row.oid == 0 || !seen.insert(row.oid).second) continue;
    const char* schema = objects.SchemaName(row.relnamespace);
    if (schema == nullptr) {
      LogValue("Sequence in a schema the script does not create, skipped:", row.relname);
      continue;
    }
    ScriptSequence s;
    s.oid = row.oid;
    s.schema = schema;
    s.relname = row.relname;
    s.name = QualifiedName(s.schema, row.relname);
    s.readable = ReadSequenceState(row.oid, row.relname, Run().version, s.state);
    found.push_back(std::move(s));
  }
  return found;
}

std::string SequenceDefinition(const std::string& name, const SequenceState& state) {
  std::string out = "CREATE SEQUENCE " + name;
  out += "\n    INCREMENT BY " + std::to_string(state.incrementBy);
  out += "\n    MINVALUE " + std::to_string(state.minValue);
  out += "\n    MAXVALUE " + std::to_string(state.maxValue);
  out += "\n    CACHE " + std::to_string(state.cacheValue);
  if (state.isCycled) out += "\n    CYCLE";
  out += ";\n\n";
  return out;
}

std::string SequenceValue(const std::string& name, const SequenceState& state) {
  std::string out = "SELECT pg_catalog.setval(";
  AppendLiteral(out, LiteralKind::kText, name);
  out += ", " + std::to_string(state.lastValue) + (state.isCalled ? ", true);\n" : ", false);\n");
  return out;
}

void WriteSequenceDefinitions(const std::vector<ScriptSequence>& sequences) {
  for (const ScriptSequence& s : sequences) {
    if (s.readable) {
      WriteScriptText(SequenceDefinition(s.name, s.state).c_str());
    } else {
      WriteScriptText(("-- Sequence " + CommentSafe(s.name) + " not created: its row could not be read\n\n").c_str());
    }
  }
}

void WriteSequenceValues(const std::vector<ScriptSequence>& sequences) {
  bool any = false;
  for (const ScriptSequence& s : sequences) {
    if (!s.readable) continue;
    WriteScriptText(SequenceValue(s.name, s.state).c_str());
    any = true;
  }
  if (any) WriteScriptText("\n");
}

void WriteSequenceOwners(const std::vector<ScriptSequence>& sequences, const pg_depend_Table& depend,
                         const DefinedObjects& objects) {
  for (const ScriptSequence& s : sequences) {
    if (!s.readable) continue;
    for (const Dependency& d : depend.DependenciesOf(kPgClassRelid, s.oid)) {
      if (d.deptype != 'a' || d.refclassid != kPgClassRelid || d.objsubid != 0 || d.refobjsubid <= 0) continue;
      const std::string* table = objects.TableName(d.refobjid);
      const CatalogColumnDesc* column = objects.Column(d.refobjid, d.refobjsubid);
      if (table == nullptr || column == nullptr) {
        LogValue("Sequence owned by a column the script does not create:", s.relname.c_str());
        break;
      }
      WriteScriptText(("ALTER SEQUENCE " + s.name + " OWNED BY " + *table + "." + QuoteName(column->attname) + ";\n")
                          .c_str());
      break;
    }
  }
}

}  // namespace vesk
