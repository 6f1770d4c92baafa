#include "script/objects/schema_objects.h"

namespace vesk {

void WriteConstraintObjects() {}

}  // namespace vesk
