// Decoding a tuple held in memory rather than in a page: the stored form of
// a composite (row) value, whose header overlays a tuple header.
#pragma once

#include <cstdint>
#include <vector>

#include "storage/column_desc.h"
#include "storage/datum.h"

namespace vesk {

// A row value is at most one TOAST-rebuilt datum; anything longer is damage.
inline constexpr uint32_t kMaxTupleBytes = 0x3FFFFFFF;

// Decodes the attributes of the tuple at `tuple` (its header at offset 0,
// `size` bytes in all, the layout's tuple header) over `columns` with the
// record decoder's rules. The buffer must be readable for kTupleSpare bytes
// past `size`. Values point into `tuple`. False when the header cannot be a
// tuple's, a damaged length or offset cut the walk short (logged), or the
// break byte was set.
bool DecodeTupleValues(bool is83, const uint8_t* tuple, uint32_t size,
                       const std::vector<CatalogColumnDesc*>& columns, int32_t columnLimit, RowValues& values);

// Bytes a decoder may read past a value's end while it checks a length.
inline constexpr uint32_t kTupleSpare = 16;

}  // namespace vesk
