#include "support/scan_progress.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "support/recovery_run.h"

namespace vesk {
namespace {

struct Heard {
  std::vector<std::pair<std::string, int>> steps;
  std::vector<VeskRunProgress> run;
};

void VESK_CALL OnProgress(const char* stage, int32_t percent, intptr_t user) {
  reinterpret_cast<Heard*>(user)->steps.emplace_back(stage, percent);
}

void VESK_CALL OnRunProgress(const VeskRunProgress* progress, intptr_t user) {
  reinterpret_cast<Heard*>(user)->run.push_back(*progress);
  reinterpret_cast<Heard*>(user)->run.back().table = nullptr;
}

class ScanProgressTest : public ::testing::Test {
 protected:
  ScanProgressTest() {
    RecoveryRun& run = vesk::Run();
    saved_ = {run.progress, run.options.runProgress, run.user};
    run.progress = OnProgress;
    run.options.runProgress = OnRunProgress;
    run.user = reinterpret_cast<intptr_t>(&heard_);
  }
  ~ScanProgressTest() override {
    RecoveryRun& run = vesk::Run();
    run.progress = std::get<0>(saved_);
    run.options.runProgress = std::get<1>(saved_);
    run.user = std::get<2>(saved_);
  }

  // Three tables of 4, 0 and 2 MiB; the first also reads 1 MiB of TOAST
  // through another reader, which must not move anything.
  void ScanThreeTables(bool finerSteps, bool stopInThird) {
    constexpr int64_t kMiB = 1 << 20;
    ScanProgress scan;
    const int heapA = 0, toastA = 0, heapB = 0, heapC = 0;
    scan.Begin(3, 6 * kMiB, finerSteps);
    scan.BeginTable("a", &heapA, 4 * kMiB);
    for (int page = 1; page <= 512; ++page) {
      scan.Page(&heapA, 8192, page * 2);
      if (page % 4 == 0) scan.Page(&toastA, 8192, 0);
    }
    scan.EndTable(1024);
    scan.BeginTable("b", &heapB, 0);
    scan.EndTable(0);
    scan.BeginTable("c", &heapC, 2 * kMiB);
    for (int page = 1; page <= (stopInThird ? 100 : 256); ++page) scan.Page(&heapC, 8192, page);
    if (stopInThird) {
      scan.End(100);
      return;
    }
    scan.EndTable(256);
    scan.End();
  }

  Heard heard_;
  std::tuple<ProgressCallback, RunProgressCallback, intptr_t> saved_;
};

TEST_F(ScanProgressTest, NamedStepsAreTheOldOnesAndFinerStepsOnlyWhenAsked) {
  for (bool finer : {false, true}) {
    heard_ = Heard{};
    ScanThreeTables(finer, false);
    std::vector<std::pair<std::string, int>> named;
    int last = 15;
    for (const auto& step : heard_.steps) {
      EXPECT_GE(step.second, last) << step.first;
      last = step.second;
      if (step.second == 43 || step.second == 71 || step.second == 100) named.push_back(step);
    }
    // 15 + 85/3 per table, truncated: the steps of the old entry point.
    EXPECT_EQ(named, (std::vector<std::pair<std::string, int>>{{"a", 43}, {"b", 71}, {"c", 100}}));
    if (finer) {
      EXPECT_GT(heard_.steps.size(), 30u);
    } else {
      EXPECT_EQ(heard_.steps, named);
    }
  }
}

TEST_F(ScanProgressTest, BytesAndRowsOfTheRunAreCountedOnce) {
  struct {
    bool stop;
    int64_t bytes, rows;
    int32_t tables;
  } cases[] = {{false, 6 << 20, 1024 + 256, 3}, {true, (4 << 20) + 100 * 8192, 1024 + 100, 2}};
  for (const auto& c : cases) {
    heard_ = Heard{};
    ScanThreeTables(true, c.stop);
    ASSERT_FALSE(heard_.run.empty());
    for (size_t i = 1; i < heard_.run.size(); ++i) {
      EXPECT_GE(heard_.run[i].bytesDone, heard_.run[i - 1].bytesDone);
      EXPECT_GE(heard_.run[i].rowsWritten, heard_.run[i - 1].rowsWritten);
    }
    const VeskRunProgress& end = heard_.run.back();
    EXPECT_EQ(end.bytesTotal, 6 << 20);
    EXPECT_EQ(end.bytesDone, c.bytes) << c.stop;
    EXPECT_EQ(end.rowsWritten, c.rows) << c.stop;
    EXPECT_EQ(end.tablesDone, c.tables) << c.stop;
    EXPECT_EQ(end.tablesTotal, 3);
  }
}

}  // namespace
}  // namespace vesk
