// The scan for dead row versions on damaged copies of the real fixtures: it
// ends, writes only whole statements, keeps a dead version whose TOAST
// chunks are gone (its values NULL), and leaves the recovered script exactly
// as a run without it writes it from the same damaged files.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>
#include <string>

#include "damage/damage_harness.h"
#include "support/temp_dir.h"
#include "vesk/veskdll.h"

namespace vesk::damage {
namespace {

namespace fs = std::filesystem;

struct Fixture {
  const char* name;
  const char* directory;  // below the shared fixtures
  const char* churn;      // file numbers
  const char* toastOfToasted;
};
const Fixture kFixtures[] = {{"pg82", "pg82/base/16388", "16460", "16414"},
                             {"pg83", "pg83/base/16585", "16672", "16621"}};

struct Case {
  const char* name;
  std::function<void(const std::string& dir, const Fixture& f)> damage;
  const char* logLine;  // must appear in the run's log
};

const Case kCases[] = {
    {"ChurnPointersAndTuplesGarbled",
     [](const std::string& dir, const Fixture& f) {
       OverwriteRandom(dir + "/" + f.churn, 0, 24, 200, 11);
       OverwriteRandom(dir + "/" + f.churn, 1, 3000, 5192, 12);
     },
     "Dead versions of public.churn: "},
    {"ToastOfDeadVersionsGone",
     [](const std::string& dir, const Fixture& f) { fs::resize_file(dir + "/" + f.toastOfToasted, 0); },
     "public.toasted: 2 (updated 2), values lost (NULL) "},
};

std::string DeletedScript(const std::string& workDir) {
  for (const auto& entry : fs::recursive_directory_iterator(workDir)) {
    if (entry.path().filename() == "deleted_1.sql") return testing::ReadFile(entry.path().string());
  }
  return {};
}

TEST(DeadVersionsDamage, ScanEndsAndLeavesTheRecoveredScriptAlone) {
  if (!fs::exists(std::string(VESK_SHARED_DIR) + "/fixtures/pg83/base")) {
    GTEST_SKIP() << "no fixtures at " << VESK_SHARED_DIR;
  }
  for (const Fixture& f : kFixtures) {
    for (const Case& c : kCases) {
      SCOPED_TRACE(std::string(f.name) + " " + c.name);
      testing::TempDir work;
      const std::string dir = work.path() + "/db";
      CopyDirectory(std::string(VESK_SHARED_DIR) + "/fixtures/" + f.directory, dir);
      c.damage(dir, f);

      VeskOptions options{};
      options.size = sizeof options;
      options.version = VESK_OPTIONS_VERSION;
      const Recovery without = RecoverDirectory(dir, work.path() + "/without", 120, &options);
      options.deletedRows = 1;
      const Recovery with = RecoverDirectory(dir, work.path() + "/with", 120, &options);
      EXPECT_FALSE(with.hung);
      EXPECT_TRUE(with.status == VESK_OK || with.status == VESK_RECOVERED_WITH_LOSSES) << with.status;
      EXPECT_EQ(with.inserts, without.inserts);
      EXPECT_NE(with.log.find(c.logLine), std::string::npos) << c.logLine;

      std::istringstream script(DeletedScript(work.path() + "/with"));
      int statements = 0;
      for (std::string line; std::getline(script, line);) {
        if (line.rfind("INSERT INTO ", 0) != 0) continue;
        ++statements;
        EXPECT_EQ(line.substr(line.size() - 2), ");") << line.substr(0, 200);
      }
      EXPECT_GT(statements, 0);
    }
  }
}

}  // namespace
}  // namespace vesk::damage
