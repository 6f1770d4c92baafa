// deleted_N.sql of the result directory and the loaders that feed it to psql
// (deleted_commit.bat, deleted_commit_trust.bat, and the .sh ones where
// batch files cannot run): the dead row versions, apart from the recovered
// script so that the live data's restore is the same with or without them.
// Split like the recovered script: the next file begins at a statement
// boundary once the current one holds 100 MiB.
#pragma once

#include <cstdint>
#include <string>

namespace vesk {

// Creates deleted_1.sql (beginning with the run's encoding declaration and
// `head`) and the loaders in `directory`. On failure logs "Cannot write to
// result file %s" and returns false; later writes are then dropped.
bool OpenDeletedScript(const std::string& directory, const std::string& head);
// Writes whole statements; the next file begins first when this one is full.
void WriteDeletedText(const std::string& text);
// Closes the current file and the loaders; nothing when none is open.
void CloseDeletedScript();
// Files deleted_N.sql begun so far (0 when none is open).
int32_t DeletedScriptFiles();

}  // namespace vesk
