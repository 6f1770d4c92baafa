#include "api/pass2.h"

#include <string>

#include "catalog/catalog_readers.h"
#include "catalog/schema_rules.h"
#include "script/dead_versions.h"
#include "script/objects/schema_objects.h"
#include "script/script_table.h"
#include "script/table_definition.h"
#include "script/user_types.h"
#include "script/writer/script_writer.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/scratch.h"

namespace vesk {
namespace {

const RecoveredTable* ClassRow(size_t i) {
  return static_cast<const RecoveredTable*>(Run().classes->reader().RowAt(i));
}

size_t ClassRowCount() { return Run().classes != nullptr ? Run().classes->reader().RowCount() : 0; }

// A table of a session's temporary schema: gone with its session.
bool IsTemporaryTable(const RecoveredTable& table) {
  return Run().namespaces != nullptr && Run().namespaces->IsTemporarySchema(table.relnamespace);
}

// The row type of a table Pass 2 recovers, or null for any other relation.
const TypeRecord* RecoverableRowType(const RecoveredTable& table) {
  if (IsSystemTable(table) || IsTemporaryTable(table) || table.relkind != 'r' || Run().types == nullptr) {
    return nullptr;
  }
  const TypeRecord* type = Run().types->LookupTypeByOid(table.reltype);
  return type != nullptr ? type : Run().types->StandInRowType(table);
}

const char* SchemaName(const RecoveredTable& table) {
  pg_namespace_Table* namespaces = Run().namespaces;
  return namespaces != nullptr ? namespaces->FindSchemaName(table.relnamespace) : nullptr;
}

// A name goes into a comment line as it is, except that a line break in it
// would end the comment and turn the rest of the name into SQL.
std::string CommentSafe(const char* name) {
  std::string out(name);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  }
  return out;
}

void WriteTableComment(const RecoveredTable& table, const char* schema) {
  std::string relname = CommentSafe(table.relname);
  if (schema != nullptr) {
    WriteScript("-- Create table %s in scheme %s\n\n", relname.c_str(), CommentSafe(schema).c_str());
  } else {
    WriteScript("-- Create table %s \n\n", relname.c_str());
  }
}

// Ordinary user tables that pg_class lists, whether or not their row type
// is known: what the run ought to give back.
int32_t CountListedTables() {
  int32_t count = 0;
  for (size_t i = 0; i < ClassRowCount(); ++i) {
    const RecoveredTable& table = *ClassRow(i);
    if (table.relkind == 'r' && !IsSystemTable(table) && !IsTemporaryTable(table)) ++count;
  }
  return count;
}

// Schemas alone are no success when the catalog lists tables: the catalogs
// were most likely read in the wrong layout or with the wrong alignment.
int32_t FinalStatus() {
  const int32_t listed = CountListedTables();
  if (Run().tablesRecovered == 0 && listed > 0) {
    LogFormat("[ERROR]: The catalog lists %i user tables; not one was recovered", listed);
    SendMessage("No table recovered, although the catalog lists some (see the log)");
    return -3;
  }
  return Run().schemasRecovered != 0 || Run().tablesRecovered != 0 ? 0 : -3;
}

// -1 when stopped, else the number of tables Pass 2 will recover.
int32_t CountTables() {
  int32_t count = 0;
  for (size_t i = 0; i < ClassRowCount(); ++i) {
    if (StopRequested()) return -1;
    if (RecoverableRowType(*ClassRow(i)) != nullptr) ++count;
  }
  return count;
}

// A table whose text was not valid UTF-8 loads, but read as LATIN1: the
// user must hear which tables to look at (and may name the real encoding).
void NoteRepairedValues(const pg_script_Table& script) {
  if (script.valuesRepaired() == 0) return;
  std::string name = script.schemaName().empty() ? std::string() : CommentSafe(script.schemaName().c_str()) + ".";
  name += CommentSafe(script.tableName());
  LogFormat("Table %s: %lld values were not valid UTF-8 and were read as LATIN1", name.c_str(),
            static_cast<long long>(script.valuesRepaired()));
  Run().tablesRepaired.push_back(name);
}

// The summary's list of the tables NoteRepairedValues found.
void ReportRepairedTables() {
  const std::vector<std::string>& tables = Run().tablesRepaired;
  if (tables.empty()) return;
  std::string list;
  for (const std::string& table : tables) list += (list.empty() ? "" : ", ") + table;
  LogValue(" - tables with text that was not valid UTF-8, read as LATIN1:", list.c_str());
  SendMessage(("Text that was not valid UTF-8 was read as LATIN1 in: " + list).c_str());
}

// Adds what the scan of one table met to the run's totals and tells the
// caller; also after a stop, so that the counts are right to the last row.
void ReportTable(const char* schema, const TableReader& reader) {
  RecoveryRun::Losses& totals = Run().totals;
  const bool lost = !reader.openProblem.empty();
  totals.rowsWritten += reader.rowsRecovered;
  totals.rowsQuarantined += reader.rowsQuarantined;
  totals.valuesNulled += reader.valuesMissed;
  totals.pagesRead += reader.pagesRead;
  totals.pagesSkipped += reader.pagesSkipped;
  if (lost) ++totals.tablesLost;
  TableReportCallback callback = Run().options.tableReport;
  if (callback == nullptr) return;
  VeskTableReport report{};
  report.size = sizeof report;
  report.schema = schema != nullptr ? schema : "";
  report.table = reader.tableName;
  report.rowsWritten = reader.rowsRecovered;
  report.rowsQuarantined = reader.rowsQuarantined;
  report.valuesNulled = reader.valuesMissed;
  report.pagesRead = reader.pagesRead;
  report.pagesSkipped = reader.pagesSkipped;
  report.problem = lost ? reader.openProblem.c_str() : nullptr;
  callback(&report, Run().user);
}

std::string HeapPath(const RecoveredTable& table) {
  return Run().databaseDirectory + std::to_string(table.relfilenode);
}

// What Pass 2 will read, so that its progress can be told in bytes.
int64_t HeapBytesToRead() {
  int64_t total = 0;
  for (size_t i = 0; i < ClassRowCount(); ++i) {
    const RecoveredTable& table = *ClassRow(i);
    if (RecoverableRowType(table) != nullptr) total += RelationFileBytes(HeapPath(table));
  }
  return total;
}

// Dead versions are data: a script of the schema alone has none.
bool WantsDeadVersions() {
  return Run().options.deletedRows != 0 && Run().options.content != VESK_CONTENT_SCHEMA_ONLY;
}

int32_t RecoverTable(const RecoveredTable& table, const TypeRecord& rowType) {
  const char* schema = SchemaName(table);
  pg_script_Table script(rowType.typrelid, schema, Run().version);
  ScanProgress& scan = Run().scan;
  scan.BeginTable(table.relname, &script.reader(), RelationFileBytes(HeapPath(table)));
  WriteTableComment(table, schema);
  // The types go before the table's own text: a loader that takes each
  // table on its own keeps them when the table fails.
  if (DefineUserTypes(script.reader().columns) == kStopped) {
    scan.End(script.reader().rowsRecovered);
    return kStopped;
  }
  BeginTableText(schema, script.tableName());
  const int32_t definedBefore = Run().tablesRecovered;
  if (WriteTableDefinition(script) == kStopped) {
    EndTableText();
    scan.End(script.reader().rowsRecovered);
    return kStopped;
  }
  if (Run().tablesRecovered > definedBefore) NoteDefinedTable(table.oid, script.schemaName(), script.tableName());
  const int read = ScriptHoldsRows() ? script.ReadTable() : 0;
  // Rows written before a stop are whole: their block is ended either way.
  script.EndRows();
  ReportTable(schema, script.reader());
  if (read != 0) {
    EndTableText();
    scan.End(script.reader().rowsRecovered);
    return kStopped;
  }
  WriteScriptText("\n\n");
  EndTableText();
  NoteRepairedValues(script);
  scan.EndTable(script.reader().rowsRecovered);
  if (WantsDeadVersions()) return RecoverDeadVersions(table, rowType, schema);
  return 0;
}

void WriteSummary(int32_t scratchBaseline) {
  Log("Results:");
  LogNumber(" - schemas recovered:", Run().schemasRecovered);
  LogNumber(" - tables recovered:", Run().tablesRecovered);
  Log(Run().settings.commitLog != nullptr ? " - row visibility: hint bits, then the commit log"
                                          : " - row visibility: hint bits only");
  ReportRepairedTables();
  if (WantsDeadVersions()) ReportDeadVersions();
  const RecoveryRun::Losses& totals = Run().totals;
  LogFormat(" - rows written: %lld, set aside: %lld, values lost: %lld", static_cast<long long>(totals.rowsWritten),
            static_cast<long long>(totals.rowsQuarantined), static_cast<long long>(totals.valuesNulled));
  LogFormat(" - pages read: %lld, skipped: %lld; tables whose file could not be read: %i",
            static_cast<long long>(totals.pagesRead), static_cast<long long>(totals.pagesSkipped), totals.tablesLost);
  Log("Done");
  SendMessage("done");
  LogFormat("\t%i\tpointers was not free", ScratchLiveCount() - scratchBaseline);
  Run().scan.End();
  SendProgress("", 100);
}

}  // namespace

int32_t RunPass2(int32_t scratchBaseline) {
  const int32_t count = CountTables();
  if (count < 0) return kStopped;
  LogFormat("Defined %i tables", count);
  Run().scan.Begin(count, HeapBytesToRead(), Run().finerProgress);
  Script().byteCount = 0;
  Script().fileNumber = 1;
  ForgetDefinedTypes();
  Run().tablesDefined.clear();
  Log("-*-*-*-*-*-*-*-*-*-*-*-*-*-*-");
  Log("Search tables");
  if (WantsDeadVersions()) BeginDeadVersions();

  for (size_t i = 0; i < ClassRowCount(); ++i) {
    if (StopRequested()) return kStopped;
    const RecoveredTable& table = *ClassRow(i);
    if (table.relkind == 'r' && IsTemporaryTable(table)) {
      LogValue("Temporary table skipped:", CommentSafe(table.relname).c_str());
    }
    const TypeRecord* rowType = RecoverableRowType(table);
    if (rowType == nullptr) continue;
    if (RecoverTable(table, *rowType) == kStopped) return kStopped;
  }
  WriteSchemaObjects();

  WriteSummary(scratchBaseline);
  return FinalStatus();
}

}  // namespace vesk
