#include "frontend.h"

#include <dirent.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

#include "vesk/veskdll.h"

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
  return arg == "-o" || arg == "--log" || arg == "--database" || arg == "--encoding";
}

void TakeValue(Options& options, const std::string& arg, const char* value) {
  if (arg == "-o") {
    options.outputDir = value;
  } else if (arg == "--log") {
    options.logFile = value;
  } else if (arg == "--database") {
    options.databases.push_back(value);
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
         "directory, with load_all.sh SERVER [USER] to create and load them all.\n"
         "\n"
         "  -o OUTPUT_DIR    where the result directory is created\n"
         "  --log FILE       also keep the diagnostic log in FILE (appended)\n"
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
         "  --help         this text\n"
         "  --version      program and engine versions\n"
         "\n"
         "Ctrl-C stops the run cleanly; the script keeps every row written so far.\n"
         "Exit codes: 0 recovered, 3 nothing recovered, 4 no database directory,\n"
         "5 output cannot be created, 6 sibling library missing, 7 internal error,\n"
         "130 stopped, 2 usage error.\n";
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
    } else if (TakeForcedSetting(arg, options)) {
      if (!options.error.empty()) return options;
    } else if (TakesValue(arg)) {
      if (i + 1 >= argc) {
        options.error = "option " + arg + " needs a value";
        return options;
      }
      TakeValue(options, arg, argv[++i]);
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

int ExitCode(int32_t status) {
  switch (status) {
    case VESK_OK: return 0;
    case VESK_NOTHING_RECOVERED: return 3;
    case VESK_NO_DATABASE_DIR: return 4;
    case VESK_CANNOT_CREATE_OUTPUT: return 5;
    case VESK_NO_SIBLING_LIBRARY: return 6;
    case VESK_INTERNAL_ERROR: return 7;
    case VESK_BAD_OPTIONS: return 2;
    case VESK_UNSUPPORTED_BUILD: return 9;
    case VESK_STOPPED: return 130;
    default: return 1;
  }
}

const char* StatusText(int32_t status) {
  switch (status) {
    case VESK_OK: return "recovered";
    case VESK_NOTHING_RECOVERED: return "finished, but no schema and no table was recovered";
    case VESK_NO_DATABASE_DIR: return "the database directory cannot be found";
    case VESK_CANNOT_CREATE_OUTPUT: return "the result directory or its files cannot be created";
    case VESK_NO_SIBLING_LIBRARY: return "the sibling library libtarncmn.so cannot be loaded";
    case VESK_INTERNAL_ERROR: return "ended early on an internal error (see the log)";
    case VESK_BAD_OPTIONS: return "options refused (is the encoding name one a server knows?)";
    case VESK_UNSUPPORTED_BUILD: return "written by a server build that cannot be read (see the log)";
    case VESK_STOPPED: return "stopped; the script holds what was written until then";
    default: return "unknown status";
  }
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

void ProgressView::ClearBar() {
  if (barShown_) std::fputs("\r\033[K", out_);
  barShown_ = false;
}

void ProgressView::Message(const char* text) {
  // Each database of a cluster begins its catalogs anew.
  if (text != nullptr && std::strncmp(text, "Pass 1", 6) == 0) catalogsRead_ = false;
  if (quiet_) return;
  ClearBar();
  std::fprintf(out_, "%s\n", text ? text : "");
  std::fflush(out_);
}

void ProgressView::Progress(const char* stage, int percent) {
  const char* name = stage ? stage : "";
  // The catalogs end with an empty stage at 15; named stages after it are
  // the tables as they are finished.
  if (name[0] == 0) {
    catalogsRead_ = true;
  } else if (catalogsRead_) {
    ++tablesDone_;
  }
  if (quiet_) return;
  if (percent < 0) percent = 0;
  if (percent > 100) percent = 100;
  if (!terminal_) {
    std::fprintf(out_, "[%3d%%] %s\n", percent, name);
    std::fflush(out_);
    return;
  }
  constexpr int kWidth = 30;
  int filled = percent * kWidth / 100;
  std::fprintf(out_, "\r\033[K[%.*s%.*s] %3d%% %.60s", filled, "##############################", kWidth - filled,
               "..............................", percent, name);
  std::fflush(out_);
  barShown_ = true;
}

void ProgressView::Finish() {
  if (barShown_) std::fputc('\n', out_);
  barShown_ = false;
  std::fflush(out_);
}

}  // namespace vesk::frontend
