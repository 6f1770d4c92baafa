// The loaders of a result directory. commit.sh / commit.bat SERVER DATABASE
// USER [PORT] and commit_trust.sh / commit_trust.bat SERVER DATABASE [PORT]
// (for servers that trust the connecting user) run one psql session on
// load.sql: the guard (load_check.sql, or load_replace.sql with --replace),
// then every recovered_N.sql; they log to load.log, count the statements
// that failed and say so in their exit status.
#pragma once

#include <string>

#include "script/writer/load_guard.h"

namespace vesk {

// load.sql: its head, then one line per script file (printf format, %d the
// file's number).
extern const char kLoadListHead[];
extern const char kLoadListLine[];

// The whole text of a loader; `withUser` makes commit.*, else commit_trust.*.
// The dead row versions' loaders are the same programs over their own
// files: deleted_commit.* running deleted_load.sql, guarded by
// deleted_load_check.sql, logged to deleted_load.log.
std::string ShellLoaderText(bool withUser, LoadSet set = LoadSet::kRecovered);
// Lines end with a carriage return and a line feed, as cmd needs them to
// find its labels reliably.
std::string BatchLoaderText(bool withUser, LoadSet set = LoadSet::kRecovered);
// load.sql's head for `set` (kLoadListHead, or its deleted_ form).
std::string LoadListHead(LoadSet set);
// The file names of the loaders and their files, deleted_ before each of
// them for the dead row versions.
std::string ForLoadSet(const std::string& text, LoadSet set);

// `text` with every line feed preceded by a carriage return.
std::string WithCrLf(const std::string& text);

}  // namespace vesk
