// Runs Pass 1 over a database directory and leaves the catalog readers in
// Run() for the test to inspect; destroys them again afterwards and gives
// the run back the directory, layout and settings it had.
#pragma once

#include <cstdint>
#include <string>

#include "api/driver.h"
#include "catalog/catalog_readers.h"
#include "catalog/pg_enum_table.h"
#include "common/captured_script.h"
#include "common/fixture_files.h"
#include "support/recovery_run.h"

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
    savedVersion_ = run.version;
    savedSettings_ = run.settings;
    run.databaseDirectory = directory;
    run.schemasRecovered = 0;
    status = ReadCatalogs();
    script = capture_.Text();
  }
  ~PassOne() {
    ReleaseCatalogs();
    Run().databaseDirectory = savedDir_;
    Run().version = savedVersion_;
    Run().settings = savedSettings_;
  }
  PassOne(const PassOne&) = delete;
  PassOne& operator=(const PassOne&) = delete;

  // Everything written to the script so far, Pass 1 and whatever followed.
  std::string ScriptSoFar() const { return capture_.Text(); }

  int32_t status = 0;
  std::string script;  // what Pass 1 wrote

 private:
  CapturedScript capture_;
  std::string savedDir_;
  DatabaseSettings savedSettings_;
  uint8_t savedVersion_ = 0;
};

}  // namespace vesk::testing
