// The command-line front end's pieces: arguments, the engine's path and
// prefix, the status-to-exit-code map, Ctrl-C handling and the progress view.
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
  std::string error;  // non-empty when the arguments are unusable
};

Options ParseArguments(int argc, const char* const* argv);
const char* UsageText();

// The engine's options for `options` (versioned, the forced settings in it).
VeskOptions EngineOptions(const Options& options);

// The path handed to the engine, which uses only the text before the last
// separator: a directory becomes "<dir>/1259" (trailing separators dropped),
// a file stays as it is; existing paths are made absolute.
std::string EnginePath(const std::string& path);
// The result directory prefix: "" or the directory with one trailing '/'.
std::string OutputPrefix(const std::string& outputDir);

// Exit code of the program for a status of FileRecover.
int ExitCode(int32_t status);
const char* StatusText(int32_t status);

// SIGINT and SIGTERM set *flag to 1; a second signal ends the program.
void InstallBreakHandlers(volatile unsigned char* flag);

// Names of the entries "Recovered *" in a directory, to find the one a run
// created.
std::set<std::string> ResultDirectories(const std::string& directory);

// Shows the engine's messages and progress: a redrawn bar on a terminal,
// plain lines otherwise, nothing when quiet.
class ProgressView {
 public:
  ProgressView(FILE* out, bool terminal, bool quiet) : out_(out), terminal_(terminal), quiet_(quiet) {}
  void Message(const char* text);
  void Progress(const char* stage, int percent);
  void Finish();
  // Tables reported done in the second pass.
  int tablesDone() const { return tablesDone_; }

 private:
  void ClearBar();

  FILE* out_;
  bool terminal_;
  bool quiet_;
  bool barShown_ = false;
  bool catalogsRead_ = false;
  int tablesDone_ = 0;
};

}  // namespace vesk::frontend
