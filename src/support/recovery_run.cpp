#include "support/recovery_run.h"

#include "support/logger.h"

namespace vesk {

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
