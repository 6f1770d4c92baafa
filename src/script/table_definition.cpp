#include "script/table_definition.h"

#include <string>

#include "catalog/recovered_table.h"
#include "script/current_types.h"
#include "script/script_table.h"
#include "script/type_name.h"
#include "script/user_types.h"
#include "script/writer/load_guard.h"
#include "script/writer/script_writer.h"
#include "support/logger.h"
#include "support/recovery_run.h"

namespace vesk {
namespace {

void AppendQualifiedName(std::string& out, pg_script_Table& table) {
  if (!table.schemaName().empty()) {
    out += QuoteName(table.schemaName().c_str());
    out += '.';
  }
  out += QuoteName(table.tableName());
}

void AppendCreate(std::string& out, pg_script_Table& table) {
  out += "CREATE TABLE ";
  AppendQualifiedName(out, table);
}

void AppendHead(std::string& out, pg_script_Table& table) {
  AppendCreate(out, table);
  out += "\n(\n";
}

// A table of no columns (made so, or every column dropped) still holds
// rows, of no values. Only a complete column list can tell; a dropped
// column keeps no type. An empty list is believed only where pg_class says
// the table never had a column: lost pg_attribute rows look the same.
bool HasNoColumns(const TableReader& reader) {
  if (reader.columnLimit >= 0) return false;
  if (reader.columns.empty()) return reader.classRecord != nullptr && reader.classRecord->relnatts == 0;
  for (const CatalogColumnDesc* column : reader.columns) {
    if (!column->attisdropped || (column->atttypid != 0 && column->atttypid != kLostColumnType)) return false;
  }
  return true;
}

// psql reads the rows of a COPY whose table is missing as SQL; the first
// of them swallows the next table's definition, and so on to the end of
// the file. On a current server the table is made sure of: when its
// definition failed (a type the server refuses), the same columns as text
// take every value's text. Older servers know no IF NOT EXISTS.
void AppendTextStandIn(std::string& out, pg_script_Table& table, const std::string& textColumns) {
  const VeskOptions& options = Run().options;
  if (options.rowFormat != VESK_ROWS_COPY || options.targetServer != VESK_TARGET_CURRENT) return;
  if (textColumns.empty()) return;
  out += "CREATE TABLE IF NOT EXISTS ";
  AppendQualifiedName(out, table);
  out += " (";
  out += textColumns;
  out += ");\n\n";
}

}  // namespace

int32_t WriteTableDefinition(pg_script_Table& table) {
  TableReader& reader = table.reader();
  Log("-*-*-*-*-*-*-*-*-*-*-*-*-*-*-");
  LogValue("Create script for table ", reader.tableName);
  LogFormat("Number of columns of table %i", static_cast<int>(reader.columns.size()));
  if (DefineUserTypes(reader.columns) == kStopped) return kStopped;

  std::string notes;  // comment lines on the types a current server gets instead
  std::string definition;
  std::string textColumns;  // the same columns, all of type text
  std::string typeName;
  int written = 0;
  for (size_t i = 0; i < reader.columns.size(); ++i) {
    if (StopRequested()) return kStopped;
    CatalogColumnDesc& column = *reader.columns[i];
    LogValue("Find type for column", column.attname);
    typeName.clear();
    if (!AppendTypeName(typeName, column.atttypid, column.atttypmod)) {
      LogFormat("ERROR Cant find type!!! We are lost column %s (%i)", column.attname, static_cast<int>(i + 1));
      column.atttypid = kLostColumnType;
      ++reader.lostColumns;
      continue;
    }
    LogValue("Found it: ", typeName.c_str());
    NoteStandIn(notes, column.attname, column.atttypid, table.version());
    if (written == 0) {
      AppendHead(definition, table);
    } else {
      definition += ",\n";
    }
    definition += QuoteName(column.attname);
    definition += ' ';
    definition += typeName;
    if (written > 0) textColumns += ", ";
    textColumns += QuoteName(column.attname);
    textColumns += " text";
    ++written;
  }
  AllowRotation();
  if (written == 0 && HasNoColumns(reader)) {
    Log("The table has no columns (or every column was dropped): created without columns");
    AppendCreate(definition, table);
    definition += " (";
    table.MarkWithoutColumns();
    ++written;
  }
  if (written > 0) {
    definition += ");\n\n";
    definition.insert(0, notes);
    AppendTextStandIn(definition, table, textColumns);
    // One piece: a definition never spans two script files. A script of
    // rows only goes into tables that exist already, but the columns their
    // rows skip are settled here all the same.
    if (ScriptHoldsDefinitions()) {
      WriteScriptText(definition.c_str());
      NoteCreatedTable(table.schemaName().c_str(), table.tableName());
    }
    ++Run().tablesRecovered;
  }
  return 0;
}

}  // namespace vesk
