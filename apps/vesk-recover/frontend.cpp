#include "frontend.h"

#include <dirent.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace vesk::frontend {
namespace {

volatile unsigned char* breakFlag = nullptr;

extern "C" void OnBreakSignal(int) {
  if (breakFlag) *breakFlag = 1;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Absolute(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool TakesValue(const std::string& arg) {
  return arg == "-o" || arg == "--log" || arg == "--database" || arg == "--encoding" || arg == "--into" ||
         arg == "--target-version";
}

// Options without a value that choose what the script holds and how; false
// when `arg` is none of them.
bool TakeScriptSwitch(const std::string& arg, Options& options) {
  if (arg == "--inserts") {
    options.rowFormat = VESK_ROWS_INSERT;
  } else if (arg == "--display-floats") {
    options.floatText = VESK_FLOATS_DISPLAY;
  } else if (arg == "--no-constraints") {
    options.schemaObjects = VESK_OBJECTS_NO_CONSTRAINTS;
  } else if (arg == "--schema-only" || arg == "--data-only") {
    const int32_t content = arg == "--schema-only" ? VESK_CONTENT_SCHEMA_ONLY : VESK_CONTENT_DATA_ONLY;
    if (options.content != VESK_CONTENT_ALL && options.content != content) {
      options.error = "--schema-only and --data-only cannot be given together";
    }
    options.content = content;
  } else if (arg == "--deleted") {
    options.deleted = true;
  } else {
    return false;
  }
  return true;
}

void TakeTargetVersion(Options& options, const std::string& value) {
  if (value == "current") {
    options.targetServer = VESK_TARGET_CURRENT;
  } else if (value == "8.2" || value == "8.3") {
    options.targetServer = VESK_TARGET_ORIGINAL;
  } else {
    options.error = "--target-version takes 8.2, 8.3 or current, not \"" + value + "\"";
  }
}

void TakeValue(Options& options, const std::string& arg, const char* value) {
  if (arg == "-o") {
    options.outputDir = value;
  } else if (arg == "--log") {
    options.logFile = value;
  } else if (arg == "--database") {
    options.databases.push_back(value);
  } else if (arg == "--into") {
    options.into = value;
  } else if (arg == "--target-version") {
    TakeTargetVersion(options, value);
  } else {
    options.encoding = value;
  }
}

// "--name=value" options that force a setting of the server build; false when
// `arg` is none of them. A value that is not one of the choices is an error.
bool TakeForcedSetting(const std::string& arg, Options& options) {
  if (arg.rfind("--datetime=", 0) == 0) {
    const std::string value = arg.substr(11);
    if (value == "integer") {
      options.datetimeStorage = VESK_DATETIME_INTEGER;
    } else if (value == "float") {
      options.datetimeStorage = VESK_DATETIME_FLOAT;
    } else {
      options.error = "--datetime takes integer or float, not \"" + value + "\"";
    }
    return true;
  }
  if (arg.rfind("--align=", 0) == 0) {
    const std::string value = arg.substr(8);
    if (value == "4" || value == "8") {
      options.maxAlign = value[0] - '0';
    } else {
      options.error = "--align takes 4 or 8, not \"" + value + "\"";
    }
    return true;
  }
  return false;
}

}  // namespace

const char* UsageText() {
  return "usage: vesk-recover [-o OUTPUT_DIR] [--log FILE] [-q] [--database NAME]... [--encoding NAME] PATH\n"
         "       vesk-recover [--datetime=integer|float] [--align=4|8] ... PATH\n"
         "\n"
         "Recovers the PostgreSQL 8.2/8.3 database directory PATH (or the directory\n"
         "holding the file PATH) into a SQL script, written to a new directory\n"
         "\"Recovered <db> <date> <time>\" inside OUTPUT_DIR (default: here).\n"
         "Given a whole data directory (global/ and base/), recovers every database\n"
         "it lists, each into a directory of its own name inside the result\n"
         "directory, with load_all.sh SERVER [USER] [PORT] to create and load them\n"
         "all.\n"
         "\n"
         "  -o OUTPUT_DIR    where the result directory is created\n"
         "  --log FILE       keep the diagnostic log in FILE (appended); without it\n"
         "                   the log is removed after a complete run, and its path\n"
         "                   printed otherwise\n"
         "  -q               no progress display\n"
         "  --database NAME  data directory: recover only this database (repeatable)\n"
         "  --encoding NAME  what the text's bytes really are (LATIN1, WIN1252, ...):\n"
         "                   overrides the database's own; for SQL_ASCII databases,\n"
         "                   whose text is otherwise declared UTF8 with any value\n"
         "                   that is not valid UTF-8 read as LATIN1\n"
         "  --datetime=integer|float\n"
         "                   how the server stored timestamp, time, timetz and interval:\n"
         "                   int64 microseconds (built with --enable-integer-datetimes,\n"
         "                   as most Linux packages of 8.3 were) or float8 seconds (the\n"
         "                   source default). Normally read from the cluster's\n"
         "                   global/pg_control or detected from the data; use it when\n"
         "                   both fail and the times come out wrong.\n"
         "  --align=4|8      the server's alignment: 4 for a 32-bit server (i386), 8\n"
         "                   for a 64-bit one. Normally read from global/pg_control or\n"
         "                   detected; use it when both fail.\n"
         "\n"
         "What the script holds (by default: for a current server, PostgreSQL 12 or\n"
         "later, with every table's rows in one COPY block, floats exact, and the\n"
         "NOT NULL, defaults, sequences, keys, checks, indexes and inheritance\n"
         "written after the data):\n"
         "  --inserts        one INSERT per row instead of COPY (slower to load; a bad\n"
         "                   value then costs one row, not the table)\n"
         "  --display-floats floats with 15 significant digits, as 8.x displayed them,\n"
         "                   instead of the shortest text that reads back exactly\n"
         "  --target-version 8.2|8.3|current\n"
         "                   the server the script is for: 8.2 or 8.3 keep every\n"
         "                   type as stored (abstime, reltime, tinterval, unknown, C\n"
         "                   types); current (the default) gives such columns types\n"
         "                   a current server has\n"
         "  --schema-only    definitions and schema objects, no rows\n"
         "  --data-only      rows (and sequence values) only\n"
         "  --no-constraints no NOT NULL, keys, checks or indexes: a first, fast load\n"
         "                   of damaged data that might violate them\n"
         "  --deleted        also the dead row versions still in the files (deleted or\n"
         "                   overwritten rows) into deleted_N.sql, with loaders of\n"
         "                   their own; the live script is the same either way\n"
         "  --into CONNINFO  load straight into a running server (libpq connection\n"
         "                   string, e.g. \"host=localhost dbname=restored\"), each table\n"
         "                   in a transaction of its own, without script files. The\n"
         "                   database must exist; the password comes from PGPASSWORD\n"
         "                   or ~/.pgpass. A table the server refuses is loaded again\n"
         "                   row by row, so that a bad value costs its row; the summary\n"
         "                   lists the rows and statements that failed (exit code 1)\n"
         "\n"
         "  --help         this text\n"
         "  --version      program and engine versions\n"
         "\n"
         "Ctrl-C stops the run cleanly; the script keeps every row written so far.\n"
         "Exit codes: 0 complete, 1 complete with losses, 2 usage error or options\n"
         "refused, 3 nothing recovered, 4 database directory unreadable, 5 output\n"
         "cannot be created, 6 sibling library missing, 7 internal error, 8 the\n"
         "connection to the server (--into) was lost, 9 server build that cannot\n"
         "be read, 10 unknown status, 11 not a database, 130 stopped.\n";
}

Options ParseArguments(int argc, const char* const* argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "-q" || arg == "--quiet") {
      options.quiet = true;
    } else if (TakeScriptSwitch(arg, options)) {
      if (!options.error.empty()) return options;
    } else if (TakeForcedSetting(arg, options)) {
      if (!options.error.empty()) return options;
    } else if (TakesValue(arg)) {
      if (i + 1 >= argc) {
        options.error = "option " + arg + " needs a value";
        return options;
      }
      TakeValue(options, arg, argv[++i]);
      if (!options.error.empty()) return options;
    } else if (arg.size() > 1 && arg[0] == '-') {
      options.error = "unknown option " + arg;
      return options;
    } else if (options.path.empty()) {
      options.path = arg;
    } else {
      options.error = "only one PATH may be given";
      return options;
    }
  }
  if (options.path.empty() && !options.help && !options.version) options.error = "PATH is missing";
  return options;
}

VeskOptions EngineOptions(const Options& options) {
  VeskOptions engine{};
  engine.size = sizeof engine;
  engine.version = VESK_OPTIONS_VERSION;
  engine.datetimeStorage = options.datetimeStorage;
  engine.maxAlign = options.maxAlign;
  engine.rowFormat = options.rowFormat;
  engine.floatText = options.floatText;
  engine.targetServer = options.targetServer;
  engine.schemaObjects = options.schemaObjects;
  engine.content = options.content;
  engine.deletedRows = options.deleted ? 1 : 0;
  return engine;
}

std::string EnginePath(const std::string& path) {
  std::string absolute = WithoutTrailingSlashes(Absolute(path));
  if (!IsDirectory(absolute)) return absolute;
  return (absolute == "/" ? std::string() : absolute) + "/1259";
}

std::string OutputPrefix(const std::string& outputDir) {
  if (outputDir.empty()) return {};
  std::string prefix = WithoutTrailingSlashes(Absolute(outputDir));
  return prefix == "/" ? prefix : prefix + "/";
}

int ExitCode(int32_t status, bool losses) {
  switch (status) {
    case VESK_OK: return losses ? 1 : 0;
    case VESK_NOTHING_RECOVERED: return 3;
    case VESK_NO_DATABASE_DIR: return 4;
    case VESK_CANNOT_CREATE_OUTPUT: return 5;
    case VESK_NO_SIBLING_LIBRARY: return 6;
    case VESK_INTERNAL_ERROR: return 7;
    case VESK_RECOVERED_WITH_LOSSES: return 1;
    case VESK_BAD_OPTIONS: return 2;
    case VESK_UNSUPPORTED_BUILD: return 9;
    case VESK_NOT_A_DATABASE: return 11;
    case VESK_STOPPED: return 130;
    default: return 10;
  }
}

const char* StatusText(int32_t status, bool losses) {
  switch (status) {
    case VESK_OK: return losses ? "complete, with the losses listed above" : "complete";
    case VESK_NOTHING_RECOVERED: return "finished, but no schema and no table was recovered";
    case VESK_NO_DATABASE_DIR: return "the database directory cannot be read";
    case VESK_CANNOT_CREATE_OUTPUT: return "the result directory or its files cannot be created";
    case VESK_NO_SIBLING_LIBRARY: return "the sibling library libtarncmn.so cannot be loaded";
    case VESK_RECOVERED_WITH_LOSSES: return "complete, with the losses listed above";
    case VESK_INTERNAL_ERROR: return "ended early on an internal error";
    case VESK_BAD_OPTIONS: return "options refused (is the encoding name one a server knows?)";
    case VESK_UNSUPPORTED_BUILD: return "written by a server build that cannot be read (see the log)";
    case VESK_NOT_A_DATABASE: return "not a PostgreSQL 8.2/8.3 database directory";
    case VESK_STOPPED: return "stopped; the script holds what was written until then";
    default: return "unknown status";
  }
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string CheckDatabasePath(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return path + ": " + std::strerror(errno);
  std::string directory = path;
  if (!S_ISDIR(st.st_mode)) {
    size_t cut = path.find_last_of('/');
    directory = cut == std::string::npos ? "." : cut == 0 ? "/" : path.substr(0, cut);
  }
  DIR* dir = access(directory.c_str(), R_OK | X_OK) == 0 ? opendir(directory.c_str()) : nullptr;
  if (dir == nullptr) return "cannot read the database directory " + directory + ": " + std::strerror(errno);
  closedir(dir);
  return {};
}

std::string CheckIntoTarget(const std::string& path, size_t databases) {
  const std::string dir = IsDirectory(path) ? WithoutTrailingSlashes(path) : path.substr(0, path.find_last_of('/') + 1);
  const std::string base = dir.empty() ? "." : dir;
  if (IsDirectory(base + "/global") && IsDirectory(base + "/base") && databases != 1) {
    return "--into loads one database: with a data directory, name it with --database NAME";
  }
  return {};
}

std::string CheckOutputDirectory(const std::string& outputDir) {
  std::string directory = outputDir.empty() ? "." : outputDir;
  const std::string failure = "cannot create the result directory in " + directory + ": ";
  struct stat st {};
  if (stat(directory.c_str(), &st) != 0) return failure + std::strerror(errno);
  if (!S_ISDIR(st.st_mode)) return failure + std::strerror(ENOTDIR);
  if (access(directory.c_str(), W_OK | X_OK) != 0) return failure + std::strerror(errno);
  return {};
}

std::string MakeTemporaryLog() {
  const char* tmp = std::getenv("TMPDIR");
  std::string name = std::string(tmp && tmp[0] ? tmp : "/tmp") + "/vesk-recover-XXXXXX.log";
  int fd = mkstemps(name.data(), 4);  // mode 0600
  if (fd < 0) return {};
  close(fd);
  return name;
}

void InstallBreakHandlers(volatile unsigned char* flag) {
  breakFlag = flag;
  struct sigaction action {};
  action.sa_handler = OnBreakSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;  // a second Ctrl-C ends the program at once
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

std::set<std::string> ResultDirectories(const std::string& directory) {
  std::set<std::string> names;
  DIR* dir = opendir(directory.empty() ? "." : directory.c_str());
  if (!dir) return names;
  while (dirent* entry = readdir(dir)) {
    if (std::strncmp(entry->d_name, "Recovered ", 10) == 0) names.insert(entry->d_name);
  }
  closedir(dir);
  return names;
}

namespace {

// Names come from damaged catalogs: a control byte in one must not reach
// the terminal as an escape sequence.
std::string Printable(const char* text) {
  std::string out = text ? text : "";
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return out;
}

}  // namespace

void RunSummary::Add(const VeskTableReport& report) {
  ++tables_;
  rows_ += report.rowsWritten;
  pagesSkipped_ += report.pagesSkipped;
  quarantined_ += report.rowsQuarantined;
  nulled_ += report.valuesNulled;
  const bool unreadable = report.problem != nullptr && report.problem[0] != 0;
  if (unreadable) ++unreadable_;
  if (!unreadable && report.pagesSkipped == 0 && report.rowsQuarantined == 0 && report.valuesNulled == 0) return;
  std::string name = report.table ? Printable(report.table) : "?";
  if (report.schema && report.schema[0]) name = Printable(report.schema) + "." + name;
  lossy_.push_back(Table{name, unreadable ? Printable(report.problem) : "", report.rowsWritten, report.pagesSkipped,
                         report.rowsQuarantined, report.valuesNulled});
}

void RunSummary::Progress(const VeskRunProgress& progress) {
  progressTables_ = std::max<int64_t>(progressTables_, progress.tablesDone);
  progressRows_ = std::max<int64_t>(progressRows_, progress.rowsWritten);
}

void RunSummary::Print(FILE* out) const {
  std::fprintf(out, "Tables read: %lld, rows written: %lld\n",
               static_cast<long long>(std::max(tables_, progressTables_)),
               static_cast<long long>(std::max(rows_, progressRows_)));
  if (lossy_.empty()) return;
  std::fprintf(out, "Tables with losses:\n");
  for (const Table& t : lossy_) {
    if (!t.problem.empty()) {
      std::fprintf(out, "  %s: not read: %s\n", t.name.c_str(), t.problem.c_str());
      continue;
    }
    std::fprintf(out, "  %s: %lld rows written, %lld pages skipped, %lld rows quarantined, %lld values NULL\n",
                 t.name.c_str(), static_cast<long long>(t.rowsWritten), static_cast<long long>(t.pagesSkipped),
                 static_cast<long long>(t.rowsQuarantined), static_cast<long long>(t.valuesNulled));
  }
  std::fprintf(out, "Lost in all: %lld tables not read, %lld pages skipped, %lld rows quarantined, %lld values NULL\n",
               static_cast<long long>(unreadable_), static_cast<long long>(pagesSkipped_),
               static_cast<long long>(quarantined_), static_cast<long long>(nulled_));
}

namespace {

double SteadySeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// "0:42", "12:03", "2:05:09".
std::string Duration(double seconds) {
  auto total = static_cast<long long>(seconds + 0.5);
  char text[48];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
  }
  return text;
}

// The terminal redraws at most this often; the engine may report far more.
constexpr double kRedrawInterval = 0.1;

}  // namespace

ProgressView::ProgressView(FILE* out, bool terminal, bool quiet, Clock clock)
    : out_(out), terminal_(terminal), quiet_(quiet), clock_(clock ? clock : SteadySeconds) {}

void ProgressView::ClearBar() {
  if (barShown_) std::fputs("\r\033[K", out_);
  barShown_ = false;
}

void ProgressView::Message(const char* text) {
  if (quiet_) return;
  ClearBar();
  std::fprintf(out_, "%s\n", text ? text : "");
  std::fflush(out_);
  lastLine_.clear();
}

void ProgressView::Progress(const char* stage, int percent) {
  percent_ = std::clamp(percent, 0, 100);
  stage_ = Printable(stage);
  Show(percent_ == 100);
}

void ProgressView::RunProgress(const VeskRunProgress& progress) {
  if (!pass2_) pass2Start_ = clock_();
  pass2_ = true;
  bytesDone_ = progress.bytesDone;
  bytesTotal_ = progress.bytesTotal;
  rows_ = progress.rowsWritten;
  if (progress.table && progress.table[0]) stage_ = Printable(progress.table);
  Show(false);
}

std::string ProgressView::Line() const {
  int percent = percent_;
  if (pass2_ && bytesTotal_ > 0 && percent < 100) {
    percent = 15 + static_cast<int>(85.0 * static_cast<double>(bytesDone_) / static_cast<double>(bytesTotal_));
    percent = std::clamp(percent, 15, 99);
  }
  std::string rate;
  const double elapsed = clock_() - pass2Start_;
  if (pass2_ && elapsed >= 1.0) {
    char text[64];
    std::snprintf(text, sizeof text, ", %.0f rows/s", static_cast<double>(rows_) / elapsed);
    rate = text;
    if (bytesDone_ > 0 && bytesDone_ < bytesTotal_) {
      rate += ", " + Duration(elapsed * static_cast<double>(bytesTotal_ - bytesDone_) /
                              static_cast<double>(bytesDone_)) + " left";
    }
  }
  char head[80];
  if (terminal_) {
    constexpr int kWidth = 30;
    int filled = percent * kWidth / 100;
    std::snprintf(head, sizeof head, "[%.*s%.*s] %3d%% ", filled, "##############################",
                  kWidth - filled, "..............................", percent);
  } else {
    std::snprintf(head, sizeof head, "[%3d%%] ", percent);
  }
  return head + stage_.substr(0, 60) + rate;
}

void ProgressView::Show(bool force) {
  if (quiet_) return;
  const double now = clock_();
  if (terminal_) {
    if (!force && now - lastShown_ < kRedrawInterval) return;
    std::fprintf(out_, "\r\033[K%s", Line().c_str());
    barShown_ = true;
  } else {
    // A log file or a pipe gets a line now and then, and none that says
    // nothing but a percentage.
    if (stage_.empty() || now - lastShown_ < kLineInterval) return;
    std::string line = Line();
    if (line == lastLine_) return;
    std::fprintf(out_, "%s\n", line.c_str());
    lastLine_ = line;
  }
  lastShown_ = now;
  std::fflush(out_);
}

void ProgressView::Finish() {
  if (barShown_) std::fputc('\n', out_);
  barShown_ = false;
  std::fflush(out_);
}

}  // namespace vesk::frontend
