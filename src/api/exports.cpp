// The five exports of the engine and the frame of one recovery run: break
// flag, callbacks, log, result directory and output files around the driver.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <exception>
#include <string>

#include "api/driver.h"
#include "api/result_directory.h"
#include "api/sibling_library.h"
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
  size_t cut = path.find_last_of(platform::kPathSeparator);
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

void FindModuleDirectory() {
  std::string module;
  if (platform::ModulePathByName("quorndll", module)) Run().moduleDirectory = CutAtLastSeparator(module);
}

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
}

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

// The old entry point's callers expect a second run within the same second
// to fail on the existing name; the new one numbers the name instead.
bool MakeResultDirectory(std::string& directory, bool numberOnCollision) {
  const std::string base = directory;
  for (int n = 2;; ++n) {
    if (platform::CreateDirectory(directory)) return true;
    if (!numberOnCollision || n > 999 || !platform::FileExists(directory)) return false;
    directory = base + " (" + std::to_string(n) + ")";
  }
}

int32_t CreateResultDirectory(const char* prefix, const char* path, bool numberOnCollision) {
  std::string directory = ResultDirectoryPath(prefix ? prefix : "", path, platform::NowLocal());
  bool made = MakeResultDirectory(directory, numberOnCollision);
  Run().resultDirectory = directory;
  if (!made) {
    std::string reason = platform::LastErrorText();
    LogFormat("Cannot create result dir %s", directory.c_str());
    LogValue("Reason:", reason.c_str());
    return VESK_CANNOT_CREATE_OUTPUT;
  }
  return OpenOutputFiles(directory) ? VESK_OK : VESK_CANNOT_CREATE_OUTPUT;
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
  if (!path || !path[0]) {
    Log("Cant find path");
    return VESK_NO_DATABASE_DIR;
  }
  int32_t status = CreateResultDirectory(prefix, path, extended);
  if (status != VESK_OK) {
    CloseOutputFiles();
    return status;
  }
  FindModuleDirectory();
  status = RunDriverGuarded(path);
  CloseOutputFiles();
  DestroyCatalogReaders();
  return status;
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
