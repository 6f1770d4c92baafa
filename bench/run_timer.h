// Times one whole recovery in a child process of its own, so that its peak
// memory is the engine's alone and not the benchmark's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vesk::bench {

struct RunFigures {
  int status = 0;          // FileRecover's status, or -100 when the child failed
  double wallSeconds = 0;
  double userSeconds = 0;
  double systemSeconds = 0;
  double peakMiB = 0;      // the child's peak resident set
  uint64_t rows = 0;       // INSERT statements in the script
  uint64_t scriptBytes = 0;
};

// Recovers `databaseDir` into a new result directory below `outputDir` by
// running `self --recover-one databaseDir outputDir`.
RunFigures TimeRecovery(const std::string& self, const std::string& databaseDir, const std::string& outputDir);

// The child's side: one FileRecover call; returns its status.
int RecoverOne(const std::string& databaseDir, const std::string& outputDir);

// Reads every file of `dir` once, so the run is timed on a warm file cache.
// Returns the bytes of the files whose names are in `heapFiles` (all when empty).
uint64_t WarmAndMeasure(const std::string& dir, const std::vector<std::string>& heapFiles);

}  // namespace vesk::bench
