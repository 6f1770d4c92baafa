#include "script/base_type.h"

#include "catalog/catalog_readers.h"
#include "support/recovery_run.h"

namespace vesk {

const TypeRecord* LookupType(uint32_t oid) {
  pg_type_Table* types = Run().types;
  return types != nullptr ? types->LookupTypeByOid(oid) : nullptr;
}

const TypeRecord* ResolveDomain(const TypeRecord* type, int32_t& typmod) {
  for (int depth = 0; type != nullptr && type->typtype == 'd'; ++depth) {
    if (depth == kMaxDomainDepth) return nullptr;
    if (typmod < 0) typmod = type->typtypmod;
    type = LookupType(type->typbasetype);
  }
  return type;
}

}  // namespace vesk
