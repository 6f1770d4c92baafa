#include "api/pass2.h"

#include <cstring>
#include <string>

#include "catalog/catalog_readers.h"
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

// The row type of a table Pass 2 recovers, or null for any other relation.
const TypeRecord* RecoverableRowType(const RecoveredTable& table) {
  if (IsSystemTable(table) || table.relkind != 'r' || Run().types == nullptr) return nullptr;
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

// -1 when stopped, else the number of tables Pass 2 will recover.
int32_t CountTables() {
  int32_t count = 0;
  for (size_t i = 0; i < ClassRowCount(); ++i) {
    if (StopRequested()) return -1;
    if (RecoverableRowType(*ClassRow(i)) != nullptr) ++count;
  }
  return count;
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

int32_t RecoverTable(const RecoveredTable& table, const TypeRecord& rowType) {
  const char* schema = SchemaName(table);
  pg_script_Table script(rowType.typrelid, schema, Run().version);
  ScanProgress& scan = Run().scan;
  scan.BeginTable(table.relname, &script.reader(), RelationFileBytes(HeapPath(table)));
  WriteTableComment(table, schema);
  if (WriteTableDefinition(script) == kStopped || script.ReadTable() != 0) {
    scan.End(script.reader().rowsRecovered);
    return kStopped;
  }
  WriteScriptText("\n\n");
  scan.EndTable(script.reader().rowsRecovered);
  return 0;
}

void WriteSummary(int32_t scratchBaseline) {
  Log("Results:");
  LogNumber(" - schemas recovered:", Run().schemasRecovered);
  LogNumber(" - tables recovered:", Run().tablesRecovered);
  Log("Done");
  SendMessage("done");
  LogFormat("\t%i\tpointers was not free", ScratchLiveCount() - scratchBaseline);
  Run().scan.End();
  SendProgress("", 100);
}

}  // namespace

bool IsSystemTable(const RecoveredTable& table) {
  return std::strncmp(table.relname, "pg_", 3) == 0 || std::strncmp(table.relname, "sql_", 4) == 0;
}

int32_t RunPass2(int32_t scratchBaseline) {
  const int32_t count = CountTables();
  if (count < 0) return kStopped;
  LogFormat("Defined %i tables", count);
  Run().scan.Begin(count, HeapBytesToRead(), Run().finerProgress);
  Script().byteCount = 0;
  Script().fileNumber = 1;
  ForgetDefinedTypes();
  Log("-*-*-*-*-*-*-*-*-*-*-*-*-*-*-");
  Log("Search tables");

  for (size_t i = 0; i < ClassRowCount(); ++i) {
    if (StopRequested()) return kStopped;
    const RecoveredTable& table = *ClassRow(i);
    const TypeRecord* rowType = RecoverableRowType(table);
    if (rowType == nullptr) continue;
    if (RecoverTable(table, *rowType) == kStopped) return kStopped;
  }

  WriteSummary(scratchBaseline);
  return Run().schemasRecovered != 0 || Run().tablesRecovered != 0 ? 0 : -3;
}

}  // namespace vesk
