// Naming of a run's result directory: "<prefix>Recovered <db> <date> <time>".
#pragma once

#include <string>

#include "platform/platform.h"

namespace vesk {

// "6-Dec-2026 09.55.27": day without leading zero, month abbreviation ("error"
// outside 1..12), year of at least four digits, then hh.mm.ss.
std::string RunTimeText(const platform::LocalTime& time);
// Name of the database directory holding `path`: the last component of the
// text before its last separator, without its extension ("my.db" -> "my").
// A path without a separator names a file in the current directory.
std::string DatabaseDirectoryName(const std::string& path);
// The full result directory path. A relative result is made absolute against
// the current directory: the run changes directory before it writes later
// script files there.
std::string ResultDirectoryPath(const std::string& prefix, const std::string& path,
                                const platform::LocalTime& time);
// The same for a database known by its name rather than its directory.
std::string NamedResultDirectoryPath(const std::string& prefix, const std::string& name,
                                     const platform::LocalTime& time);
// `name` as one component of a path on any system: separators, characters
// Windows refuses and control characters become '_'; "", "." and ".." are
// given as "_" plus the name.
std::string SafeFileName(const std::string& name);
// Creates the result directory `directory`. When its name is taken and
// `numberOnCollision` holds, tries "<directory> (2)", "(3)", ... and leaves
// the name it made in `directory`. False (with the system's reason logged)
// when none could be made. The old entry point's callers expect a second run
// within the same second to fail on the existing name.
bool MakeResultDirectory(std::string& directory, bool numberOnCollision);

}  // namespace vesk
