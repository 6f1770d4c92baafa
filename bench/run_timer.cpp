#include "run_timer.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "vesk/veskdll.h"

namespace vesk::bench {
namespace fs = std::filesystem;
namespace {

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

// Counts the INSERT statements of every script file below `outputDir`.
void CountScript(const std::string& outputDir, RunFigures& figures) {
  std::error_code ec;
  for (const auto& entry : fs::recursive_directory_iterator(outputDir, ec)) {
    std::string name = entry.path().filename().string();
    if (!entry.is_regular_file() || name.rfind("recovered_", 0) != 0) continue;
    figures.scriptBytes += entry.file_size();
    std::FILE* f = std::fopen(entry.path().c_str(), "rb");
    if (!f) continue;
    static char line[1 << 16];
    bool atLineStart = true;
    while (std::fgets(line, sizeof line, f)) {
      if (atLineStart && std::strncmp(line, "INSERT INTO ", 12) == 0) ++figures.rows;
      atLineStart = std::strchr(line, '\n') != nullptr;
    }
    std::fclose(f);
  }
}

}  // namespace

int RecoverOne(const std::string& databaseDir, const std::string& outputDir) {
  // The engine takes any path inside the database directory.
  std::string path = databaseDir + "/.";
  std::string prefix = outputDir + "/";
  std::string log = outputDir + "/bench.log";
  return FileRecover(path.c_str(), prefix.c_str(), 0, nullptr, nullptr, 0, log.c_str());
}

RunFigures TimeRecovery(const std::string& self, const std::string& databaseDir, const std::string& outputDir) {
  RunFigures figures;
  fs::create_directories(outputDir);
  auto start = std::chrono::steady_clock::now();
  pid_t child = fork();
  if (child == 0) {
    execl(self.c_str(), self.c_str(), "--recover-one", databaseDir.c_str(), outputDir.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  int wstatus = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &wstatus, 0, &usage) != child) {
    figures.status = -100;
    return figures;
  }
  figures.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  figures.userSeconds = Seconds(usage.ru_utime);
  figures.systemSeconds = Seconds(usage.ru_stime);
  figures.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  // The child reports FileRecover's status negated (an exit code is 0..255).
  if (!WIFEXITED(wstatus)) {
    figures.status = -100;
  } else {
    int code = WEXITSTATUS(wstatus);
    figures.status = code == 0 ? 0 : code == 100 ? -1000 : code == 127 ? -100 : -code;
  }
  CountScript(outputDir, figures);
  return figures;
}

uint64_t WarmAndMeasure(const std::string& dir, const std::vector<std::string>& heapFiles) {
  uint64_t heapBytes = 0;
  static char buffer[1 << 20];
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    }
    std::string name = entry.path().filename().string();
    bool heap = heapFiles.empty() ||
                std::any_of(heapFiles.begin(), heapFiles.end(), [&](const std::string& h) {
                  return name == h || name.rfind(h + ".", 0) == 0;
                });
    if (heap) heapBytes += entry.file_size();
  }
  return heapBytes;
}

}  // namespace vesk::bench
