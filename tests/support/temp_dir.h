// Test helpers: a fresh directory removed at the end of the test, TMPDIR
// pointed elsewhere, whole-file reads, and a fixed clock for the platform layer.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "common/temp_dir.h"
#include "platform/platform.h"

namespace vesk::testing {

// Points TMPDIR (where every run keeps a temporary log) somewhere else for
// the lifetime of the object.
class ScopedTmpDir {
 public:
  explicit ScopedTmpDir(const std::string& path) {
    const char* old = std::getenv("TMPDIR");
    hadOld_ = old != nullptr;
    if (old) old_ = old;
    setenv("TMPDIR", path.c_str(), 1);
  }
  ~ScopedTmpDir() {
    if (hadOld_) {
      setenv("TMPDIR", old_.c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }
  ScopedTmpDir(const ScopedTmpDir&) = delete;
  ScopedTmpDir& operator=(const ScopedTmpDir&) = delete;

 private:
  bool hadOld_ = false;
  std::string old_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool IsExecutable(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && (st.st_mode & S_IXUSR) != 0;
}

// The time NowLocal reports while a FixedClock is alive.
inline platform::LocalTime fixedNow{};

class FixedClock {
 public:
  explicit FixedClock(platform::LocalTime now) {
    fixedNow = now;
    platform::SetClockForTesting([] { return fixedNow; });
  }
  ~FixedClock() { platform::SetClockForTesting(nullptr); }
  FixedClock(const FixedClock&) = delete;
  FixedClock& operator=(const FixedClock&) = delete;
  void Set(int hour, int minute, int second) {
    fixedNow.hour = hour;
    fixedNow.minute = minute;
    fixedNow.second = second;
  }
};

inline platform::LocalTime MakeTime(int year, int month, int day, int hour, int minute, int second) {
  return platform::LocalTime{year, month, 0, day, hour, minute, second, 0};
}

}  // namespace vesk::testing
