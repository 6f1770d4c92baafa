// The two fixed dispatch tables, one per layout.
#pragma once

#include <cstdint>

#include "storage/datum.h"

namespace vesk::registry {

// Calls the routine keyed by `key` (a type OID, or in the 8.2 table also an
// output procedure OID) and stores its text in `text`. False, with `text`
// untouched, when the table has no such key.
bool Route82(uint32_t key, Datum d, int32_t typmod, char*& text);
bool Route83(uint32_t key, Datum d, int32_t typmod, char*& text);

}  // namespace vesk::registry
