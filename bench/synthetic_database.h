// A large synthetic 8.3 database for benchmarks: the bundled sample's
// catalogs with its "customers" table grown to many rows of bulk-like data
// (integer, text, varchar, numeric, boolean, float8, date, timestamp, text[]
// and nulls), written page batch by page batch so memory stays small.
#pragma once

#include <cstdint>
#include <string>

namespace vesk::bench {

// Writes the database into `directory` (created beforehand). False on a
// write failure.
bool WriteSyntheticDatabase(const std::string& directory, uint32_t rows);

}  // namespace vesk::bench
