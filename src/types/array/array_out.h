// Array output in the server's literal syntax, each element printed by its
// type's routine.
#pragma once

#include <cstdint>

#include "storage/datum.h"

namespace vesk {

char* array_out82(Datum d);
char* array_out83(Datum d);
// Element count of an array with these dimensions, or a failure (raised as
// ScratchException) for negative lengths, overflow or more than 268435455.
int32_t ArrayGetNItems(int32_t ndim, const int32_t* dims);

}  // namespace vesk
