// Helpers for the catalog tests: decoded rows made by hand, a captured
// script, and a scratch database directory that the run points at.
#pragma once

#include <array>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "common/captured_script.h"
#include "common/fixture_files.h"
#include "storage/datum.h"
#include "support/recovery_run.h"

namespace vesk::testing {

// A stored 64-byte name; keep it alive while its row is used.
struct StoredName {
  std::array<char, 64> bytes{};
  explicit StoredName(const std::string& text) { std::memcpy(bytes.data(), text.data(), std::min<size_t>(text.size(), 64)); }
};

inline AttrValue ByValue(uint32_t v) { return AttrValue{static_cast<Datum>(v), false}; }
inline AttrValue ByRef(const void* p) { return AttrValue{PointerDatum(p), false}; }
inline AttrValue NullValue() { return AttrValue{0, true}; }
// A value the decoder could not place: not null, but no address.
inline AttrValue Unplaced() { return AttrValue{0, false}; }

// A fresh directory under the system's temporary directory, removed again at
// the end; the run's database directory points into it meanwhile.
class ScratchDirectory {
 public:
  explicit ScratchDirectory(const std::string& name) {
    path_ = std::filesystem::temp_directory_path() / ("vesk_catalog_" + name + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
    saved_ = Run().databaseDirectory;
    Run().databaseDirectory = Dir();
  }
  ~ScratchDirectory() {
    Run().databaseDirectory = saved_;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string Dir() const { return path_.string() + "/"; }
  std::string File(const std::string& name) const { return Dir() + name; }

 private:
  std::filesystem::path path_;
  std::string saved_;
};

}  // namespace vesk::testing
