// The two-pass recovery driver: Pass 1 reads the catalogs, Pass 2 writes the
// definition and rows of every user table.
#pragma once

#include <cstdint>

namespace vesk {

// Runs the recovery of the database directory that holds `path`. Returns 0,
// -3 (nothing recovered), -4 (directory not found) or -1000 (stopped).
int32_t RunRecoveryDriver(const char* path);

}  // namespace vesk
