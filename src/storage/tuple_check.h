// Whether a tuple header can be one a server wrote. Random bytes and records
// cut across a torn page fail here, before any value is taken from them.
#pragma once

#include <cstdint>

#include "storage/record_layout.h"

namespace vesk {

// Flag bits no server of the layout sets, or sets together; null when none.
// Such a header cannot be trusted to tell a live row from a dead one either.
const char* TupleFlagProblem(const TableReader::RecordLayout& layout, const uint8_t* record);

// A t_hoff that is not where the null bitmap and the OID of the header end
// (rounded up to the server's MAXALIGN, 4 or 8); null when it is.
const char* TupleHeaderLengthProblem(const TableReader::RecordLayout& layout, const uint8_t* record);

}  // namespace vesk
