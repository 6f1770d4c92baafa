#include "catalog/pg_enum_table.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/scratch.h"
#include "types/scalar/output_guard.h"
#include "types/scalar/text_search_out.h"

namespace vesk {

char* enum_out(Datum d) {
  const uint32_t oid = static_cast<uint32_t>(d);
  const pg_enum_Table* enums = Run().enums;
  const char* label = enums != nullptr ? enums->FindLabel(oid) : nullptr;
  if (label == nullptr) {
    LogNumber("Cant find enum label with Oid ", static_cast<int>(oid));
    return nullptr;
  }
  return scalar::GuardOutput([&] { return ScratchDup(label); });
}

}  // namespace vesk
