// The process-wide state of one recovery run: callbacks, cancellation byte,
// directories, the catalog readers and the run's counters. Set up by
// FileRecover, read by every stage. Not locked: two runs must not overlap.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/database_settings.h"
#include "support/scan_progress.h"
#include "vesk/veskdll.h"

namespace vesk {

class pg_class_Table;
class pg_attribute_Table;
class pg_type_Table;
class pg_namespace_Table;
class pg_enum_Table;

inline constexpr int kStopped = -1000;

struct RecoveryRun {
  MessageCallback message = nullptr;
  ProgressCallback progress = nullptr;
  intptr_t user = 0;
  volatile unsigned char* breakFlag = nullptr;

  std::string resultDirectory;
  std::string moduleDirectory;    // where the zone file lives below "adds"
  std::string databaseDirectory;  // with a trailing path separator
  uint8_t version = 82;           // on-disk layout: 82 or 83
  VeskOptions options{};          // the caller's, complete (defaults filled in)
  DatabaseSettings settings;      // the server build's and cluster's choices

  pg_class_Table* classes = nullptr;
  pg_attribute_Table* attributes = nullptr;
  pg_type_Table* types = nullptr;
  pg_namespace_Table* namespaces = nullptr;
  pg_enum_Table* enums = nullptr;  // 8.3 only; null in an 8.2 run

  int32_t schemasRecovered = 0;
  int32_t tablesRecovered = 0;
  // The user tables whose CREATE TABLE this run wrote (or, for a script of
  // rows only, would have written), each with its name as the script
  // spells it: what the objects written after the data may refer to.
  struct DefinedTable {
    uint32_t oid = 0;
    std::string name;  // "schema"."table"
  };
  std::vector<DefinedTable> tablesDefined;
  // "schema"."table" of each table with text that was not valid UTF-8.
  std::vector<std::string> tablesRepaired;

  // What the run lost, summed over the user tables as each scan ends (so
  // also right after a stop), plus what the catalogs lost.
  struct Losses {
    int64_t rowsWritten = 0;
    int64_t rowsQuarantined = 0;
    int64_t valuesNulled = 0;
    int64_t pagesRead = 0;
    int64_t pagesSkipped = 0;
    int32_t tablesLost = 0;       // heap file missing or unreadable
    int64_t catalogDamage = 0;    // catalog pages skipped and rows set aside
    bool Any() const {
      return rowsQuarantined != 0 || valuesNulled != 0 || pagesSkipped != 0 || tablesLost != 0 || catalogDamage != 0;
    }
  } totals;
  // No catalog gave a single plausible row: the directory holds no database.
  bool notADatabase = false;
  // FileRecoverEx's caller knows the statuses the old exports never return.
  bool extendedStatus = false;
  bool finerProgress = false;  // progress steps inside tables (FileRecoverEx)
  ScanProgress scan;  // Pass 2's progress over the tables' heap bytes
};

// Inline, as the flag is polled before every value of every row; made on
// first use, so that it is ready for any other static object that asks.
inline RecoveryRun& Run() {
  static RecoveryRun run;
  return run;
}

// What VeskOptions::content asks the script to hold: CREATE statements
// (all but a script of rows only) and rows (all but a schema-only one).
inline bool ScriptHoldsDefinitions() { return Run().options.content != VESK_CONTENT_DATA_ONLY; }
inline bool ScriptHoldsRows() { return Run().options.content != VESK_CONTENT_SCHEMA_ONLY; }

// True when the cancellation byte is set (read afresh at every call).
inline bool BreakRequested() {
  volatile unsigned char* flag = Run().breakFlag;
  return flag != nullptr && *flag != 0;
}
// Logs "Terminated by user" and sends "Terminate..." to the message callback.
void ReportStopped();
// Polls the break flag; when it is set reports the stop and returns true.
inline bool StopRequested() {
  if (!BreakRequested()) return false;
  ReportStopped();
  return true;
}
void SendMessage(const char* text);
void SendProgress(const char* stage, int percent);

}  // namespace vesk
