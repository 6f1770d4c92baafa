// The cluster around the databases damaged: pg_database unreadable, a listed
// directory gone, an encoding number no server has, and a database
// directory whose cluster lost global/. Each is logged and the rows of every
// database that is still there come out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "common/packed_fixture.h"
#include "damage/damage_harness.h"
#include "support/temp_dir.h"

namespace vesk::damage {
namespace {

namespace fs = std::filesystem;

// A small copy of cluster83: its catalogs, template1, latin1db (16385) and
// sqlascii (16386).
std::string CopyCluster(const std::string& cluster, const std::string& to) {
  fs::create_directories(to + "/base");
  fs::copy_file(cluster + "/PG_VERSION", to + "/PG_VERSION");
  CopyDirectory(cluster + "/global", to + "/global");
  for (const char* oid : {"1", "16385", "16386"}) CopyDirectory(cluster + "/base/" + oid, to + "/base/" + oid);
  return to;
}

// The one result directory below the harness's output folders.
std::string ResultOf(const std::string& workDir) {
  for (const auto& out : fs::directory_iterator(workDir)) {
    if (!out.is_directory() || out.path().filename().string().rfind("out-", 0) != 0) continue;
    for (const auto& result : fs::directory_iterator(out.path())) return result.path().string();
  }
  return {};
}

std::set<std::string> Subdirectories(const std::string& directory) {
  std::set<std::string> names;
  for (const auto& item : fs::directory_iterator(directory)) {
    if (item.is_directory()) names.insert(item.path().filename().string());
  }
  return names;
}

// Sets the stored encoding number of the database `name` in pg_database.
void SetEncodingNumber(const std::string& file, const std::string& name, int32_t number) {
  std::vector<uint8_t> bytes = ReadBytes(file);
  const std::string key = name + std::string(1, '\0');
  auto at = std::search(bytes.begin(), bytes.end(), key.begin(), key.end());
  ASSERT_NE(at, bytes.end()) << name;
  std::memcpy(&*(at + 64 + 4), &number, 4);  // after datname (64) and datdba
  WriteBytes(file, bytes);
}

struct Case {
  const char* name;
  std::function<void(const std::string& cluster)> damage;
  const char* path;  // below the copy: what the run is given
  std::set<std::string> directories;  // databases in the result (cluster runs)
  const char* logLine;
  const char* firstLine;  // of the first database's script; "" for none
};

TEST(ClusterDamage, EachIsLoggedAndTheRestRecovered) {
  const std::string source = testing::PackedFixture("cluster83");
  if (source.empty()) GTEST_SKIP() << "fixture cluster83 not available under " << VESK_SHARED_DIR;
  const Case cases[] = {
      {"DamagedPgDatabase",
       [](const std::string& c) {
         for (size_t page = 0; page < PageCountOf(c + "/global/1262"); ++page) {
           OverwriteRandom(c + "/global/1262", page, 0, kPage, 7);
         }
       },
       "", {"database_16385", "database_16386"}, "is not listed in pg_database: recovered as database_16385",
       "-- Create table"},
      {"ListedDirectoryMissing", [](const std::string& c) { fs::remove_all(c + "/base/16386"); }, "",
       {"latin1db"}, "Database sqlascii: its directory", "SET client_encoding = 'LATIN1';"},
      {"UnknownEncodingNumber",
       [](const std::string& c) { SetEncodingNumber(c + "/global/1262", "latin1db", 99); }, "",
       {"latin1db", "sqlascii"}, "Unknown encoding number 99 in pg_database: no encoding declared", "-- Create table"},
      {"GlobalMissing", [](const std::string& c) { fs::remove_all(c + "/global"); }, "/base/16385", {},
       "global is missing): name and encoding unknown", "-- Create table"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir work;
    const std::string cluster = CopyCluster(source, work / "cluster");
    c.damage(cluster);
    Recovery run = RecoverDirectory(cluster + c.path, work.path());
    EXPECT_FALSE(run.hung);
    EXPECT_EQ(run.status, 0) << run.log;
    EXPECT_NE(run.log.find(c.logLine), std::string::npos) << run.log;
    const std::string result = ResultOf(work.path());
    ASSERT_FALSE(result.empty());
    std::string script;
    if (c.directories.empty()) {
      EXPECT_GT(run.TotalInserts(), 10u);
      script = testing::ReadFile(result + "/recovered_1.sql");
    } else {
      EXPECT_EQ(Subdirectories(result), c.directories);
      script = testing::ReadFile(result + "/" + *c.directories.begin() + "/recovered_1.sql");
      EXPECT_NE(script.find("INSERT INTO"), std::string::npos);
    }
    EXPECT_EQ(script.rfind(c.firstLine, 0), 0u) << script.substr(0, 200);
  }
}

}  // namespace
}  // namespace vesk::damage
