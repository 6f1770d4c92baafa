// vesk-bench [--keep] [--synthetic | DIR]
//
// Times whole recoveries through FileRecover and prints, per case, the wall
// and CPU time, rows per second, heap megabytes per second and the peak
// resident memory of the recovering process.
//   DIR given:            that database directory.
//   ../shared present:    perf83 unpacked under /tmp: bulk alone, docs alone,
//                         and the whole database.
//   otherwise, or with --synthetic: synthetic databases of 1 and 2 million rows.
// Everything is made under a new /tmp directory, removed at the end unless
// --keep is given.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "run_timer.h"
#include "synthetic_database.h"

namespace fs = std::filesystem;
using vesk::bench::RunFigures;

namespace {

struct Case {
  std::string name;
  std::string databaseDir;
  std::vector<std::string> heapFiles;  // the user tables' files (empty: all)
};

const char kPerfArchive[] = VESK_SHARED_DIR "/fixtures/perf83.tar.xz";

std::string SelfPath(const char* argv0) {
  std::error_code ec;
  fs::path p = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(argv0) : p.string();
}

// A directory of links to every file of `source` except the `left` ones: the
// engine then recovers only the tables whose files remain.
std::string MakeView(const std::string& source, const std::string& view, const std::vector<std::string>& left) {
  fs::create_directories(view);
  for (const auto& entry : fs::directory_iterator(source)) {
    std::string name = entry.path().filename().string();
    bool skip = false;
    for (const std::string& l : left) skip = skip || name == l || name.rfind(l + ".", 0) == 0;
    if (!skip) fs::create_symlink(fs::absolute(entry.path()), fs::path(view) / name);
  }
  return view;
}

bool PerfCases(const std::string& work, std::vector<Case>& cases) {
  if (!fs::exists(kPerfArchive)) return false;
  std::string unpack = work + "/perf83";
  fs::create_directories(unpack);
  std::string command = "tar -xJf '" + std::string(kPerfArchive) + "' -C '" + unpack + "'";
  if (std::system(command.c_str()) != 0) return false;
  std::string db = unpack + "/17137";
  if (!fs::is_directory(db)) return false;
  // bulk: 17138; docs: 17144 with its TOAST relation 17147.
  cases.push_back({"perf83 bulk", MakeView(db, work + "/view-bulk", {"17144", "17147"}), {"17138"}});
  cases.push_back({"perf83 docs", MakeView(db, work + "/view-docs", {"17138"}), {"17144", "17147"}});
  cases.push_back({"perf83 whole", db, {"17138", "17144", "17147"}});
  return true;
}

void SyntheticCases(const std::string& work, std::vector<Case>& cases) {
  for (uint32_t rows : {1000000u, 2000000u}) {
    std::string name = "synthetic " + std::to_string(rows / 1000000) + "M";
    std::string dir = work + "/synthetic-" + std::to_string(rows);
    fs::create_directories(dir);
    std::fprintf(stderr, "writing %s rows into %s ...\n", name.c_str(), dir.c_str());
    if (!vesk::bench::WriteSyntheticDatabase(dir, rows)) {
      std::fprintf(stderr, "cannot write %s\n", dir.c_str());
      continue;
    }
    cases.push_back({name, dir, {"16386"}});
  }
}

void PrintFigures(const Case& c, uint64_t heapBytes, const RunFigures& f) {
  double heapMB = static_cast<double>(heapBytes) / 1e6;
  double wall = f.wallSeconds > 0 ? f.wallSeconds : 1e-9;
  std::printf("%-16s %9llu %8.1f %7.3f %6.2f %6.2f %10.0f %8.1f %8.1f %8.1f %5d\n", c.name.c_str(),
              static_cast<unsigned long long>(f.rows), heapMB, f.wallSeconds, f.userSeconds, f.systemSeconds,
              static_cast<double>(f.rows) / wall, heapMB / wall, f.peakMiB, static_cast<double>(f.scriptBytes) / 1e6,
              f.status);
  std::fflush(stdout);
}

int Usage() {
  std::fprintf(stderr, "usage: vesk-bench [--keep] [--synthetic | DATABASE_DIR]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--recover-one") {
    int status = vesk::bench::RecoverOne(argv[2], argv[3]);
    return status == 0 ? 0 : status == -1000 ? 100 : (-status) & 0x7F;
  }
  bool keep = false;
  bool synthetic = false;
  std::string given;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--keep") {
      keep = true;
    } else if (arg == "--synthetic") {
      synthetic = true;
    } else if (arg == "--help" || arg[0] == '-' || !given.empty()) {
      return Usage();
    } else {
      given = arg;
    }
  }
  char pattern[] = "/tmp/vesk-bench-XXXXXX";
  if (!mkdtemp(pattern)) {
    std::perror("mkdtemp");
    return 1;
  }
  std::string work = pattern;
  std::vector<Case> cases;
  if (!given.empty()) {
    cases.push_back({fs::path(given).filename().string(), fs::absolute(given).string(), {}});
  } else if (synthetic || !PerfCases(work, cases)) {
    SyntheticCases(work, cases);
  }
  std::string self = SelfPath(argv[0]);
  std::printf("%-16s %9s %8s %7s %6s %6s %10s %8s %8s %8s %5s\n", "case", "rows", "heap MB", "wall s", "user",
              "sys", "rows/s", "heap MB/s", "peak MiB", "sql MB", "status");
  int failures = 0;
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    uint64_t heapBytes = vesk::bench::WarmAndMeasure(c.databaseDir, c.heapFiles);
    RunFigures f = vesk::bench::TimeRecovery(self, c.databaseDir, work + "/out-" + std::to_string(i));
    PrintFigures(c, heapBytes, f);
    if (f.status != 0) ++failures;
  }
  if (keep) {
    std::printf("kept: %s\n", work.c_str());
  } else {
    std::error_code ec;
    fs::remove_all(work, ec);
  }
  return failures == 0 ? 0 : 1;
}
