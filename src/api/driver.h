// The two-pass recovery driver: Pass 1 reads the catalogs, Pass 2 writes the
// definition and rows of every user table.
#pragma once

#include <cstdint>
#include <string>

namespace vesk {

// Runs the recovery of the database directory that holds `path`. Returns 0,
// -3 (nothing recovered, or not one of the catalog's tables), -4 (directory
// not found), -9 (a server build that cannot be read) or -1000 (stopped).
int32_t RunRecoveryDriver(const char* path);

// The database directory that holds `path` (any file inside it), absolute,
// with one trailing path separator.
std::string DatabaseDirectoryOf(const char* path);

// The layout whose decoder keeps more pg_class rows of the current
// directory's "1259": 83, or 82 (also on a tie).
uint8_t DetectVersion();
// Pass 1 in Run().databaseDirectory: settles the server build and leaves
// the four catalog readers in Run(), writing the schema statements on the
// way. Returns 0, -1000 when stopped, or VESK_UNSUPPORTED_BUILD.
int32_t ReadCatalogs();

}  // namespace vesk
