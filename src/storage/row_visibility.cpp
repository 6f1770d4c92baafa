#include "storage/row_visibility.h"

#include "storage/commit_log.h"

namespace vesk {
namespace {

bool IsNormalXid(uint32_t xid) { return xid > kFrozenXid; }

class Judge {
 public:
  Judge(const RowVersion& row, const CommitLog* log) : row_(row), log_(log) {}

  bool Has(uint16_t bits) const { return (row_.infomask & bits) != 0; }

  // What the commit log says of `xid`. Where it cannot say, the callers
  // decide as the hint bits alone would: an unmarked transaction committed.
  XidOutcome Ask(uint32_t xid) {
    const XidOutcome outcome = log_->Outcome(xid);
    if (outcome == XidOutcome::kUnknown) verdict.guessed = true;
    return outcome;
  }

  // A hint bit is only ever set from the commit log's own answer, so the two
  // disagreeing means the log is not the one the rows were written with.
  void CompareHint(uint32_t xid, bool hintCommitted) {
    XidStatus status;
    if (log_ == nullptr || !IsNormalXid(xid) || !log_->Status(xid, &status)) return;
    verdict.compared = true;
    const XidOutcome outcome = log_->Outcome(xid);
    if (outcome != XidOutcome::kUnknown && (outcome == XidOutcome::kCommitted) != hintCommitted) {
      verdict.contradicted = true;
    }
  }

  bool InserterCommitted() {
    // Both bits at once no 8.x server writes; such a header is damaged, and
    // the row stays refused as it always was.
    if (Has(kInfoXminInvalid)) {
      if (!Has(kInfoXminCommitted)) CompareHint(row_.xmin, false);
      return false;
    }
    if (Has(kInfoXminCommitted)) {
      CompareHint(row_.xmin, true);
      return true;
    }
    if (log_ == nullptr) return true;
    // A row VACUUM FULL moved: the mover's fate decides which copy is real.
    if (Has(kInfoMovedOff)) return Ask(row_.xvac) != XidOutcome::kCommitted;
    if (Has(kInfoMovedIn)) return Ask(row_.xvac) != XidOutcome::kAborted;
    return Ask(row_.xmin) != XidOutcome::kAborted;
  }

  bool DeleterCommitted() {
    if (row_.xmax == kInvalidXid || Has(kInfoXmaxInvalid)) return false;
    if (Has(kInfoXmaxCommitted)) {
      if (!Has(kInfoXmaxIsMulti)) CompareHint(row_.xmax, true);
      return !Has(kInfoXmaxLockOnly);
    }
    // A row lock never deletes, whatever became of the lockers.
    if (Has(kInfoXmaxLockOnly)) return false;
    // A multi-transaction (in 8.x only ever a group of lockers, so the lock
    // bits come with it) is no transaction id: the commit log knows nothing
    // of that number. Without the lock bits the header is damaged.
    if (log_ == nullptr || Has(kInfoXmaxIsMulti)) return true;
    return Ask(row_.xmax) != XidOutcome::kAborted;
  }

  Visibility verdict;

 private:
  const RowVersion& row_;
  const CommitLog* log_;
};

}  // namespace

Visibility JudgeRow(const RowVersion& row, const CommitLog* log) {
  Judge judge(row, log);
  judge.verdict.inserted = judge.InserterCommitted();
  judge.verdict.live = judge.verdict.inserted && !judge.DeleterCommitted();
  return judge.verdict;
}

}  // namespace vesk
