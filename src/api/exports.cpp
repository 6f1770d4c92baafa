// The five exports of the engine and the frame of one recovery run: break
// flag, callbacks, log, result directory and output files around the driver.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <exception>
#include <string>

#include "api/cluster_run.h"
#include "api/database_run.h"
#include "api/driver.h"
#include "api/result_directory.h"
#include "api/sibling_library.h"
#include "catalog/catalog_readers.h"
#include "catalog/pg_enum_table.h"
#include "platform/platform.h"
#include "script/writer/output_files.h"
#include "support/encoding_names.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/scratch.h"
#include "types/toast/toast.h"
#include "vesk/veskdll.h"

namespace vesk {
namespace {

void ResetBreakFlag() {
  RecoveryRun& run = Run();
  // Without a registered byte cancellation is impossible, but polls still
  // need something to read; it lives as long as the process.
  static volatile unsigned char privateFlag = 0;
  if (!run.breakFlag) run.breakFlag = &privateFlag;
  *run.breakFlag = 0;
}

void OpenLog(const std::string& name) {
  TheLog().Open(name.c_str(), false);
  TheLog().WriteMachineInfo();
  TheLog().Enable();
}

void OpenTemporaryLog() {
  std::string directory, uuid;
  if (!platform::TempDirectory(directory) || !platform::NewUuidString(uuid)) return;
  OpenLog(directory + "tarn-" + uuid + ".tmp");
}

std::string CutAtLastSeparator(const std::string& path) {
  size_t cut = path.find_last_of(platform::kPathSeparators);
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

void FindModuleDirectory() {
  std::string module;
  if (platform::ModulePathByName("quorndll", module)) Run().moduleDirectory = CutAtLastSeparator(module);
}

int32_t Recover(const char* path, const char* prefix, const char* logFile, bool siblingLoaded, bool extended) {
  const bool named = logFile && logFile[0];
  // A named log makes the temporary one an empty leftover; the old entry
  // point's callers may still look for it.
  if (!named || !extended) OpenTemporaryLog();
  if (named) {
    OpenLog(logFile);
    LogValue("Log file name:", logFile);
  }
  if (!siblingLoaded) {
    Log(SiblingLibraryFailure());
    return VESK_NO_SIBLING_LIBRARY;
  }
  Log("FileRecover() started");
  LogValue("Filename is", path);
  // A directory that cannot be entered is refused before the result
  // directory exists, so that no empty result is left behind.
  if (!path || !path[0]) {
    Log("Cant find path");
    return VESK_NO_DATABASE_DIR;
  }
  if (!platform::CanEnterDirectory(DatabaseDirectoryOf(path))) {
    const std::string reason = platform::LastErrorText();
    Log("Cant find path");
    LogValue("Database directory:", DatabaseDirectoryOf(path).c_str());
    LogValue("Reason:", reason.c_str());
    return VESK_NO_DATABASE_DIR;
  }
  FindModuleDirectory();
  const std::string directory = DatabaseDirectoryOf(path);
  if (IsClusterDirectory(directory)) return RecoverCluster(directory, prefix);
  const std::string name = SettleDatabaseInCluster(directory);
  const platform::LocalTime now = platform::NowLocal();
  const std::string result = name.empty() ? ResultDirectoryPath(prefix ? prefix : "", path, now)
                                          : NamedResultDirectoryPath(prefix ? prefix : "", SafeFileName(name), now);
  return RecoverDatabaseInto(path, result);
}

}  // namespace
}  // namespace vesk

using namespace vesk;

namespace vesk {
namespace {

// The caller's options, completed with defaults for what its version of the
// structure lacks; false when they cannot be taken.
bool TakeOptions(const VeskOptions* given, VeskOptions& taken) {
  taken = VeskOptions{};
  taken.size = sizeof(VeskOptions);
  taken.version = VESK_OPTIONS_VERSION;
  if (given == nullptr) return true;
  constexpr uint32_t kHeader = offsetof(VeskOptions, datetimeStorage);
  if (given->size < kHeader || given->version < 1) return false;
  std::memcpy(&taken, given, std::min<size_t>(given->size, sizeof(VeskOptions)));
  taken.size = sizeof(VeskOptions);
  taken.version = VESK_OPTIONS_VERSION;
  if (taken.datetimeStorage < VESK_DATETIME_AUTO || taken.datetimeStorage > VESK_DATETIME_INTEGER) return false;
  if (taken.encoding != nullptr && taken.encoding[0] != '\0' && CanonicalEncodingName(taken.encoding) == nullptr) {
    return false;
  }
  if (taken.rowFormat < VESK_ROWS_INSERT || taken.rowFormat > VESK_ROWS_COPY) return false;
  if (taken.floatText < VESK_FLOATS_DISPLAY || taken.floatText > VESK_FLOATS_EXACT) return false;
  if (taken.targetServer < VESK_TARGET_ORIGINAL || taken.targetServer > VESK_TARGET_CURRENT) return false;
  if (taken.schemaObjects < VESK_OBJECTS_NONE || taken.schemaObjects > VESK_OBJECTS_NO_CONSTRAINTS) return false;
  if (taken.content < VESK_CONTENT_ALL || taken.content > VESK_CONTENT_DATA_ONLY) return false;
  return taken.maxAlign == 0 || taken.maxAlign == 4 || taken.maxAlign == 8;
}

// `extended`: called through FileRecoverEx, whose callers take the finer
// behaviour (progress inside tables, numbered result directories).
int32_t FileRecoverWith(const char* path, const char* prefix, MessageCallback message, ProgressCallback progress,
                        intptr_t user, const char* logFile, const VeskOptions& options, bool extended) {
  ResetBreakFlag();
  RecoveryRun& run = Run();
  run.finerProgress = extended;
  run.scan = ScanProgress{};
  run.message = message;
  run.progress = progress;
  run.user = user;
  run.options = options;
  run.settings = DatabaseSettings{};
  run.extendedStatus = extended;
  Log("loading tarncmn...");
  bool siblingLoaded = LoadSiblingLibrary() == 0;
  Log("S: FileRecover()");
  return Recover(path, prefix, logFile, siblingLoaded, extended);
}

int32_t ReportUnexpected() {
  LogError("FileRecover ended early on an unexpected error");
  CloseOutputFiles();
  DestroyCatalogReaders();
  return VESK_INTERNAL_ERROR;
}

}  // namespace
}  // namespace vesk

extern "C" VESK_EXPORT int32_t VESK_CALL FileRecover(const char* path, const char* prefix, int32_t,
                                                     MessageCallback message, ProgressCallback progress,
                                                     intptr_t user, const char* logFile) {
  try {
    VeskOptions defaults{};
    TakeOptions(nullptr, defaults);
    return FileRecoverWith(path, prefix, message, progress, user, logFile, defaults, false);
  } catch (...) {
    return ReportUnexpected();
  }
}

extern "C" VESK_EXPORT int32_t VESK_CALL FileRecoverEx(const char* path, const char* prefix,
                                                       MessageCallback message, ProgressCallback progress,
                                                       intptr_t user, const char* logFile,
                                                       const VeskOptions* options) {
  try {
    VeskOptions taken{};
    if (!TakeOptions(options, taken)) {
      Log("FileRecoverEx: options refused (unknown version, short structure or a value out of range)");
      return VESK_BAD_OPTIONS;
    }
    return FileRecoverWith(path, prefix, message, progress, user, logFile, taken, true);
  } catch (...) {
    return ReportUnexpected();
  }
}

extern "C" VESK_EXPORT void VESK_CALL SetBreakFlag(volatile unsigned char* flag) {
  Log("Running SetBreakFlag()");
  Run().breakFlag = flag;
}

extern "C" VESK_EXPORT int32_t VESK_CALL GetDllVersion(void) { return 2; }

extern "C" VESK_EXPORT int32_t VESK_CALL isEnvReady(void) { return 0; }

extern "C" VESK_EXPORT int32_t VESK_CALL LoadTarncmn(void) {
  try {
    return LoadSiblingLibrary();
  } catch (...) {
    return VESK_NO_SIBLING_LIBRARY;
  }
}
