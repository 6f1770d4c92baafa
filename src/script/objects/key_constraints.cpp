#include <string>
#include <vector>

#include "script/objects/constraint_sql.h"
#include "script/objects/constraint_writers.h"
#include "script/objects/stored_values.h"
#include "script/writer/script_writer.h"
#include "support/logger.h"
#include "support/recovery_run.h"

namespace vesk {
namespace {

void WriteNotWritten(const std::string& why) {
  const std::string text = CommentLines(why) + "\n";
  WriteScriptText(text.c_str());
}

void WriteKey(const ConstraintRecord& r, const RecoveredTable& table, const DefinedObjects& objects) {
  std::vector<int16_t> attnums;
  std::vector<std::string> columns;
  if (!StoredInt16Vector(r.conkey, attnums) || !objects.QuotedColumns(table.oid, attnums, columns)) {
    LogFormat("Key %s of table %s: its columns are lost, not written", r.conname, table.relname);
    WriteNotWritten(std::string(r.contype == 'p' ? "Primary key " : "Unique constraint ") + r.conname + " of " +
                    objects.CommentName(table.oid) + " is not written: its columns are lost");
    return;
  }
  WriteScriptText(KeyConstraintSql(*objects.TableName(table.oid), r.conname, r.contype, columns).c_str());
}

// The current names of the columns the stored expression uses, in its
// order; from the key list where the tree is lost. False when one of them
// is no defined column.
bool CheckColumns(const ConstraintRecord& r, const RecoveredTable& table, const DefinedObjects& objects,
                  std::vector<std::string>& names) {
  std::string tree;
  std::vector<int16_t> attnums;
  if (StoredText(r.conbin, tree)) {
    attnums = TreeColumnNumbers(tree);
  } else if (!StoredInt16Vector(r.conkey, attnums)) {
    return false;
  }
  names.clear();
  for (int16_t attnum : attnums) {
    const CatalogColumnDesc* c = objects.Column(table.oid, attnum);
    if (c == nullptr) return false;
    names.emplace_back(c->attname);
  }
  return true;
}

void WriteCheck(const ConstraintRecord& r, const RecoveredTable& table, const DefinedObjects& objects) {
  std::string source;
  const std::string where = std::string("Check constraint ") + r.conname + " of " + objects.CommentName(table.oid);
  if (!StoredText(r.consrc, source) || source.empty()) {
    LogFormat("Check %s of table %s: its text is lost, not written", r.conname, table.relname);
    WriteNotWritten(where + " is not written: its text is lost");
    return;
  }
  const std::string sql = CheckConstraintSql(*objects.TableName(table.oid), r.conname, source);
  std::vector<std::string> names;
  if (!CheckColumns(r, table, objects, names) || !CheckTextNamesColumns(source, names)) {
    LogFormat("Check %s of table %s names columns that were renamed or lost since, not written", r.conname,
              table.relname);
    WriteNotWritten(where +
                    " is not written: its text names columns by names they no longer have (renamed or lost "
                    "since):\n" + sql.substr(0, sql.size() - 2));
    return;
  }
  WriteScriptText(sql.c_str());
}

}  // namespace

bool WriteKeysAndChecks(const pg_constraint_Table& constraints, const DefinedObjects& objects) {
  // Keys before checks, as pg_dump orders them.
  for (char kind : {'p', 'u', 'c'}) {
    for (const ConstraintRecord& r : constraints.records()) {
      if (r.contype != kind) continue;
      if (StopRequested()) return false;
      if (r.contypid != 0 && r.conrelid == 0) {
        LogFormat("Check %s of a domain: the script declares domains' columns by their base type, not written",
                  r.conname);
        continue;
      }
      const RecoveredTable* table = objects.Table(r.conrelid);
      if (table == nullptr) continue;
      if (kind == 'c') {
        WriteCheck(r, *table, objects);
      } else {
        WriteKey(r, *table, objects);
      }
    }
  }
  return true;
}

}  // namespace vesk
