#include <string>
#include <vector>

#include "catalog/pg_constraint_table.h"
#include "script/objects/constraint_sql.h"
#include "script/objects/constraint_writers.h"
#include "script/objects/schema_objects.h"
#include "script/objects/stored_values.h"
#include "script/writer/script_writer.h"
#include "support/logger.h"
#include "support/recovery_run.h"

namespace vesk {
namespace {

void WriteForeignKey(const ConstraintRecord& r, const RecoveredTable& table, ObjectRelations& relations) {
  const std::string where = std::string("Foreign key ") + r.conname + " of " + relations.CommentName(table.oid);
  const RecoveredTable* referenced = relations.RecreatedTable(r.confrelid);
  if (referenced == nullptr) {
    LogFormat("%s: the table it references is not recovered, not written", where.c_str());
    WriteScriptText((CommentLines(where + " is not written: the table it references is not recovered") + "\n").c_str());
    return;
  }
  ForeignKeySpec key;
  std::vector<int16_t> attnums;
  std::vector<int16_t> referencedAttnums;
  key.table = relations.QualifiedName(table);
  key.name = r.conname;
  key.referenced = relations.QualifiedName(*referenced);
  key.matchType = r.confmatchtype;
  key.updateAction = r.confupdtype;
  key.deleteAction = r.confdeltype;
  key.deferrable = r.condeferrable;
  key.deferred = r.condeferred;
  std::string sql;
  if (StoredInt16Vector(r.conkey, attnums) && StoredInt16Vector(r.confkey, referencedAttnums) &&
      attnums.size() == referencedAttnums.size() && relations.QuotedColumns(table.oid, attnums, key.columns) &&
      relations.QuotedColumns(referenced->oid, referencedAttnums, key.referencedColumns)) {
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

void WriteForeignKeys() {
  if (!ConstraintsWanted()) return;
  ObjectRelations relations;
  pg_constraint_Table constraints(Run().version);
  if (constraints.ReadCatalog() != 0) return;
  for (const ConstraintRecord& r : constraints.records()) {
    if (r.contype != 'f') continue;
    if (StopRequested()) return;
    const RecoveredTable* table = relations.RecreatedTable(r.conrelid);
    if (table != nullptr) WriteForeignKey(r, *table, relations);
  }
}

}  // namespace vesk
