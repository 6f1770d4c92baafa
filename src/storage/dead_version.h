// Why a stored row version is not one the server shows, told the way a user
// needs it: a row a committed DELETE removed, the old version an UPDATE
// replaced, a version written by a transaction that rolled back (or never
// finished), or the copy VACUUM FULL left behind when it moved a row.
#pragma once

#include <cstdint>

#include "storage/row_visibility.h"

namespace vesk {

enum class DeadReason : uint8_t {
  kDeleted,        // a committed transaction deleted it; nothing replaced it
  kUpdated,        // a committed transaction replaced it by a newer version
  kAbortedInsert,  // inserted by a transaction that rolled back or never finished
  kAbortedUpdate,  // the newer version of an UPDATE that rolled back or never finished
  kMovedByVacuum,  // the copy a VACUUM FULL move left; the row lives on elsewhere
};
inline constexpr int kDeadReasonCount = 5;

// The text the scripts and the log give for `reason`.
const char* DeadReasonText(DeadReason reason);

// Where a version sits, or where its t_ctid points.
struct ItemPointer {
  uint32_t block = 0;
  uint16_t item = 0;
};

struct DeadVersion {
  DeadReason reason = DeadReason::kDeleted;
  uint32_t xmin = 0;
  uint32_t xmax = 0;
  bool hasNewer = false;  // `newer` is the version an UPDATE wrote
  ItemPointer newer;
};

// The reason for a version that `verdict` (JudgeRow's) found not live.
// `self` is where the version sits and `ctid` its stored t_ctid: a deleted
// version points at itself, a replaced one at its successor.
DeadVersion DescribeDeadVersion(const RowVersion& row, const Visibility& verdict, ItemPointer self,
                                ItemPointer ctid);

}  // namespace vesk
