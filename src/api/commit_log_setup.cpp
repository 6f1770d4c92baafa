#include "api/commit_log_setup.h"

#include <filesystem>
#include <memory>
#include <utility>

#include "catalog/catalog_readers.h"
#include "storage/commit_log.h"
#include "storage/control_file.h"
#include "support/logger.h"
#include "support/recovery_run.h"

namespace vesk {
namespace {

std::unique_ptr<CommitLog>& Held() {
  static std::unique_ptr<CommitLog> log;
  return log;
}

std::string ClusterDirectoryOf(const std::string& databaseDirectory) {
  std::filesystem::path path(databaseDirectory);
  if (!path.has_filename()) path = path.parent_path();  // the trailing separator
  return path.parent_path().parent_path().string();
}

// A hint bit is set only from the commit log's answer, so in the log the
// rows were written with the two never disagree. A log of another cluster,
// or one damaged, gives itself away on pg_class, whose rows are read (and
// so hinted) more than any.
bool FitsClassRows(const CommitLog& log, uint8_t version) {
  RecoveryRun& run = Run();
  run.settings.commitLog = &log;
  // No columns: the rows are judged, not decoded.
  pg_class_Table classes("1259", version);
  classes.reader().ReadTable();
  run.settings.commitLog = nullptr;
  const int32_t compared = classes.reader().hintsCompared;
  const int32_t conflicts = classes.reader().hintConflicts;
  LogFormat("Commit log checked against pg_class: %i of %i hinted row versions disagree", conflicts, compared);
  return conflicts == 0 || conflicts * 20 < compared;
}

// After a crash the commit log on disk lags behind for transactions that
// began after the last checkpoint: one it shows as running may have
// committed since. Only the control file says where that begins.
void TakeCheckpoint(CommitLog& log, const std::string& cluster) {
  const std::string path = (std::filesystem::path(cluster) / "global" / "pg_control").string();
  const ControlFile control = ReadControlFile(path);
  if (control.status != ControlFileStatus::kValid) {
    Log("No usable control file: transactions the commit log shows as running are taken for rolled back");
    return;
  }
  log.SetCheckpointNextXid(control.nextXid);
  LogFormat("Last checkpoint's next transaction: %u; the hint bits judge later ones the commit log shows as running",
            control.nextXid);
}

void UseHintBitsOnly(const char* why) {
  LogFormat("Row visibility from hint bits only: %s", why);
  SendMessage("Row visibility from hint bits only (no usable commit log)");
}

}  // namespace

void OpenClusterCommitLog(const std::string& databaseDirectory, uint8_t version) {
  CloseClusterCommitLog();
  const std::string cluster = databaseDirectory.empty() ? std::string() : ClusterDirectoryOf(databaseDirectory);
  std::unique_ptr<CommitLog> log = cluster.empty() ? nullptr : CommitLog::Open(cluster);
  if (log == nullptr) {
    LogValue("No commit log (pg_clog) in the cluster directory", cluster.c_str());
    UseHintBitsOnly("no commit log beside the database");
    return;
  }
  LogValue("Commit log:", log->directory().c_str());
  TakeCheckpoint(*log, cluster);
  if (!FitsClassRows(*log, version)) {
    LogError("The commit log contradicts the hint bits of pg_class: it is damaged or another cluster's");
    UseHintBitsOnly("the commit log does not belong to these rows");
    return;
  }
  Held() = std::move(log);
  Run().settings.commitLog = Held().get();
}

void CloseClusterCommitLog() {
  Run().settings.commitLog = nullptr;
  Held().reset();
}

}  // namespace vesk
