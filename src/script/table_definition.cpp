#include "script/table_definition.h"

#include <string>

#include "script/script_table.h"
#include "script/type_name.h"
#include "script/user_types.h"
#include "script/writer/load_guard.h"
#include "script/writer/script_writer.h"
#include "support/logger.h"
#include "support/recovery_run.h"

namespace vesk {
namespace {

void AppendHead(std::string& out, pg_script_Table& table) {
  out += "CREATE TABLE ";
  if (!table.schemaName().empty()) {
    out += QuoteName(table.schemaName().c_str());
    out += '.';
  }
  out += QuoteName(table.tableName());
  out += "\n(\n";
}

}  // namespace

int32_t WriteTableDefinition(pg_script_Table& table) {
  TableReader& reader = table.reader();
  Log("-*-*-*-*-*-*-*-*-*-*-*-*-*-*-");
  LogValue("Create script for table ", reader.tableName);
  LogFormat("Number of columns of table %i", static_cast<int>(reader.columns.size()));
  if (DefineUserTypes(reader.columns) == kStopped) return kStopped;

  std::string definition;
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
    if (written == 0) {
      AppendHead(definition, table);
    } else {
      definition += ",\n";
    }
    definition += QuoteName(column.attname);
    definition += ' ';
    definition += typeName;
    ++written;
  }
  AllowRotation();
  if (written > 0) {
    definition += ");\n\n";
    // One piece: a definition never spans two script files.
    WriteScriptText(definition.c_str());
    NoteCreatedTable(table.schemaName().c_str(), table.tableName());
    ++Run().tablesRecovered;
  }
  return 0;
}

}  // namespace vesk
