#include "script/objects/schema_objects.h"

#include "support/recovery_run.h"
#include "vesk/veskdll.h"

namespace vesk {

void WriteSchemaObjects() {
  if (Run().options.schemaObjects == VESK_OBJECTS_NONE) return;
  WriteColumnObjects();
  WriteConstraintObjects();
  WriteViewList();
  WriteForeignKeys();
}

}  // namespace vesk
