// The cluster's record of how each transaction ended: pg_clog (two status
// bits per transaction) and, for sub-transactions, pg_subtrans (the parent of
// each one). Both are read a page at a time, on demand, into a small cache,
// so a lookup costs the same however long the cluster has lived.
//
// Every answer is as the server would give it once restarted after its stop:
// a transaction that was still running then never committed.
//
// Not locked: used by the one thread that decodes records.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace vesk {

// The two status bits as stored.
enum class XidStatus : uint8_t {
  kInProgress = 0,
  kCommitted = 1,
  kAborted = 2,
  kSubCommitted = 3,
};

// What a lookup concluded.
enum class XidOutcome : uint8_t {
  kCommitted,
  kAborted,  // rolled back, or still running when the server stopped
  kUnknown,  // the files do not cover this transaction
};

inline constexpr uint32_t kInvalidXid = 0;
inline constexpr uint32_t kBootstrapXid = 1;
inline constexpr uint32_t kFrozenXid = 2;

// One directory of 8192-byte pages, 32 pages per segment file named by the
// segment number in four upper-case hex digits.
class SlruDirectory {
 public:
  // Either several entries share a byte (clog: 4) or one entry spans
  // several bytes (pg_subtrans: 4); the other figure is 1.
  SlruDirectory(std::string directory, uint32_t bytesPerEntry, uint32_t entriesPerByte);

  // The bytes holding the entry of `xid`, null when the segment is missing
  // or ends before it. Valid until the next call.
  const uint8_t* EntryOf(uint32_t xid);

  bool present() const { return present_; }
  const std::string& directory() const { return directory_; }
  // Segment files looked for and not found (or cut short) so far.
  const std::set<uint32_t>& missingSegments() const { return missing_; }

 private:
  struct Page {
    uint32_t number = UINT32_MAX;
    uint32_t length = 0;  // bytes actually read
    uint64_t lastUse = 0;
    std::vector<uint8_t> bytes;
  };
  Page& Load(uint32_t pageNumber);

  std::string directory_;
  uint32_t bytesPerEntry_;
  uint32_t entriesPerByte_;
  uint32_t entriesPerPage_;
  bool present_ = false;
  uint64_t clock_ = 0;
  std::array<Page, 16> cache_{};
  std::set<uint32_t> missing_;
};

class CommitLog {
 public:
  // The commit log of the cluster whose directory is `clusterDirectory`
  // (holding pg_clog and perhaps pg_subtrans); null when it has no pg_clog.
  static std::unique_ptr<CommitLog> Open(const std::string& clusterDirectory);
  CommitLog(const std::string& clogDirectory, const std::string& subtransDirectory);

  // Outcome of `xid`; special ids are answered without the files (invalid:
  // aborted; bootstrap and frozen: committed).
  XidOutcome Outcome(uint32_t xid) const;
  // The stored status bits; false when the clog does not cover `xid`.
  bool Status(uint32_t xid, XidStatus* status) const;
  // The parent recorded for a sub-transaction; 0 when unknown.
  uint32_t ParentOf(uint32_t xid) const;

  // Transactions from `nextXid` on (the next id when the last checkpoint
  // began) that the log shows as still running may have ended after its
  // pages were last written: their outcome is unknown, not rolled back.
  void SetCheckpointNextXid(uint32_t nextXid) {
    checkpointNextXid_ = nextXid;
    knowsCheckpoint_ = true;
  }

  const std::string& directory() const { return clog_.directory(); }
  // Clog segments found missing or short so far.
  const std::set<uint32_t>& missingSegments() const { return clog_.missingSegments(); }

 private:
  bool BeganAfterCheckpoint(uint32_t xid) const;

  mutable SlruDirectory clog_;
  mutable SlruDirectory subtrans_;
  uint32_t checkpointNextXid_ = 0;
  bool knowsCheckpoint_ = false;
};

}  // namespace vesk
