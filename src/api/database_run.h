// One database directory recovered into one result directory: its script
// files and loaders, the driver's two passes, and everything closed again.
#pragma once

#include <cstdint>
#include <string>

namespace vesk {

// Creates `resultDirectory`, opens its output files and runs the driver on
// the database directory holding `path`. Run().settings must be settled:
// the first line of every script file depends on them. Returns the
// driver's status, or VESK_CANNOT_CREATE_OUTPUT.
int32_t RecoverDatabaseInto(const char* path, const std::string& resultDirectory);

// Frees the catalogs of a run (also after it ended early).
void DestroyCatalogReaders();

}  // namespace vesk
