// vesk-wintest: a console front end that drives veskdll.dll the way the
// product's own front end does: it loads the library by name, finds the
// exports by their plain names, registers a break byte and runs FileRecover
// with both callbacks.
//
//   vesk-wintest PATH [OUTPUT_DIR] [--log FILE] [--stop-after N] [--current]
//
// PATH is a file inside the database directory (for example ...\16388\1259).
// OUTPUT_DIR receives the result directory (default: the current directory).
// --stop-after N sets the break byte at the N-th progress report, to show a
// clean stop. --current runs FileRecoverEx with the script choices of
// vesk-recover's defaults (COPY blocks, exact floats, a current server, every
// schema object), so that its scripts compare with that program's. Prints the messages, progress, the result directory and the
// status; exits 0 for statuses 0 and -1000 when a stop was asked for, else 1.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "vesk/veskdll.h"

namespace {

using FileRecoverEntry = int32_t(VESK_CALL*)(const char*, const char*, int32_t, MessageCallback,
                                             ProgressCallback, intptr_t, const char*);
using FileRecoverExEntry = int32_t(VESK_CALL*)(const char*, const char*, MessageCallback, ProgressCallback,
                                               intptr_t, const char*, const VeskOptions*);
using SetBreakFlagEntry = void(VESK_CALL*)(volatile unsigned char*);
using NumberEntry = int32_t(VESK_CALL*)(void);

struct Session {
  volatile unsigned char breakByte = 0;
  long stopAfter = 0;  // 0: never
  long progressReports = 0;
  std::string lastStage;
  int lastPercent = -1;
};

void VESK_CALL OnMessage(const char* text, intptr_t user) {
  (void)user;
  std::printf("message: %s\n", text ? text : "(null)");
  std::fflush(stdout);
}

void VESK_CALL OnProgress(const char* stage, int32_t percent, intptr_t user) {
  auto* session = reinterpret_cast<Session*>(user);
  std::string name = stage ? stage : "(null)";
  if (name != session->lastStage || percent != session->lastPercent) {
    std::printf("progress: [%s] %d%%\n", name.c_str(), static_cast<int>(percent));
    session->lastStage = name;
    session->lastPercent = percent;
  }
  if (session->stopAfter > 0 && ++session->progressReports == session->stopAfter) {
    std::printf("setting the break byte\n");
    session->breakByte = 1;
  }
}

template <typename Entry>
Entry Find(HMODULE module, const char* name) {
  FARPROC address = GetProcAddress(module, name);
  if (!address) {
    std::fprintf(stderr, "vesk-wintest: veskdll.dll has no export %s\n", name);
    std::exit(1);
  }
  Entry entry;
  static_assert(sizeof entry == sizeof address);
  std::memcpy(&entry, &address, sizeof entry);
  return entry;
}

std::string ProgramDirectory() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  std::string text(path, n);
  size_t cut = text.find_last_of('\\');
  return cut == std::string::npos ? std::string() : text.substr(0, cut + 1);
}

std::set<std::string> ResultDirectories(const std::string& folder) {
  std::set<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "Recovered *").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) names.insert(found.cFileName);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return names;
}

const char* StatusText(int32_t status) {
  switch (status) {
    case VESK_OK: return "recovered";
    case VESK_NOTHING_RECOVERED: return "nothing recovered";
    case VESK_NO_DATABASE_DIR: return "database directory not found";
    case VESK_CANNOT_CREATE_OUTPUT: return "output cannot be created";
    case VESK_NO_SIBLING_LIBRARY: return "tarncmn.dll cannot be loaded";
    case VESK_INTERNAL_ERROR: return "ended early on an internal error";
    case VESK_STOPPED: return "stopped";
    default: return "unknown status";
  }
}

int Usage() {
  std::fprintf(stderr, "usage: vesk-wintest PATH [OUTPUT_DIR] [--log FILE] [--stop-after N]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string path, outputDir, logFile;
  Session session;
  bool current = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--current") {
      current = true;
    } else if ((arg == "--log" || arg == "--stop-after") && i + 1 < argc) {
      if (arg == "--log") {
        logFile = argv[++i];
      } else {
        session.stopAfter = std::strtol(argv[++i], nullptr, 10);
      }
    } else if (!arg.empty() && arg[0] == '-') {
      return Usage();
    } else if (path.empty()) {
      path = arg;  // as given: the engine takes both separators
    } else if (outputDir.empty()) {
      outputDir = arg;
    } else {
      return Usage();
    }
  }
  if (path.empty()) return Usage();
  if (!outputDir.empty() && outputDir.back() != '\\' && outputDir.back() != '/') outputDir += '\\';

  // The resource module goes first: the engine finds the built-in type images
  // among the loaded modules, and puts its extracted file beside it.
  std::string here = ProgramDirectory();
  if (!LoadLibraryA((here + "quorndll.dll").c_str())) std::printf("note: quorndll.dll not loaded\n");
  HMODULE engine = LoadLibraryA((here + "veskdll.dll").c_str());
  if (!engine) {
    std::fprintf(stderr, "vesk-wintest: cannot load veskdll.dll (error %lu)\n", GetLastError());
    return 1;
  }
  auto fileRecover = Find<FileRecoverEntry>(engine, "FileRecover");
  auto setBreakFlag = Find<SetBreakFlagEntry>(engine, "SetBreakFlag");
  std::printf("GetDllVersion: %d\n", static_cast<int>(Find<NumberEntry>(engine, "GetDllVersion")()));
  std::printf("isEnvReady: %d\n", static_cast<int>(Find<NumberEntry>(engine, "isEnvReady")()));
  Find<NumberEntry>(engine, "LoadTarncmn");

  // A stale request must not stop the run: FileRecover clears the byte.
  session.breakByte = 1;
  setBreakFlag(&session.breakByte);
  std::set<std::string> before = ResultDirectories(outputDir);
  const char* log = logFile.empty() ? nullptr : logFile.c_str();
  const intptr_t user = reinterpret_cast<intptr_t>(&session);
  int32_t status;
  if (current) {
    VeskOptions options{};
    options.size = sizeof options;
    options.version = VESK_OPTIONS_VERSION;
    options.rowFormat = VESK_ROWS_COPY;
    options.floatText = VESK_FLOATS_EXACT;
    options.targetServer = VESK_TARGET_CURRENT;
    options.schemaObjects = VESK_OBJECTS_ALL;
    auto fileRecoverEx = Find<FileRecoverExEntry>(engine, "FileRecoverEx");
    status = fileRecoverEx(path.c_str(), outputDir.c_str(), OnMessage, OnProgress, user, log, &options);
    // The options entry reports losses apart; the comparison wants the run.
    if (status == VESK_RECOVERED_WITH_LOSSES) status = VESK_OK;
  } else {
    status = fileRecover(path.c_str(), outputDir.c_str(), 0, OnMessage, OnProgress, user, log);
  }
  for (const std::string& name : ResultDirectories(outputDir)) {
    if (!before.count(name)) std::printf("Result directory: %s%s\n", outputDir.c_str(), name.c_str());
  }
  std::printf("Status: %d (%s)\n", static_cast<int>(status), StatusText(status));
  bool expected = status == VESK_OK || (session.stopAfter > 0 && status == VESK_STOPPED);
  return expected ? 0 : 1;
}
