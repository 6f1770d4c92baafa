#include "script/objects/schema_objects.h"

#include "script/objects/defined_objects.h"
#include "support/recovery_run.h"
#include "vesk/veskdll.h"

namespace vesk {

void WriteSchemaObjects() {
  if (Run().options.schemaObjects == VESK_OBJECTS_NONE) return;
  // Once for every object below: the tables Pass 2 defined are all known now.
  const DefinedObjects objects;
  WriteColumnObjects(objects);
  if (!ScriptHoldsDefinitions()) return;
  WriteConstraintObjects(objects);
  WriteInheritanceLinks(objects);
  WriteViewList(objects);
  WriteForeignKeys(objects);
}

void NoteDefinedTable(uint32_t oid, const std::string& schema, const char* table) {
  Run().tablesDefined.push_back({oid, QualifiedName(schema, table)});
}

}  // namespace vesk
