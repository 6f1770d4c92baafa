// The two fixed dispatch tables, one per layout.
#pragma once

#include <cstdint>

#include "storage/datum.h"
#include "types/registry/type_output.h"

namespace vesk::registry {

// The routine the table keys by `key`, or null when it has none; looked up
// once, it can serve every value of a column.
OutputRoutine FindRoutine82(uint32_t key);
OutputRoutine FindRoutine83(uint32_t key);

// Calls the routine keyed by `key` (a type OID, or in the 8.2 table also an
// output procedure OID) and stores its text in `text`. False, with `text`
// untouched, when the table has no such key.
bool Route82(uint32_t key, Datum d, int32_t typmod, char*& text);
bool Route83(uint32_t key, Datum d, int32_t typmod, char*& text);

}  // namespace vesk::registry
