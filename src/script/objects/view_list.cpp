#include <string>
#include <vector>

#include "catalog/catalog_readers.h"
#include "catalog/schema_rules.h"
#include "script/objects/constraint_sql.h"
#include "script/objects/defined_objects.h"
#include "script/objects/schema_objects.h"
#include "script/type_name.h"
#include "script/writer/script_writer.h"
#include "support/recovery_run.h"
#include "vesk/veskdll.h"

namespace vesk {
namespace {

std::string ViewComment(const RecoveredTable& view, const DefinedObjects& objects) {
  std::string text = "View " + objects.CommentName(view.oid) +
                     " is not created: its definition is stored only as a node tree, which no current server "
                     "reads. Its columns:";
  // A view is no table the script creates: its columns come straight from
  // pg_attribute.
  std::vector<CatalogColumnDesc*> columns;
  if (Run().attributes != nullptr) Run().attributes->CollectColumns(view.oid, columns);
  std::string type;
  for (const CatalogColumnDesc* column : columns) {
    if (column->attisdropped) continue;
    type.clear();
    if (!AppendTypeName(type, column->atttypid, column->atttypmod)) type = "(type " + std::to_string(column->atttypid) + ")";
    text += "\n    " + QuoteName(column->attname) + " " + type;
  }
  return CommentLines(text) + "\n";
}

}  // namespace

void WriteViewList(const DefinedObjects& objects) {
  const VeskOptions& options = Run().options;
  if (options.schemaObjects == VESK_OBJECTS_NONE || options.content == VESK_CONTENT_DATA_ONLY) return;
  if (Run().classes == nullptr) return;
  TableReader& classes = Run().classes->reader();
  for (size_t i = 0; i < classes.RowCount(); ++i) {
    const auto* view = static_cast<const RecoveredTable*>(classes.RowAt(i));
    // The first row of an OID is the view; user schemas only.
    if (view->relkind != 'v' || !IsUserSchemaOid(view->relnamespace) || objects.ClassRow(view->oid) != view) continue;
    if (StopRequested()) return;
    WriteScriptText(ViewComment(*view, objects).c_str());
  }
}

}  // namespace vesk
