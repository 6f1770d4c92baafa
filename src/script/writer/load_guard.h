// What a recovery's script creates, kept so that its loaders can refuse a
// second load into a database that holds the tables already (the rows would
// be doubled), or drop them first when asked to replace them.
//
//   load_check.sql    fails (under ON_ERROR_STOP) naming every table of the
//                     recovery the database holds already
//   load_replace.sql  drops them, then the recovery's other objects and its
//                     schemas, in one transaction
#pragma once

#include <string>

namespace vesk {

// The two loads of a result directory: the recovered script, and the dead
// row versions of deleted_N.sql, whose guards are deleted_load_check.sql and
// deleted_load_replace.sql.
enum class LoadSet { kRecovered, kDeleted };

// Starts new lists, both sets (a new result directory).
void ForgetCreatedObjects();
// The script created schema `name`.
void NoteCreatedSchema(const char* name);
// The script created table `name` in `schema` (null or empty: unqualified,
// in the first schema of the search path).
void NoteCreatedTable(const char* schema, const char* name, LoadSet set = LoadSet::kRecovered);
// The script created another object: `kind` as DROP names it ("TYPE",
// "SEQUENCE"), `quotedName` as the script wrote it. Dropped after the tables,
// latest first, without CASCADE: an object the user's own tables use stops
// the replacement rather than cutting columns out of them.
void NoteCreatedObject(const char* kind, const std::string& quotedName);

// The texts of the two files, from the objects noted so far.
std::string LoadCheckText(LoadSet set = LoadSet::kRecovered);
std::string LoadReplaceText(LoadSet set = LoadSet::kRecovered);
// Writes load_check.sql and load_replace.sql (deleted_... for the dead
// versions) into `directory`; false (logged as "Cannot write to result file
// %s") when one cannot be written.
bool WriteLoadGuards(const std::string& directory, LoadSet set = LoadSet::kRecovered);

}  // namespace vesk
