// The steps of the constraint objects, each over the catalogs it needs.
#pragma once

#include "catalog/pg_constraint_table.h"
#include "script/objects/defined_objects.h"

namespace vesk {

// Primary keys, unique and check constraints of the recreated tables.
// False when stopped.
bool WriteKeysAndChecks(const pg_constraint_Table& constraints, const DefinedObjects& objects);
// Indexes of the recreated tables that no key already makes. False when
// stopped.
bool WriteIndexes(const pg_constraint_Table& constraints, const DefinedObjects& objects);

// Keys, checks, indexes and foreign keys are wanted in this run.
bool ConstraintsWanted();

}  // namespace vesk
