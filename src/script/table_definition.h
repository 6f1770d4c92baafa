// The CREATE TABLE statement of one recovered table.
#pragma once

#include <cstdint>

namespace vesk {

class pg_script_Table;

// Writes the definition of `table` as one piece of script text. A column
// whose type cannot be named is left out and marked lost (atttypid
// 0xFFFFFFFF, so its rows skip it too) and counted in the reader's
// lostColumns; a table without any nameable column gets no statement,
// unless it has no columns at all or every column was dropped: that table
// is created without columns (and marked so, for its rows).
// Counts the statement in tablesRecovered. Returns -1000 when stopped
// (nothing written), else 0.
int32_t WriteTableDefinition(pg_script_Table& table);

}  // namespace vesk
