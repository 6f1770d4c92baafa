#include "support/recovery_run.h"

#include "support/logger.h"

namespace vesk {

const char* SettingSourceName(SettingSource source) {
  switch (source) {
    case SettingSource::kControlFile: return "control file";
    case SettingSource::kDetected: return "detected";
    case SettingSource::kForced: return "forced";
    case SettingSource::kCatalog: return "pg_database";
    case SettingSource::kDefault: break;
  }
  return "default";
}

void ReportStopped() {
  Log("Terminated by user");
  SendMessage("Terminate...");
}

void SendMessage(const char* text) {
  RecoveryRun& run = Run();
  if (run.message) run.message(text, run.user);
}

void SendProgress(const char* stage, int percent) {
  RecoveryRun& run = Run();
  if (run.progress) run.progress(stage, percent, run.user);
}

}  // namespace vesk
