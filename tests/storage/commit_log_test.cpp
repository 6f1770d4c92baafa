// Transaction outcomes from pg_clog and pg_subtrans files made by our
// builder, and the rows the decoder keeps under them in both layouts.
#include <gtest/gtest.h>

#include <filesystem>

#include "storage/commit_log.h"
#include "storage/row_visibility.h"
#include "storage_test_support.h"

namespace vesk::storage_test {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kSegmentXids = 32 * 8192 * 4;

constexpr uint32_t kCommitted = 100;
constexpr uint32_t kAborted = 101;
constexpr uint32_t kRunning = 102;       // still in progress when the server stopped
constexpr uint32_t kSubOfCommitted = 103;
constexpr uint32_t kSubOfAborted = 104;
constexpr uint32_t kSubOrphan = 105;     // pg_subtrans has no parent for it
constexpr uint32_t kSubOfSub = 106;      // parent 103, whose parent committed
constexpr uint32_t kSubOfNewer = 107;    // a parent younger than the child: damage
constexpr uint32_t kUncovered = 3 * kSegmentXids + 7;  // its segment is missing
constexpr uint32_t kUnused = 200;        // on a written page, status never set

// A cluster directory with both files written.
class ClusterLog {
 public:
  explicit ClusterLog(bool withSubtrans = true) {
    fs::create_directory(dir_ / "pg_clog");
    hb::WriteClog(dir_ / "pg_clog", {{kCommitted, hb::kXactCommitted},
                                     {kAborted, hb::kXactAborted},
                                     {kRunning, hb::kXactInProgress},
                                     {kSubOfCommitted, hb::kXactSubCommitted},
                                     {kSubOfAborted, hb::kXactSubCommitted},
                                     {kSubOrphan, hb::kXactSubCommitted},
                                     {kSubOfSub, hb::kXactSubCommitted},
                                     {kSubOfNewer, hb::kXactSubCommitted},
                                     {kSegmentXids + 5, hb::kXactCommitted},
                                     {10 * kSegmentXids + 3, hb::kXactAborted}});
    if (!withSubtrans) return;
    fs::create_directory(dir_ / "pg_subtrans");
    hb::WriteSubtrans(dir_ / "pg_subtrans", {{kSubOfCommitted, kCommitted},
                                             {kSubOfAborted, kAborted},
                                             {kSubOfSub, kSubOfCommitted},
                                             {kSubOfNewer, 5000}});
  }
  std::unique_ptr<CommitLog> Open() const { return CommitLog::Open(dir_.path()); }
  std::string operator/(const std::string& name) const { return dir_ / name; }

 private:
  TempDir dir_;
};

TEST(CommitLog, OutcomeOfEveryKindOfTransaction) {
  LogCapture log;
  ClusterLog files;
  const auto clog = files.Open();
  ASSERT_NE(clog, nullptr);
  struct Case {
    uint32_t xid;
    XidOutcome outcome;
  };
  const Case cases[] = {
      {0, XidOutcome::kAborted},  // invalid
      {1, XidOutcome::kCommitted},  // bootstrap
      {2, XidOutcome::kCommitted},  // frozen
      {kCommitted, XidOutcome::kCommitted},
      {kAborted, XidOutcome::kAborted},
      {kRunning, XidOutcome::kAborted},
      {kSubOfCommitted, XidOutcome::kCommitted},
      {kSubOfAborted, XidOutcome::kAborted},
      {kSubOrphan, XidOutcome::kAborted},
      {kSubOfSub, XidOutcome::kCommitted},
      {kSubOfNewer, XidOutcome::kUnknown},
      {kUnused, XidOutcome::kAborted},          // never ended: running at the stop
      {8192 * 4 + 1, XidOutcome::kUnknown},     // past the segment's last page
      {kSegmentXids + 5, XidOutcome::kCommitted},  // segment "0001"
      {10 * kSegmentXids + 3, XidOutcome::kAborted},  // segment "000A"
      {kUncovered, XidOutcome::kUnknown},
      {0xFFFFFFFFu, XidOutcome::kUnknown},
  };
  for (const Case& c : cases) EXPECT_EQ(clog->Outcome(c.xid), c.outcome) << "xid " << c.xid;
  // Asked twice, reported once per segment.
  EXPECT_EQ(clog->Outcome(kUncovered), XidOutcome::kUnknown);
  EXPECT_EQ(log.Count("Segment 0003 of "), 1);
  EXPECT_EQ(log.Count("Segment 0000 of "), 1);
}

// After a crash the log on disk may not yet say how transactions that began
// after the last checkpoint ended; those it shows running stay unknown.
TEST(CommitLog, RunningSinceTheLastCheckpointIsUnknown) {
  ClusterLog files;
  const auto clog = files.Open();
  clog->SetCheckpointNextXid(kRunning);
  EXPECT_EQ(clog->Outcome(kAborted), XidOutcome::kAborted);
  EXPECT_EQ(clog->Outcome(kRunning), XidOutcome::kUnknown);
  EXPECT_EQ(clog->Outcome(kUnused), XidOutcome::kUnknown);
  EXPECT_EQ(clog->Outcome(kSubOfAborted), XidOutcome::kAborted);
  EXPECT_EQ(clog->Outcome(kSubOfCommitted), XidOutcome::kCommitted);
  clog->SetCheckpointNextXid(0xFFFFFF00u);  // ids wrap around: 102 comes after it
  EXPECT_EQ(clog->Outcome(kRunning), XidOutcome::kUnknown);
}

TEST(CommitLog, SubCommittedWithoutSubtransIsTakenForAborted) {
  ClusterLog files(false);
  const auto clog = files.Open();
  ASSERT_NE(clog, nullptr);
  EXPECT_EQ(clog->Outcome(kSubOfCommitted), XidOutcome::kAborted);
  EXPECT_EQ(clog->Outcome(kCommitted), XidOutcome::kCommitted);
}

TEST(CommitLog, TruncatedSegmentCoversWhatItHolds) {
  ClusterLog files;
  fs::resize_file(files / "pg_clog/0000", kSubOfCommitted / 4 + 1);  // ends after 100..103
  const auto clog = files.Open();
  EXPECT_EQ(clog->Outcome(kAborted), XidOutcome::kAborted);
  EXPECT_EQ(clog->Outcome(kSubOfCommitted), XidOutcome::kCommitted);
  EXPECT_EQ(clog->Outcome(kSubOfAborted), XidOutcome::kUnknown);
}

// One row per case, its index as the value; the decoder keeps the live ones.
struct RowCase {
  uint32_t xmin;
  uint32_t xmax;
  uint16_t infomask;
  uint32_t xvac;
  bool live;
};

class VisibilityRows : public ::testing::TestWithParam<hb::Layout> {};

TEST_P(VisibilityRows, HintBitsFirstThenTheCommitLog) {
  constexpr uint16_t kOff = 0x4000, kIn = 0x8000, kMulti = 0x1000;
  const std::vector<RowCase> cases = {
      {kCommitted, 0, 0, 0, true},
      {kAborted, 0, 0, 0, false},  // rolled-back insert
      {kRunning, 0, 0, 0, false},  // inserter still running at the stop
      {kSubOfCommitted, 0, 0, 0, true},
      {kSubOfAborted, 0, 0, 0, false},
      {kUncovered, 0, 0, 0, true},  // guessed: as the hint bits alone would
      {0, 0, 0, 0, false},
      {2, 0, 0, 0, true},
      {kCommitted, kCommitted, 0, 0, false},  // deleted
      {kCommitted, kAborted, 0, 0, true},     // rolled-back delete or update
      {kCommitted, kRunning, 0, 0, true},     // delete still running at the stop
      {kCommitted, kSubOfCommitted, 0, 0, false},
      {kCommitted, kUncovered, 0, 0, false},  // guessed
      {kCommitted, kCommitted, hb::kXmaxExclLock, 0, true},
      {kCommitted, kCommitted, hb::kXmaxSharedLock | hb::kXmaxCommitted, 0, true},
      {kCommitted, kAborted, kMulti | hb::kXmaxExclLock, 0, true},
      {kCommitted, kAborted, kMulti, 0, false},  // damaged: a multi without lock bits
      {kCommitted, 0, hb::kXminCommitted | hb::kXminInvalid, 0, false},  // damaged: both bits
      {kAborted, 0, hb::kXminCommitted, 0, true},                            // hint wins (contradicts)
      {kCommitted, 0, hb::kXminInvalid, 0, false},                           // hint wins (contradicts)
      {kCommitted, kAborted, hb::kXmaxCommitted, 0, false},                  // hint wins (contradicts)
      {kCommitted, kCommitted, hb::kXmaxInvalid, 0, true},                   // locker's hint
      {kAborted, kAborted, hb::kXminCommitted | hb::kXmaxInvalid, 0, true},  // contradicts
      {kCommitted, 0, kOff, kCommitted, false},  // VACUUM FULL moved it away
      {kCommitted, 0, kOff, kAborted, true},
      {kAborted, 0, kIn, kCommitted, true},      // VACUUM FULL moved it here
      {kCommitted, 0, kIn, kAborted, false},
  };
  ClusterLog files;
  const auto clog = files.Open();
  ASSERT_NE(clog, nullptr);
  vesk::Run().settings.commitLog = clog.get();

  const hb::Layout layout = GetParam();
  Columns columns({Int4Col()});
  hb::RelationBuilder rel(layout, columns.specs());
  std::vector<int32_t> expected;
  for (size_t i = 0; i < cases.size(); ++i) {
    hb::TupleSpec t;
    t.xmin = cases[i].xmin;
    t.xmax = cases[i].xmax;
    t.infomask = cases[i].infomask;
    (layout == hb::Layout::k82 ? t.cmax : t.cmin) = cases[i].xvac;  // where t_xvac is kept
    rel.AddRow({hb::Int32(static_cast<int32_t>(i))}, t);
    if (cases[i].live) expected.push_back(static_cast<int32_t>(i));
  }
  ReaderUnderTest r(layout, columns);
  const int status = r.Read(rel.Bytes());
  vesk::Run().settings.commitLog = nullptr;
  ASSERT_EQ(status, 0);
  std::vector<int32_t> kept;
  for (const SeenRow& row : r.recorder.rows) kept.push_back(static_cast<int32_t>(row.cells[0].datum));
  EXPECT_EQ(kept, expected);
  EXPECT_EQ(r.reader->rowsGuessed, 2);
  EXPECT_EQ(r.reader->hintConflicts, 4);
}

INSTANTIATE_TEST_SUITE_P(Layouts, VisibilityRows, ::testing::Values(hb::Layout::k82, hb::Layout::k83),
                         LayoutParamName);

}  // namespace
}  // namespace vesk::storage_test
