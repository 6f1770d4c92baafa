#include <string>
#include <vector>

#include "catalog/pg_constraint_table.h"
#include "script/objects/constraint_sql.h"
#include "script/objects/constraint_writers.h"
#include "script/objects/defined_objects.h"
#include "script/objects/schema_objects.h"
#include "script/objects/stored_values.h"
#include "script/writer/script_writer.h"
#include "support/logger.h"
#include "support/recovery_run.h"

namespace vesk {
namespace {

void WriteForeignKey(const ConstraintRecord& r, const RecoveredTable& table, const DefinedObjects& objects) {
  const std::string where = std::string("Foreign key ") + r.conname + " of " + objects.CommentName(table.oid);
  const RecoveredTable* referenced = objects.Table(r.confrelid);
  if (referenced == nullptr) {
    LogFormat("%s: the table it references is not recovered, not written", where.c_str());
    WriteScriptText((CommentLines(where + " is not written: the table it references is not recovered") + "\n").c_str());
    return;
  }
  ForeignKeySpec key;
  std::vector<int16_t> attnums;
  std::vector<int16_t> referencedAttnums;
  key.table = *objects.TableName(table.oid);
  key.name = r.conname;
  key.referenced = *objects.TableName(referenced->oid);
  key.matchType = r.confmatchtype;
  key.updateAction = r.confupdtype;
  key.deleteAction = r.confdeltype;
  key.deferrable = r.condeferrable;
  key.deferred = r.condeferred;
  std::string sql;
  if (StoredInt16Vector(r.conkey, attnums) && StoredInt16Vector(r.confkey, referencedAttnums) &&
      attnums.size() == referencedAttnums.size() && objects.QuotedColumns(table.oid, attnums, key.columns) &&
      objects.QuotedColumns(referenced->oid, referencedAttnums, key.referencedColumns)) {
    sql = ForeignKeySql(key);
  }
  if (sql.empty()) {
    LogFormat("%s: its columns or actions are lost, not written", where.c_str());
    WriteScriptText((CommentLines(where + " is not written: its columns or actions are lost") + "\n").c_str());
    return;
  }
  WriteScriptText(sql.c_str());
}

}  // namespace

void WriteForeignKeys(const DefinedObjects& objects) {
  if (!ConstraintsWanted()) return;
  pg_constraint_Table constraints(Run().version);
  if (constraints.ReadCatalog() != 0) return;
  for (const ConstraintRecord& r : constraints.records()) {
    if (r.contype != 'f') continue;
    if (StopRequested()) return;
    const RecoveredTable* table = objects.Table(r.conrelid);
    if (table != nullptr) WriteForeignKey(r, *table, objects);
  }
}

}  // namespace vesk
