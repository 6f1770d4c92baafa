#include "catalog/pg_constraint_table.h"
#include "script/objects/constraint_writers.h"
#include "script/objects/defined_objects.h"
#include "script/objects/schema_objects.h"
#include "support/recovery_run.h"
#include "vesk/veskdll.h"

namespace vesk {

bool ConstraintsWanted() {
  const VeskOptions& options = Run().options;
  return options.schemaObjects == VESK_OBJECTS_ALL && options.content != VESK_CONTENT_DATA_ONLY;
}

void WriteConstraintObjects(const DefinedObjects& objects) {
  if (!ConstraintsWanted()) return;
  pg_constraint_Table constraints(Run().version);
  if (constraints.ReadCatalog() != 0) return;
  if (!WriteKeysAndChecks(constraints, objects)) return;
  WriteIndexes(constraints, objects);
}

}  // namespace vesk
