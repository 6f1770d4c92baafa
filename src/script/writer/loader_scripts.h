// The loaders of a result directory. commit.sh / commit.bat SERVER DATABASE
// USER [PORT] and commit_trust.sh / commit_trust.bat SERVER DATABASE [PORT]
// (for servers that trust the connecting user) run one psql session on
// load.sql: the guard (load_check.sql, or load_replace.sql with --replace),
// then every recovered_N.sql; they log to load.log, count the statements
// that failed and say so in their exit status.
#pragma once

#include <string>

namespace vesk {

// load.sql: its head, then one line per script file (printf format, %d the
// file's number).
extern const char kLoadListHead[];
extern const char kLoadListLine[];

// The whole text of a loader; `withUser` makes commit.*, else commit_trust.*.
std::string ShellLoaderText(bool withUser);
// Lines end with a carriage return and a line feed, as cmd needs them to
// find its labels reliably.
std::string BatchLoaderText(bool withUser);

// `text` with every line feed preceded by a carriage return.
std::string WithCrLf(const std::string& text);

}  // namespace vesk
