// Runs Pass 1 over a database directory and leaves the catalog readers in
// Run() for the test to inspect; destroys them again afterwards.
#pragma once

#include <string>

#include "api/driver.h"
#include "catalog/catalog_readers.h"
#include "catalog/pg_enum_table.h"
#include "catalog_test_util.h"

namespace vesk::testing {

// Destroys the catalog readers a run left behind, as the end of a run does.
inline void ReleaseCatalogs() {
  RecoveryRun& run = Run();
  delete run.enums;
  run.enums = nullptr;
  delete run.namespaces;
  delete run.types;
  delete run.attributes;
  delete run.classes;
  run.namespaces = nullptr;
  run.types = nullptr;
  run.attributes = nullptr;
  run.classes = nullptr;
}

class PassOne {
 public:
  explicit PassOne(const std::string& directory) {
    RecoveryRun& run = Run();
    savedDir_ = run.databaseDirectory;
    run.databaseDirectory = directory;
    run.schemasRecovered = 0;
    status = ReadCatalogs();
    script = capture_.Text();
  }
  ~PassOne() {
    ReleaseCatalogs();
    Run().databaseDirectory = savedDir_;
  }
  PassOne(const PassOne&) = delete;
  PassOne& operator=(const PassOne&) = delete;

  int32_t status = 0;
  std::string script;

 private:
  CapturedScript capture_;
  std::string savedDir_;
};

inline std::string FixtureDir(const char* version, const char* database) {
  return SharedDir() + "/fixtures/" + version + "/base/" + database + "/";
}

}  // namespace vesk::testing
