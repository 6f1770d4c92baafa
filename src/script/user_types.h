// The enum and composite types that user tables use, created by the script
// before the first table that needs them so that their columns keep their
// types. A type the script cannot create (no labels, a lost column, a row
// type of a table) stays undefined and its columns are declared as text,
// which still loads every value's text.
#pragma once

#include <cstdint>
#include <vector>

#include "storage/column_desc.h"

namespace vesk {

// Forgets the types defined so far: a new script begins.
void ForgetDefinedTypes();

// Writes one CREATE TYPE statement for every enum and standalone composite
// type that `columns` use (directly, as array elements, under domains or
// inside other composite types) and that is not defined yet, the types a
// composite needs before it. Returns -1000 when stopped, else 0.
int32_t DefineUserTypes(const std::vector<CatalogColumnDesc*>& columns);

// True when the script has created the enum or composite type `typeOid`.
bool IsDefinedUserType(uint32_t typeOid);

}  // namespace vesk
