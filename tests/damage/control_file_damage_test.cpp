// Damaged, foreign and absent control files beside a real database: the run
// says what it found, ignores what does not fit, and recovers every row as
// with the cluster's own file.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "damage/damage_harness.h"
#include "storage/control_file.h"
#include "support/temp_dir.h"

namespace vesk::damage {
namespace {

namespace fs = std::filesystem;

std::string Fixtures() { return std::string(VESK_SHARED_DIR) + "/fixtures/"; }

using MakeControl = std::function<std::vector<uint8_t>()>;

std::vector<uint8_t> ControlOf(const char* cluster) { return ReadBytes(Fixtures() + cluster + "/global/pg_control"); }

struct Case {
  const char* name;
  MakeControl control;  // null: no global/ at all
  const char* logged;   // a text the log must hold
};

const Case kCases[] = {
    {"NoGlobalDirectory", nullptr, "Control file: none"},
    {"Empty", [] { return std::vector<uint8_t>{}; }, "Control file: truncated"},
    {"Truncated", [] { auto b = ControlOf("pg83"); b.resize(200); return b; }, "Control file: truncated"},
    {"BitFlipped", [] { auto b = ControlOf("pg83"); b[300] ^= 1; return b; }, "Control file: bad CRC"},
    {"From82", [] { return ControlOf("pg82"); }, "the database is 8.3; ignored"},
    {"From32BitCluster", [] { return ControlOf("pg83-32"); }, "ignored as another cluster's"},
    {"FromIntegerDatetimeCluster", [] { return ControlOf("pg83i"); }, "the values win"},
    {"GoodCrcAbsurdAlignment",
     [] {
       auto b = ControlOf("pg83");
       const uint32_t sixteen = 16;
       std::memcpy(b.data() + 96, &sixteen, 4);  // maxAlign of the 64-bit struct
       const uint32_t crc = ControlFileCrc(std::span(b).first(404));
       std::memcpy(b.data() + 404, &crc, 4);
       return b;
     },
     "Control file: implausible values"},
};

class ControlFileDamage : public ::testing::TestWithParam<size_t> {
 protected:
  void SetUp() override {
    if (!fs::exists(Fixtures() + "pg83/base/16585") || !fs::exists(Fixtures() + "pg83-32/global/pg_control")) {
      GTEST_SKIP() << "no fixtures at " << VESK_SHARED_DIR;
    }
  }
  static void TearDownTestSuite() { work_.reset(); }
  static testing::TempDir& Work() {
    if (!work_) work_ = std::make_unique<testing::TempDir>();
    return *work_;
  }
  static const Recovery& Baseline() {
    static Recovery baseline = RecoverDirectory(Fixtures() + "pg83/base/16585", Work().path());
    return baseline;
  }
  static std::unique_ptr<testing::TempDir> work_;
};
std::unique_ptr<testing::TempDir> ControlFileDamage::work_;

TEST_P(ControlFileDamage, RunGoesOnWithTheDatabasesOwnEvidence) {
  const Case& c = kCases[GetParam()];
  const std::string cluster = Work().path() + "/" + c.name;
  const std::string database = cluster + "/base/16585";
  CopyDirectory(Fixtures() + "pg83/base/16585", database);
  if (c.control) {
    fs::create_directories(cluster + "/global");
    WriteBytes(cluster + "/global/pg_control", c.control());
  }
  const Recovery& baseline = Baseline();
  ASSERT_EQ(baseline.status, 0);
  Recovery run = RecoverDirectory(database, Work().path());
  EXPECT_FALSE(run.hung);
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.log.find(c.logged), std::string::npos) << c.logged;
  EXPECT_NE(run.log.find("Settings: layout 8.3, maxAlign 8"), std::string::npos);
  EXPECT_EQ(run.TotalInserts(), baseline.TotalInserts());
  EXPECT_TRUE(MissingStatements(baseline, run).empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, ControlFileDamage, ::testing::Range<size_t>(0, std::size(kCases)),
                         [](const auto& p) { return std::string(kCases[p.param].name); });

}  // namespace
}  // namespace vesk::damage
