// The two-pass recovery driver: Pass 1 reads the catalogs, Pass 2 writes the
// definition and rows of every user table.
#pragma once

#include <cstdint>
#include <string>

namespace vesk {

// Runs the recovery of the database directory that holds `path`. Returns 0,
// -3 (nothing recovered), -4 (directory not found) or -1000 (stopped).
int32_t RunRecoveryDriver(const char* path);

// The directory part of `path` with one trailing separator, made absolute.
std::string DatabaseDirectoryOf(const char* path);

// The layout whose decoder keeps more pg_class rows of the current
// directory's "1259": 83, or 82 (also on a tie).
uint8_t DetectVersion();
// Pass 1 in Run().databaseDirectory: detects the layout and leaves the four
// catalog readers in Run(), writing the schema statements on the way.
// Returns 0, or -1000 when stopped.
int32_t ReadCatalogs();

}  // namespace vesk
