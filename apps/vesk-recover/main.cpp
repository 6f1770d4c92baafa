// vesk-recover: recovers a PostgreSQL 8.2/8.3 database directory from the
// command line through the engine's exported interface.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "frontend.h"
#include "vesk/veskdll.h"

namespace {

using vesk::frontend::ProgressView;

volatile unsigned char breakByte = 0;

void VESK_CALL OnMessage(const char* text, intptr_t user) {
  reinterpret_cast<ProgressView*>(user)->Message(text);
}

void VESK_CALL OnProgress(const char* stage, int32_t percent, intptr_t user) {
  reinterpret_cast<ProgressView*>(user)->Progress(stage, percent);
}

void PrintScriptFiles(const std::string& directory) {
  for (int n = 1;; ++n) {
    std::string name = "recovered_" + std::to_string(n) + ".sql";
    std::error_code error;
    auto size = std::filesystem::file_size(directory + "/" + name, error);
    if (error) break;
    std::printf("  %s  %ju bytes\n", name.c_str(), static_cast<uintmax_t>(size));
  }
}

// A cluster's result directory holds one directory per database.
void PrintDatabases(const std::string& resultDirectory) {
  std::error_code error;
  std::set<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(resultDirectory, error)) {
    if (item.is_directory(error)) names.insert(item.path().filename().string());
  }
  for (const std::string& name : names) {
    std::printf("%s/\n", name.c_str());
    PrintScriptFiles(resultDirectory + "/" + name);
  }
}

void PrintSummary(int32_t status, const std::string& resultDirectory, const ProgressView& view, bool quiet) {
  if (!resultDirectory.empty()) {
    std::printf("Result directory: %s\n", resultDirectory.c_str());
    const bool cluster = std::filesystem::exists(resultDirectory + "/load_all.sh");
    if (!quiet) {
      if (cluster) {
        PrintDatabases(resultDirectory);
      } else {
        PrintScriptFiles(resultDirectory);
      }
      std::printf("Tables written: %d\n", view.tablesDone());
      if (cluster) {
        std::printf("Load with: %s/load_all.sh SERVER [USER]\n", resultDirectory.c_str());
      } else {
        std::printf("Load with: %s/commit.sh SERVER DATABASE USER\n", resultDirectory.c_str());
      }
    }
  }
  std::printf("Status: %s (%d)\n", vesk::frontend::StatusText(status), status);
}

std::string NewResultDirectory(const std::string& outputDir, const std::set<std::string>& before) {
  std::string where = outputDir.empty() ? std::filesystem::current_path().string() : outputDir;
  for (const std::string& name : vesk::frontend::ResultDirectories(where)) {
    if (!before.count(name)) return where + "/" + name;
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vesk::frontend;
  Options options = ParseArguments(argc, argv);
  if (!options.error.empty()) {
    std::fprintf(stderr, "vesk-recover: %s\n\n%s", options.error.c_str(), UsageText());
    return 2;
  }
  if (options.help) {
    std::fputs(UsageText(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("vesk-recover 0.1.0 (engine interface version %d)\n", static_cast<int>(GetDllVersion()));
    return 0;
  }
  std::error_code error;
  if (!std::filesystem::exists(options.path, error)) {
    std::fprintf(stderr, "vesk-recover: %s: no such file or directory\n", options.path.c_str());
    return ExitCode(VESK_NO_DATABASE_DIR);
  }
  std::string enginePath = EnginePath(options.path);
  std::string prefix = OutputPrefix(options.outputDir);
  std::string outputDir = prefix.empty() ? std::string() : prefix.substr(0, prefix.size() - 1);
  std::set<std::string> before = ResultDirectories(outputDir.empty() ? "." : outputDir);
  if (outputDir.empty()) outputDir = std::filesystem::current_path().string();

  ProgressView view(stderr, isatty(STDERR_FILENO) != 0, options.quiet);
  SetBreakFlag(&breakByte);
  InstallBreakHandlers(&breakByte);
  std::vector<const char*> databases;
  for (const std::string& name : options.databases) databases.push_back(name.c_str());
  databases.push_back(nullptr);
  VeskOptions engineOptions = EngineOptions(options);
  engineOptions.encoding = options.encoding.empty() ? nullptr : options.encoding.c_str();
  engineOptions.databases = options.databases.empty() ? nullptr : databases.data();
  int32_t status = FileRecoverEx(enginePath.c_str(), prefix.c_str(), OnMessage, OnProgress,
                                 reinterpret_cast<intptr_t>(&view),
                                 options.logFile.empty() ? nullptr : options.logFile.c_str(), &engineOptions);
  view.Finish();
  PrintSummary(status, NewResultDirectory(outputDir, before), view, options.quiet);
  return ExitCode(status);
}
