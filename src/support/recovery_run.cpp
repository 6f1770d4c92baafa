#include "support/recovery_run.h"

#include "support/logger.h"

namespace vesk {

RecoveryRun& Run() {
  static RecoveryRun run;
  return run;
}

bool BreakRequested() {
  volatile unsigned char* flag = Run().breakFlag;
  return flag != nullptr && *flag != 0;
}

void ReportStopped() {
  Log("Terminated by user");
  SendMessage("Terminate...");
}

bool StopRequested() {
  if (!BreakRequested()) return false;
  ReportStopped();
  return true;
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
