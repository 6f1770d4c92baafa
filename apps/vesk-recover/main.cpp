// vesk-recover: recovers a PostgreSQL 8.2/8.3 database directory from the
// command line through the engine's exported interface.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "frontend.h"
#include "piece_pipeline.h"
#include "server_load.h"
#include "vesk/veskdll.h"

namespace {

using vesk::frontend::ProgressView;
using vesk::frontend::RunSummary;
using vesk::frontend::ServerLoad;

volatile unsigned char breakByte = 0;

struct RunContext {
  ProgressView view;
  RunSummary summary;
  // --into: the server's work overlaps the engine's decoding.
  vesk::frontend::PiecePipeline* pipeline = nullptr;
  // The load's reports may come on the thread that hands the script over,
  // beside the engine's own messages.
  std::mutex viewLock{};
};

RunContext& Context(intptr_t user) { return *reinterpret_cast<RunContext*>(user); }

void VESK_CALL OnMessage(const char* text, intptr_t user) {
  std::lock_guard<std::mutex> lock(Context(user).viewLock);
  Context(user).view.Message(text);
}

void VESK_CALL OnProgress(const char* stage, int32_t percent, intptr_t user) {
  std::lock_guard<std::mutex> lock(Context(user).viewLock);
  Context(user).view.Progress(stage, percent);
}

void VESK_CALL OnRunProgress(const VeskRunProgress* progress, intptr_t user) {
  if (progress == nullptr) return;
  std::lock_guard<std::mutex> lock(Context(user).viewLock);
  Context(user).view.RunProgress(*progress);
  Context(user).summary.Progress(*progress);
}

void VESK_CALL OnTableReport(const VeskTableReport* report, intptr_t user) {
  if (report != nullptr) Context(user).summary.Add(*report);
}

int32_t VESK_CALL OnScriptPiece(const VeskScriptPiece* piece, intptr_t user) {
  if (piece == nullptr) return 0;
  return Context(user).pipeline->Take(*piece) ? 0 : 1;
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

std::string NewResultDirectory(const std::string& outputDir, const std::set<std::string>& before) {
  for (const std::string& name : vesk::frontend::ResultDirectories(outputDir)) {
    if (!before.count(name)) return outputDir + "/" + name;
  }
  return {};
}

int Refuse(const std::string& problem, int32_t status) {
  std::fprintf(stderr, "vesk-recover: %s\n", problem.c_str());
  return vesk::frontend::ExitCode(status, false);
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
  if (std::string problem = CheckDatabasePath(options.path); !problem.empty()) {
    return Refuse(problem, VESK_NO_DATABASE_DIR);
  }
  if (std::string problem = CheckOutputDirectory(options.outputDir); !problem.empty()) {
    return Refuse(problem, VESK_CANNOT_CREATE_OUTPUT);
  }
  std::string enginePath = EnginePath(options.path);
  std::string prefix = OutputPrefix(options.outputDir);
  std::string outputDir = prefix.empty() ? std::filesystem::current_path().string() : prefix.substr(0, prefix.size() - 1);
  std::set<std::string> before = ResultDirectories(outputDir);

  std::string log = options.logFile;
  const bool temporaryLog = log.empty();
  if (temporaryLog) log = MakeTemporaryLog();

  RunContext context{ProgressView(stderr, isatty(STDERR_FILENO) != 0, options.quiet), RunSummary()};
  // The server is reached before the run, so that a wrong connection string
  // or password costs nothing.
  std::unique_ptr<ServerLoad> load;
  if (!options.into.empty()) {
    if (std::string problem = CheckIntoTarget(options.path, options.databases.size()); !problem.empty()) {
      return Refuse(problem, VESK_BAD_OPTIONS);
    }
    std::string error;
    load = ServerLoad::Connect(
        options.into, [&context](const std::string& line) {
          std::lock_guard<std::mutex> lock(context.viewLock);
          context.view.Message(line.c_str());
        }, error);
    if (!load) return Refuse("cannot load into the server: " + error, VESK_BAD_OPTIONS);
    // The engine has made the result directory by the time a row is refused.
    load->KeepRejects([&outputDir, &before] {
      const std::string directory = NewResultDirectory(outputDir, before);
      return directory.empty() ? std::string() : directory + "/refused.sql";
    });
  }
  std::vector<const char*> databases;
  for (const std::string& name : options.databases) databases.push_back(name.c_str());
  databases.push_back(nullptr);
  VeskOptions engineOptions = EngineOptions(options);
  engineOptions.encoding = options.encoding.empty() ? nullptr : options.encoding.c_str();
  engineOptions.databases = options.databases.empty() ? nullptr : databases.data();
  engineOptions.tableReport = OnTableReport;
  engineOptions.runProgress = OnRunProgress;
  std::unique_ptr<vesk::frontend::PiecePipeline> pipeline;
  if (load) {
    pipeline = std::make_unique<vesk::frontend::PiecePipeline>(
        [&load](const VeskScriptPiece& piece) { return load->Take(piece); });
    context.pipeline = pipeline.get();
    engineOptions.scriptSink = OnScriptPiece;
  }
  SetBreakFlag(&breakByte);
  InstallBreakHandlers(&breakByte);
  int32_t status = FileRecoverEx(enginePath.c_str(), prefix.c_str(), OnMessage, OnProgress,
                                 reinterpret_cast<intptr_t>(&context), log.empty() ? nullptr : log.c_str(),
                                 &engineOptions);
  if (pipeline) pipeline->Finish();
  context.view.Finish();
  if (load) load->Finish();

  const bool losses = context.summary.HasLosses() || (load && load->Summary().HasLosses());
  const bool connectionLost = load && load->Summary().IsConnectionLost();
  const int code = connectionLost ? 8 : ExitCode(status, losses);
  std::string resultDirectory = NewResultDirectory(outputDir, before);
  const bool cluster = !resultDirectory.empty() && std::filesystem::exists(resultDirectory + "/load_all.sh");
  if (!resultDirectory.empty()) {
    std::printf("Result directory: %s\n", resultDirectory.c_str());
    if (!options.quiet) {
      if (cluster) {
        PrintDatabases(resultDirectory);
      } else {
        PrintScriptFiles(resultDirectory);
      }
    }
  }
  context.summary.Print(stdout);
  if (load) load->Summary().Print(stdout);
  if (!load && !resultDirectory.empty() &&
      (status == VESK_OK || status == VESK_RECOVERED_WITH_LOSSES || status == VESK_STOPPED)) {
    if (cluster) {
      std::printf("Load with: %s SERVER [USER] [PORT]\n", ShellQuote(resultDirectory + "/load_all.sh").c_str());
    } else {
      std::printf("Load with: %s SERVER DATABASE USER [PORT]\n", ShellQuote(resultDirectory + "/commit.sh").c_str());
    }
    if (options.deleted) {
      std::printf("Dead row versions: %s, loaded after the recovered script into the same database\n",
                  cluster ? "each database's deleted_commit.sh"
                          : ShellQuote(resultDirectory + "/deleted_commit.sh").c_str());
    }
  }
  // The log may hold dumps of the user's data: it goes once nothing in it
  // is needed any more.
  if (temporaryLog && !log.empty() && code == 0) {
    std::remove(log.c_str());
  } else if (!log.empty() && code != 0) {
    std::printf("Log: %s\n", log.c_str());
  }
  if (connectionLost) {
    std::printf("Status: the connection to the server was lost; each table committed before stays loaded\n");
  } else {
    std::printf("Status: %s (%d)\n", StatusText(status, losses), status);
  }
  return code;
}
