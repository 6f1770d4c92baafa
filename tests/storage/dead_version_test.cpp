// Why a version is dead, from its header alone (no commit log: the hint bits
// decide, as they do for a lone database directory).
#include <gtest/gtest.h>

#include "storage/dead_version.h"
#include "storage/record_layout.h"

namespace vesk {
namespace {

TEST(DeadVersion, ReasonFollowsHintBitsAndCtid) {
  constexpr ItemPointer kSelf{3, 7};
  struct Case {
    const char* what;
    uint16_t infomask;
    uint32_t xmax;
    ItemPointer ctid;
    bool live;
    DeadReason reason;
    bool hasNewer;
  };
  const Case cases[] = {
      {"committed delete", kInfoXminCommitted | kInfoXmaxCommitted, 20, kSelf, false, DeadReason::kDeleted, false},
      {"deleter not marked", kInfoXminCommitted, 20, kSelf, false, DeadReason::kDeleted, false},
      {"committed update", kInfoXminCommitted | kInfoXmaxCommitted, 20, {4, 1}, false, DeadReason::kUpdated, true},
      {"HOT update on the page", kInfoXminCommitted, 20, {3, 9}, false, DeadReason::kUpdated, true},
      {"rolled-back insert", kInfoXminInvalid | kInfoXmaxInvalid, 0, kSelf, false, DeadReason::kAbortedInsert, false},
      {"rolled-back update's version", kInfoXminInvalid | kInfoXmaxInvalid | kInfoUpdated, 0, kSelf, false,
       DeadReason::kAbortedUpdate, false},
      {"rolled-back insert, locked", kInfoXminInvalid | kInfoXmaxExclLock, 20, kSelf, false,
       DeadReason::kAbortedInsert, false},
      {"locked only: live", kInfoXminCommitted | kInfoXmaxExclLock, 20, kSelf, true, DeadReason::kDeleted, false},
      {"rolled-back delete: live", kInfoXminCommitted | kInfoXmaxInvalid, 20, kSelf, true, DeadReason::kDeleted,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const RowVersion row{10, c.xmax, 0, c.infomask};
    const Visibility verdict = JudgeRow(row, nullptr);
    EXPECT_EQ(verdict.live, c.live);
    if (c.live) continue;
    const DeadVersion dead = DescribeDeadVersion(row, verdict, kSelf, c.ctid);
    EXPECT_STREQ(DeadReasonText(dead.reason), DeadReasonText(c.reason));
    EXPECT_EQ(dead.hasNewer, c.hasNewer);
    EXPECT_EQ(dead.xmin, 10u);
    EXPECT_EQ(dead.xmax, c.xmax);
    if (c.hasNewer) {
      EXPECT_EQ(dead.newer.block, c.ctid.block);
      EXPECT_EQ(dead.newer.item, c.ctid.item);
    }
  }
}

}  // namespace
}  // namespace vesk
