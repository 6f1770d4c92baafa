#include "storage/dead_version.h"

#include "storage/record_layout.h"

namespace vesk {

const char* DeadReasonText(DeadReason reason) {
  switch (reason) {
    case DeadReason::kDeleted:
      return "deleted";
    case DeadReason::kUpdated:
      return "updated";
    case DeadReason::kAbortedInsert:
      return "aborted insert";
    case DeadReason::kAbortedUpdate:
      return "aborted update";
    case DeadReason::kMovedByVacuum:
      return "moved by VACUUM FULL";
  }
  return "deleted";
}

DeadVersion DescribeDeadVersion(const RowVersion& row, const Visibility& verdict, ItemPointer self,
                                ItemPointer ctid) {
  DeadVersion dead;
  dead.xmin = row.xmin;
  dead.xmax = row.xmax;
  if (!verdict.inserted) {
    // A VACUUM FULL move marks both copies; the inserter of either is the
    // row's real one, so it is the move that made this copy dead.
    const bool moved = (row.infomask & (kInfoMovedOff | kInfoMovedIn)) != 0 && (row.infomask & kInfoXminInvalid) == 0;
    if (moved) {
      dead.reason = DeadReason::kMovedByVacuum;
    } else {
      dead.reason = (row.infomask & kInfoUpdated) != 0 ? DeadReason::kAbortedUpdate : DeadReason::kAbortedInsert;
    }
    return dead;
  }
  // An UPDATE leaves the old version's t_ctid on its successor; a DELETE
  // leaves it on the version itself.
  if (ctid.item != 0 && (ctid.block != self.block || ctid.item != self.item)) {
    dead.reason = DeadReason::kUpdated;
    dead.hasNewer = true;
    dead.newer = ctid;
  } else {
    dead.reason = DeadReason::kDeleted;
  }
  return dead;
}

}  // namespace vesk
