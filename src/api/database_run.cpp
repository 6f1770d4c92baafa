#include "api/database_run.h"

#include <exception>
#include <filesystem>

#include "api/commit_log_setup.h"
#include "api/driver.h"
#include "api/result_directory.h"
#include "catalog/catalog_readers.h"
#include "catalog/pg_enum_table.h"
#include "platform/platform.h"
#include "script/writer/output_files.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/scratch.h"
#include "types/toast/toast.h"
#include "vesk/veskdll.h"

namespace vesk {
namespace {

// The driver must not let an exception reach the caller's C code: the run
// ends, what was written stays, and the status says it ended early.
int32_t RunDriverGuarded(const char* path) {
  try {
    return RunRecoveryDriver(path);
  } catch (const ScratchException&) {
    LogError("Recovery ended early: scratch memory refused");
  } catch (const std::exception& e) {
    LogValue("[ERROR]: Recovery ended early:", e.what());
  } catch (...) {
    LogError("Recovery ended early: unknown error");
  }
  return VESK_INTERNAL_ERROR;
}

// A directory that holds no database is given back as it was: the result
// directory was made by this run and holds only its own empty files.
void RemoveResultDirectory(const std::string& directory) {
  std::error_code error;
  std::filesystem::remove_all(directory, error);
  if (error) LogFormat("Cannot remove result dir %s", directory.c_str());
}

// The one place that turns what the run met into its status. The old
// exports keep the statuses their callers know: losses are still "done".
int32_t ExtendedStatus(int32_t status) {
  const RecoveryRun& run = Run();
  if (!run.extendedStatus) {
    // The old entry point's callers know no status for what it cannot read.
    return status == VESK_UNSUPPORTED_BUILD || status == VESK_NOT_A_DATABASE ? VESK_NOTHING_RECOVERED : status;
  }
  if (status == VESK_OK && run.totals.Any()) return VESK_RECOVERED_WITH_LOSSES;
  if (status == VESK_NOTHING_RECOVERED && run.notADatabase) return VESK_NOT_A_DATABASE;
  return status;
}

}  // namespace

void DestroyCatalogReaders() {
  // The TOAST indexes were built from these catalogs and hold open files.
  ResetToastCache();
  RecoveryRun& run = Run();
  delete run.enums;
  run.enums = nullptr;
  delete run.types;
  run.types = nullptr;
  delete run.namespaces;
  run.namespaces = nullptr;
  delete run.attributes;
  run.attributes = nullptr;
  delete run.classes;
  run.classes = nullptr;
  CloseClusterCommitLog();
}

int32_t RecoverDatabaseInto(const char* path, const std::string& wantedDirectory) {
  std::string resultDirectory = wantedDirectory;
  const bool made = MakeResultDirectory(resultDirectory, Run().extendedStatus);
  Run().resultDirectory = resultDirectory;
  if (!made) return VESK_CANNOT_CREATE_OUTPUT;
  if (!OpenOutputFiles(resultDirectory)) {
    CloseOutputFiles();
    return VESK_CANNOT_CREATE_OUTPUT;
  }
  int32_t status = ExtendedStatus(RunDriverGuarded(path));
  CloseOutputFiles();
  DestroyCatalogReaders();
  // Nothing was decoded: an empty result directory would only mislead.
  if (status == VESK_NOT_A_DATABASE || status == VESK_UNSUPPORTED_BUILD) RemoveResultDirectory(resultDirectory);
  return status;
}

}  // namespace vesk
