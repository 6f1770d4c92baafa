#include "script/objects/schema_objects.h"

namespace vesk {

void WriteColumnObjects() {}

}  // namespace vesk
