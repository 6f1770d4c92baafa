// The commit log of the cluster around the database directory: found, held
// against the hint bits of pg_class, and handed to the decoders through
// Run().settings for the rest of the run.
#pragma once

#include <cstdint>
#include <string>

namespace vesk {

// Looks for pg_clog two levels above `databaseDirectory` (a base/<oid>
// directory inside its cluster). Logs, and tells the front end, when the
// hint bits alone will decide. `version` is the on-disk layout.
void OpenClusterCommitLog(const std::string& databaseDirectory, uint8_t version);
// Ends the run's use of the commit log and frees it.
void CloseClusterCommitLog();

}  // namespace vesk
