// The files of a result directory: recovered_N.sql, the loader scripts that
// feed them to psql, and what those run: load.sql (the list of script files)
// and the guards load_check.sql and load_replace.sql, written when the run
// ends. Paths are "<directory>/<name>".
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace vesk {

// Creates recovered_1.sql (the current script file), the loader scripts and
// load.sql with its first line, and resets the counting writer; with a
// script sink in the run's options, only turns the sink on. On
// failure logs "Cannot write to result file %s" and returns false; files
// already created stay.
bool OpenOutputFiles(const std::string& directory);
// Opens recovered_<number>.sql in `directory` for writing (truncating), with
// a large buffer and the run's encoding declaration as its first line; null
// on failure.
FILE* CreateScriptFile(const std::string& directory, int32_t number, std::string& path);
// What every script file (and a script sink) begins with: the encoding
// declaration, and the settings the rows load faster with.
std::string ScriptHeader();
// Appends the load line of script file `number` to load.sql.
void AppendLoadLines(int32_t number);
// Closes the current script file and load.sql, and writes the load guards.
void CloseOutputFiles();

}  // namespace vesk
