#include "support/scan_progress.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "support/recovery_run.h"

namespace vesk {
namespace {

// The run-progress callback hears of a big table at least this often; the
// caller decides how often to show it.
constexpr int64_t kReportEvery = 1 << 20;

}  // namespace

void ScanProgress::Begin(int32_t tables, int64_t totalBytes, bool finerSteps) {
  *this = ScanProgress{};
  state_.size = sizeof(VeskRunProgress);
  state_.tablesTotal = tables;
  state_.bytesTotal = std::max<int64_t>(totalBytes, 0);
  state_.table = "";
  finerSteps_ = finerSteps;
  share_ = tables > 0 ? 85.0 / tables : 0.0;
  SendRunProgress();
}

void ScanProgress::BeginTable(const char* name, const void* reader, int64_t bytes) {
  table_ = name ? name : "";
  state_.table = table_.c_str();
  reader_ = reader;
  tableBytes_ = std::max<int64_t>(bytes, 0);
  tableDone_ = 0;
  sinceLastReport_ = 0;
  SendRunProgress();
}

int64_t ScanProgress::TableBytesDone() const { return std::min(tableDone_, tableBytes_); }

int32_t ScanProgress::Percent() const {
  double within = tableBytes_ > 0 ? share_ * static_cast<double>(TableBytesDone()) / static_cast<double>(tableBytes_)
                                  : 0.0;
  return static_cast<int32_t>(finished_ + within + 15);
}

void ScanProgress::Page(const void* reader, size_t bytes, int64_t rowsInTable) {
  if (reader == nullptr || reader != reader_) return;
  tableDone_ += static_cast<int64_t>(bytes);
  sinceLastReport_ += static_cast<int64_t>(bytes);
  state_.rowsWritten = rowsBefore_ + rowsInTable;
  if (finerSteps_) {
    // Never up to the table's own end step, which stays the one its name
    // is sent with last.
    const int32_t endStep = static_cast<int32_t>(finished_ + share_ + 15);
    const int32_t percent = Percent();
    if (percent > lastPercent_ && percent < endStep) {
      lastPercent_ = percent;
      SendProgress(table_.c_str(), percent);
    }
  }
  if (sinceLastReport_ >= kReportEvery) {
    sinceLastReport_ = 0;
    SendRunProgress();
  }
}

void ScanProgress::EndTable(int64_t rowsInTable) {
  finished_ += share_;
  rowsBefore_ += rowsInTable;
  bytesBefore_ += tableBytes_;
  ++state_.tablesDone;
  state_.rowsWritten = rowsBefore_;
  tableBytes_ = tableDone_ = 0;
  reader_ = nullptr;
  lastPercent_ = static_cast<int32_t>(finished_ + 15);
  SendRunProgress();
  SendProgress(table_.c_str(), lastPercent_);
  table_.clear();
  state_.table = table_.c_str();
}

void ScanProgress::End(int64_t rowsInTable) {
  if (reader_ != nullptr) state_.rowsWritten = rowsBefore_ + rowsInTable;
  reader_ = nullptr;
  table_.clear();
  state_.table = table_.c_str();
  SendRunProgress();
}

void ScanProgress::SendRunProgress() {
  state_.bytesDone = std::min(bytesBefore_ + TableBytesDone(), state_.bytesTotal);
  const RecoveryRun& run = Run();
  if (run.options.runProgress) run.options.runProgress(&state_, run.user);
}

int64_t RelationFileBytes(const std::string& path) {
  int64_t total = 0;
  for (int segment = 0;; ++segment) {
    std::error_code error;
    std::string name = segment == 0 ? path : path + "." + std::to_string(segment);
    auto size = std::filesystem::file_size(name, error);
    if (error) break;
    total += static_cast<int64_t>(size);
  }
  return total;
}

}  // namespace vesk
