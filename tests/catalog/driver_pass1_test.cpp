// Pass 1 of the driver: messages, progress, cancellation, the directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "api/driver.h"
#include "catalog_test_util.h"
#include "common/pass_one_fixture.h"

namespace vesk {
namespace {

using testing::PassOne;

// Records the callbacks of a run and restores the run's settings afterwards.
class Callbacks {
 public:
  Callbacks() {
    RecoveryRun& run = vesk::Run();
    run.message = &OnMessage;
    run.progress = &OnProgress;
    run.user = reinterpret_cast<intptr_t>(this);
  }
  ~Callbacks() {
    RecoveryRun& run = vesk::Run();
    run.message = nullptr;
    run.progress = nullptr;
    run.user = 0;
    run.breakFlag = nullptr;
  }
  std::vector<std::string> messages;
  std::vector<std::pair<std::string, int>> progress;

 private:
  static void OnMessage(const char* text, intptr_t user) {
    reinterpret_cast<Callbacks*>(user)->messages.emplace_back(text);
  }
  static void OnProgress(const char* stage, int32_t percent, intptr_t user) {
    reinterpret_cast<Callbacks*>(user)->progress.emplace_back(stage, percent);
  }
};

// Restores the working directory the driver changes.
class KeepWorkingDirectory {
 public:
  KeepWorkingDirectory() : saved_(std::filesystem::current_path()) {}
  ~KeepWorkingDirectory() { std::filesystem::current_path(saved_); }

 private:
  std::filesystem::path saved_;
};

TEST(DriverPassOne, ReportsTheCatalogStages) {
  testing::ScratchDirectory dir("stages");
  Callbacks calls;
  PassOne pass(dir.Dir());
  EXPECT_EQ(pass.status, 0);
  using P = std::pair<std::string, int>;
  EXPECT_EQ(calls.progress, (std::vector<P>{{"pg_class", 0}, {"pg_attribute", 5}, {"pg_type", 10}, {"", 15}}));
  // Nothing on disk: empty catalogs, but every built-in type is known.
  EXPECT_EQ(vesk::Run().classes->reader().RowCount(), 0u);
  EXPECT_EQ(vesk::Run().types->reader().RowCount(), 242u);
  EXPECT_EQ(vesk::Run().version, 82);
  EXPECT_EQ(pass.script, "");
}

TEST(DriverPassOne, MissingDirectoryIsReported) {
  KeepWorkingDirectory keep;
  Callbacks calls;
  EXPECT_EQ(RunRecoveryDriver("/nonexistent/vesk/base/1/1259"), -4);
  EXPECT_EQ(calls.messages, std::vector<std::string>{"Pass 1: analyzing database..."});
}

TEST(DriverPassOne, StopsBeforeReadingWhenCancelled) {
  KeepWorkingDirectory keep;
  Callbacks calls;
  volatile unsigned char flag = 1;
  vesk::Run().breakFlag = &flag;
  EXPECT_EQ(RunRecoveryDriver("/tmp/x"), -1000);
  EXPECT_EQ(calls.messages, (std::vector<std::string>{"Pass 1: analyzing database...", "Terminate..."}));
  EXPECT_TRUE(calls.progress.empty());
}

TEST(DriverPassOne, RelativePathBecomesAnAbsoluteDirectory) {
  KeepWorkingDirectory keep;
  testing::ScratchDirectory dir("relative");
  std::filesystem::create_directories(dir.File("db"));
  std::filesystem::current_path(dir.Dir());
  Callbacks calls;
  RunRecoveryDriver("db/1259");
  std::string expected = std::filesystem::canonical(dir.File("db")).string() + "/";
  EXPECT_EQ(std::filesystem::canonical(vesk::Run().databaseDirectory).string() + "/", expected);
  EXPECT_EQ(vesk::Run().databaseDirectory.front(), '/');
  EXPECT_EQ(std::filesystem::current_path().string() + "/", expected);
  testing::ReleaseCatalogs();
}

// The sample database the build writes beside the programs.
std::string SampleDir(const char* layout) {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return (exe.parent_path().parent_path() / "sample" / layout).string() + "/";
}

class BundledSample : public ::testing::TestWithParam<std::pair<const char*, uint8_t>> {};

TEST_P(BundledSample, PassOneFindsItsTablesAndSchema) {
  std::string dir = SampleDir(GetParam().first);
  if (!std::filesystem::exists(dir + "1259")) GTEST_SKIP() << "sample database not built at " << dir;
  PassOne pass(dir);
  EXPECT_EQ(vesk::Run().version, GetParam().second);
  EXPECT_EQ(pass.script, "-- Schema: inventory\n\nCREATE SCHEMA \"inventory\";\n\n");
  RecoveryRun& run = vesk::Run();
  auto items = OpenRelationById(16390, nullptr, run.version);
  EXPECT_EQ(items->path, dir + "16399");
  EXPECT_EQ(items->columns.size(), 5u);
  EXPECT_STREQ(run.namespaces->FindSchemaName(items->classRecord->relnamespace), "inventory");
  auto customers = OpenRelationById(16386, nullptr, run.version);
  EXPECT_EQ(customers->columns.size(), 9u);
  EXPECT_STREQ(run.namespaces->FindSchemaName(customers->classRecord->relnamespace), "public");
}

TEST_P(BundledSample, RecoversEveryRow) {
  std::string dir = SampleDir(GetParam().first);
  if (!std::filesystem::exists(dir + "1259")) GTEST_SKIP() << "sample database not built at " << dir;
  KeepWorkingDirectory keep;
  std::string script;
  {
    testing::CapturedScript capture;
    EXPECT_EQ(RunRecoveryDriver((dir + "1259").c_str()), 0);
    script = capture.Text();
  }
  testing::ReleaseCatalogs();
  auto count = [&](const std::string& what) {
    size_t n = 0;
    for (size_t at = script.find(what); at != std::string::npos; at = script.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("INSERT INTO \"public\".\"customers\""), 5u);
  EXPECT_EQ(count("INSERT INTO \"inventory\".\"items\""), 3u);
  // Stored forms that differ between the layouts.
  EXPECT_NE(script.find("1250.75"), std::string::npos);
  EXPECT_NE(script.find("-0.01"), std::string::npos);
  EXPECT_NE(script.find("9000000001"), std::string::npos);
  EXPECT_NE(script.find("'2008-03-14 15:09:26.5"), std::string::npos);
  EXPECT_NE(script.find("{\"a b\",NULL,\"{x}\"}"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Layouts, BundledSample,
                         ::testing::Values(std::make_pair("pg82", uint8_t{82}), std::make_pair("pg83", uint8_t{83})),
                         [](const auto& p) { return std::string(p.param.first); });

}  // namespace
}  // namespace vesk
