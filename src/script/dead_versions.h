// The dead row versions of the user tables, on request: after each table's
// live rows, a second scan of its heap hands every version that is not live
// to a companion table in deleted_N.sql (writer/deleted_script.h), so that
// the recovered script is the same with or without them.
#pragma once

#include <cstdint>

#include "catalog/recovered_table.h"
#include "catalog/type_record.h"

namespace vesk {

// At the start of Pass 2: opens deleted_1.sql with its explanation and
// forgets the tallies of an earlier run.
void BeginDeadVersions();
// Writes the dead versions of `table` (schema name may be null) into its
// companion table; 0, or -1000 when stopped.
int32_t RecoverDeadVersions(const RecoveredTable& table, const TypeRecord& rowType, const char* schema);
// The summary lines: dead versions of every table, by reason.
void ReportDeadVersions();

}  // namespace vesk
