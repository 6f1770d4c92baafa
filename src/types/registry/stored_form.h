// Whether a value stored in a row can be one the server wrote for its type.
// A value no server could have stored means its bytes are not what they
// claim to be: the value is lost and counted rather than printed.
#pragma once

#include <cstdint>

#include "storage/column_desc.h"
#include "storage/datum.h"

namespace vesk {

// Why the value of `column` (a decoded, non-null datum of layout `version`)
// cannot be stored that way; null when it can, or when its type has no rule
// or the value is not stored whole in the row (compressed, out of line).
const char* StoredFormProblem(uint8_t version, const CatalogColumnDesc& column, Datum datum);
// Whether StoredFormProblem has a rule for the type at all, so that a table's
// plan can leave the call out for every other column.
bool HasStoredFormRule(uint32_t typeOid);

}  // namespace vesk
