#include <string>
#include <vector>

#include "catalog/pg_attrdef_table.h"
#include "catalog/pg_depend_table.h"
#include "script/objects/column_defaults.h"
#include "script/objects/defined_objects.h"
#include "script/objects/schema_objects.h"
#include "script/objects/sequence_objects.h"
#include "script/writer/script_writer.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "vesk/veskdll.h"

namespace vesk {
namespace {

// After the data and on its own per column: a value that had to become
// NULL because it could not be read costs this constraint, not the table's
// rows.
void WriteNotNull(const DefinedObjects& objects) {
  bool any = false;
  for (const RecoveryRun::DefinedTable& table : Run().tablesDefined) {
    const auto* columns = objects.Columns(table.oid);
    if (columns == nullptr) continue;
    for (const auto& [attnum, column] : *columns) {
      if (!column->attnotnull) continue;
      WriteScriptText(("ALTER TABLE ONLY " + table.name + " ALTER COLUMN " + QuoteName(column->attname) +
                       " SET NOT NULL;\n")
                          .c_str());
      any = true;
    }
  }
  if (any) WriteScriptText("\n");
}

}  // namespace

void WriteColumnObjects(const DefinedObjects& objects) {
  AllowRotation();
  Log("START: Write sequences, defaults and NOT NULL.");
  int32_t status = 0;
  const std::vector<ScriptSequence> sequences = FindSequences(objects, status);
  if (status == kStopped) return;
  const uint8_t version = Run().version;
  if (ScriptHoldsDefinitions()) WriteSequenceDefinitions(sequences);
  if (ScriptHoldsRows()) WriteSequenceValues(sequences);
  if (!ScriptHoldsDefinitions()) return;

  pg_depend_Table depend(version);
  if (depend.ReadDependencies() != 0) return;
  WriteSequenceOwners(sequences, depend, objects);
  pg_attrdef_Table defaults(version);
  if (defaults.ReadDefaults() != 0) return;
  WriteColumnDefaults(defaults, depend, objects, sequences);
  WriteScriptText("\n");
  if (Run().options.schemaObjects != VESK_OBJECTS_NO_CONSTRAINTS) WriteNotNull(objects);
  Log("END: Write sequences, defaults and NOT NULL.");
}

}  // namespace vesk
