// The command-line front end's pieces: arguments, checks before a run, the
// engine's path and prefix, the status-to-exit-code map, Ctrl-C handling,
// the progress view and the end-of-run summary.
#pragma once

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "vesk/veskdll.h"

namespace vesk::frontend {

struct Options {
  std::string outputDir;  // empty: the current directory
  std::string logFile;
  std::string path;
  std::vector<std::string> databases;  // --database, in the given order
  std::string encoding;                // --encoding
  bool quiet = false;
  bool help = false;
  bool version = false;
  int32_t datetimeStorage = 0;  // VESK_DATETIME_*: 0 lets the engine decide
  int32_t maxAlign = 0;         // 0 (decide), 4 or 8
  // What a user restoring into a current server wants, unless asked otherwise.
  int32_t rowFormat = VESK_ROWS_COPY;          // --inserts: VESK_ROWS_INSERT
  int32_t floatText = VESK_FLOATS_EXACT;       // --display-floats
  int32_t targetServer = VESK_TARGET_CURRENT;  // --target-version 8.2|8.3|current
  int32_t schemaObjects = VESK_OBJECTS_ALL;    // --no-constraints
  int32_t content = VESK_CONTENT_ALL;          // --schema-only, --data-only
  bool deleted = false;                        // --deleted
  std::string into;                            // --into CONNINFO: load straight into a server
  std::string error;  // non-empty when the arguments are unusable
};

Options ParseArguments(int argc, const char* const* argv);
const char* UsageText();

// The engine's options for `options` (versioned, the forced settings in it).
VeskOptions EngineOptions(const Options& options);

// Checks before a run, so that a failure names its path and the system's
// reason; each returns "" when the run may go on.
// The database directory (or the directory of the file) must be readable
// and searchable.
std::string CheckDatabasePath(const std::string& path);
// --into loads one database: a whole data directory needs exactly one
// --database.
std::string CheckIntoTarget(const std::string& path, size_t databases);
// The output directory ("" = the current one) must be a directory the user
// can create entries in.
std::string CheckOutputDirectory(const std::string& outputDir);

// The path handed to the engine, which uses only the text before the last
// separator: a directory becomes "<dir>/1259" (trailing separators dropped),
// a file stays as it is; existing paths are made absolute.
std::string EnginePath(const std::string& path);
// The result directory prefix: "" or the directory with one trailing '/'.
std::string OutputPrefix(const std::string& outputDir);

// Exit code of the program for a status of the engine; `losses`: some table
// lost pages, rows or values, or could not be read at all.
int ExitCode(int32_t status, bool losses);
const char* StatusText(int32_t status, bool losses);

// `text` as one shell word, safe to paste whatever it holds.
std::string ShellQuote(const std::string& text);

// SIGINT and SIGTERM set *flag to 1; a second signal ends the program.
void InstallBreakHandlers(volatile unsigned char* flag);

// Names of the entries "Recovered *" in a directory, to find the one a run
// created.
std::set<std::string> ResultDirectories(const std::string& directory);

// A new, empty file for the diagnostic log in the temporary directory,
// readable by its owner only; "" when none can be made.
std::string MakeTemporaryLog();

// What the engine said about each table, kept for the summary: the tables
// that lost anything, and the totals over all of them.
class RunSummary {
 public:
  void Add(const VeskTableReport& report);
  // The engine's own count of rows and tables, which also covers a table
  // whose scan was stopped before its report.
  void Progress(const VeskRunProgress& progress);
  bool HasLosses() const { return !lossy_.empty(); }
  void Print(FILE* out) const;

 private:
  struct Table {
    std::string name;
    std::string problem;
    int64_t rowsWritten, pagesSkipped, rowsQuarantined, valuesNulled;
  };
  std::vector<Table> lossy_;
  int64_t tables_ = 0, rows_ = 0, pagesSkipped_ = 0, quarantined_ = 0, nulled_ = 0, unreadable_ = 0;
  int64_t progressTables_ = 0, progressRows_ = 0;
};

// Shows the engine's messages and progress: a redrawn bar on a terminal,
// a line every few seconds otherwise, nothing when quiet. The bar follows
// the heap bytes read once Pass 2 has begun.
class ProgressView {
 public:
  using Clock = double (*)();  // seconds, from any fixed origin
  ProgressView(FILE* out, bool terminal, bool quiet, Clock clock = nullptr);
  void Message(const char* text);
  void Progress(const char* stage, int percent);
  void RunProgress(const VeskRunProgress& progress);
  void Finish();

  // Seconds between two plain progress lines.
  static constexpr double kLineInterval = 5.0;

 private:
  void Show(bool force);
  std::string Line() const;
  void ClearBar();

  FILE* out_;
  bool terminal_;
  bool quiet_;
  Clock clock_;
  bool barShown_ = false;
  std::string stage_;
  int percent_ = 0;
  bool pass2_ = false;
  double pass2Start_ = 0.0;
  int64_t bytesDone_ = 0, bytesTotal_ = 0, rows_ = 0;
  double lastShown_ = -1e9;
  std::string lastLine_;
};

}  // namespace vesk::frontend
