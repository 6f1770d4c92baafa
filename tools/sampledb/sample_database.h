// A small but complete database directory in the 8.2 or 8.3 layout: the
// catalogs pg_class, pg_attribute, pg_type (only the user row types: the
// built-in ones come from the engine's own image) and pg_namespace, a user
// schema, and a few user tables of varied column types with some rows.
#pragma once

#include <string>

#include "heapbuilder/heap_builder.h"

namespace vesk::sampledb {

// Writes the database files into `directory` (which must exist), as the
// server `build` (alignment, date/time storage) would have. False when a
// file cannot be written.
bool WriteSampleDatabase(int version, const std::string& directory, const heapbuilder::ServerBuild& build = {});

}  // namespace vesk::sampledb
