// Whole data directories (cluster82, cluster83): every database into a
// directory of its own, each script declaring the database's encoding, and
// one database recovered alone exactly as the cluster run gives it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/packed_fixture.h"
#include "support/temp_dir.h"
#include "support/utf8_text.h"
#include "vesk/veskdll.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using testing::PackedFixture;
using testing::ReadFile;
using testing::TempDir;

// name -> stored encoding, from the fixture's expected/databases.tsv.
std::map<std::string, std::string> ExpectedDatabases(const std::string& cluster) {
  std::map<std::string, std::string> out;
  std::ifstream in(cluster + "/expected/databases.tsv");
  std::string name, oid, encoding;
  while (in >> name >> oid >> encoding) out[name] = encoding;
  return out;
}

struct RunResult {
  int32_t status = 0;
  std::string directory;  // the one result directory the run made
  std::string log;
};

RunResult RecoverPath(const std::string& path, const std::string& outDir, const VeskOptions* options) {
  fs::create_directories(outDir);
  const std::string log = outDir + "/run.log";
  const fs::path cwd = fs::current_path();
  RunResult run;
  run.status = FileRecoverEx((path + "/1259").c_str(), (outDir + "/").c_str(), nullptr, nullptr, 0, log.c_str(),
                             options);
  fs::current_path(cwd);
  for (const auto& item : fs::directory_iterator(outDir)) {
    if (item.path().filename().string().rfind("Recovered ", 0) == 0) run.directory = item.path().string();
  }
  run.log = ReadFile(log);
  return run;
}

std::set<std::string> Subdirectories(const std::string& directory) {
  std::set<std::string> names;
  for (const auto& item : fs::directory_iterator(directory)) {
    if (item.is_directory()) names.insert(item.path().filename().string());
  }
  return names;
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

class ClusterRecoverTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    cluster_ = PackedFixture(GetParam());
    if (cluster_.empty()) GTEST_SKIP() << "fixture " << GetParam() << " not available under " << VESK_SHARED_DIR;
  }
  std::string cluster_;
  TempDir dir_;
};

TEST_P(ClusterRecoverTest, EveryDatabaseInItsOwnDirectoryDeclaringItsEncoding) {
  RunResult run = RecoverPath(cluster_, dir_ / "all", nullptr);
  ASSERT_EQ(run.status, VESK_OK) << run.log;
  const auto expected = ExpectedDatabases(cluster_);
  ASSERT_FALSE(expected.empty());
  std::set<std::string> names;
  for (const auto& [name, encoding] : expected) names.insert(name);
  EXPECT_EQ(Subdirectories(run.directory), names) << "templates and postgres hold no user table";

  const std::string loader = ReadFile(run.directory + "/load_all.sh");
  for (const auto& [name, encoding] : expected) {
    const std::string declared = encoding == "SQL_ASCII" ? "UTF8" : encoding;
    const std::string script = ReadFile(run.directory + "/" + name + "/recovered_1.sql");
    EXPECT_EQ(FirstLine(script), "SET client_encoding = '" + declared + "';") << name;
    EXPECT_NE(loader.find("CREATE DATABASE \"" + name + "\" ENCODING '\\''" + declared + "'\\''"), std::string::npos)
        << name << "\n" << loader;
  }
  const std::string latin1 = ReadFile(run.directory + "/latin1db/recovered_1.sql");
  EXPECT_NE(latin1.find("'Gr\xFC\xDF" "e aus M\xFCnchen'"), std::string::npos) << "LATIN1 bytes as stored";
  EXPECT_NE(latin1.find("\"caf\xE9\""), std::string::npos) << "names in the same encoding";

  const std::string raw = ReadFile(run.directory + "/sqlascii/recovered_1.sql");
  EXPECT_TRUE(IsValidUtf8(raw));
  EXPECT_NE(raw.find("'caf\xC3\xA9'"), std::string::npos);
  EXPECT_NE(raw.find("'\xC3\xBF\xC3\xBE high bytes \xC2\x80'"), std::string::npos);
  EXPECT_NE(raw.find("'pure ascii'"), std::string::npos);
  EXPECT_NE(run.log.find("Table public.raw_bytes: 3 values were not valid UTF-8 and were read as LATIN1"),
            std::string::npos);
  EXPECT_NE(run.log.find("read as LATIN1: [public.raw_bytes]"), std::string::npos) << "in the summary";
}

TEST_P(ClusterRecoverTest, OneDatabaseAloneGivesTheClusterRunsScript) {
  RunResult all = RecoverPath(cluster_, dir_ / "all", nullptr);
  ASSERT_EQ(all.status, VESK_OK);
  for (const char* name : {"latin1db", "sqlascii"}) {
    const std::string oid = name == std::string("latin1db") ? "16385" : "16386";
    RunResult alone = RecoverPath(cluster_ + "/base/" + oid, dir_ / ("alone_" + oid), nullptr);
    ASSERT_EQ(alone.status, VESK_OK) << alone.log;
    EXPECT_EQ(fs::path(alone.directory).filename().string().rfind(std::string("Recovered ") + name + " ", 0), 0u)
        << alone.directory;
    EXPECT_EQ(ReadFile(alone.directory + "/recovered_1.sql"),
              ReadFile(all.directory + "/" + name + "/recovered_1.sql"))
        << name;
  }
}

TEST_P(ClusterRecoverTest, ChosenDatabasesAndTheirNamedEncoding) {
  const char* const chosen[] = {"sqlascii", "no_such_db", nullptr};
  VeskOptions options{};
  options.size = sizeof options;
  options.version = VESK_OPTIONS_VERSION;
  options.databases = chosen;
  options.encoding = "latin1";
  RunResult run = RecoverPath(cluster_, dir_ / "chosen", &options);
  ASSERT_EQ(run.status, VESK_OK) << run.log;
  EXPECT_EQ(Subdirectories(run.directory), std::set<std::string>{"sqlascii"});
  EXPECT_NE(run.log.find("No database of this name in pg_database: [no_such_db]"), std::string::npos) << run.log;
  const std::string script = ReadFile(run.directory + "/sqlascii/recovered_1.sql");
  EXPECT_EQ(FirstLine(script), "SET client_encoding = 'LATIN1';");
  EXPECT_NE(script.find("'caf\xE9'"), std::string::npos) << "the bytes as stored, for the server to convert";

  options.encoding = "no-such-encoding";
  EXPECT_EQ(RecoverPath(cluster_, dir_ / "refused", &options).status, VESK_BAD_OPTIONS);
  const char* const none[] = {"no_such_db", nullptr};
  options.encoding = nullptr;
  options.databases = none;
  EXPECT_EQ(RecoverPath(cluster_, dir_ / "none", &options).status, VESK_NO_DATABASE_DIR);
}

INSTANTIATE_TEST_SUITE_P(Clusters, ClusterRecoverTest, ::testing::Values("cluster82", "cluster83"));

}  // namespace
}  // namespace vesk
