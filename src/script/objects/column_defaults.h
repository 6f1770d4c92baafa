// The column defaults of pg_attrdef as ALTER TABLE ... SET DEFAULT
// statements, each checked against what its expression names first.
#pragma once

#include <vector>

#include "script/objects/defined_objects.h"
#include "script/objects/sequence_objects.h"

namespace vesk {

class pg_attrdef_Table;
class pg_depend_Table;

void WriteColumnDefaults(const pg_attrdef_Table& defaults, const pg_depend_Table& depend,
                         const DefinedObjects& objects, const std::vector<ScriptSequence>& sequences);

}  // namespace vesk
