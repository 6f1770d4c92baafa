// Dead row versions on request, on the real fixtures whose history is known:
// every version that is not live reaches its table's companion in
// deleted_N.sql with the right reason, the 8.3 pages' pruned line pointers
// are counted, and the recovered script is the same with or without them.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "common/fixture_files.h"
#include "common/packed_fixture.h"
#include "support/temp_dir.h"
#include "vesk/veskdll.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;

struct Result {
  int32_t status = 0;
  std::string directory;  // holding recovered_1.sql
  std::string log;
};

Result Recover(const std::string& databaseDir, const std::string& out, bool deleted, const char* database = nullptr) {
  fs::create_directories(out);
  VeskOptions options{};
  options.size = sizeof options;
  options.version = VESK_OPTIONS_VERSION;
  options.deletedRows = deleted ? 1 : 0;
  const char* names[] = {database, nullptr};
  if (database != nullptr) options.databases = names;
  const std::string log = out + "/run.log";
  const fs::path cwd = fs::current_path();
  Result result;
  result.status = FileRecoverEx((databaseDir + "/1259").c_str(), (out + "/").c_str(), nullptr, nullptr, 0, log.c_str(),
                                &options);
  fs::current_path(cwd);
  result.log = ReadFile(log);
  for (const auto& entry : fs::recursive_directory_iterator(out)) {
    if (entry.path().filename() == "recovered_1.sql") result.directory = entry.path().parent_path().string();
  }
  return result;
}

// One INSERT of a companion table: the first value (the key of every table
// here) and the columns the scan adds.
struct DeadRow {
  int64_t key = 0;
  std::string reason;
  std::string newer;  // NULL or '(page,item)'
};

// Parsed from the end, where the added columns are: the table's own values
// may hold anything. False when the line is not such a statement.
bool ParseDeadRow(const std::string& line, std::string& table, DeadRow& row) {
  static const std::string kHead = "INSERT INTO \"public\".\"";
  if (line.rfind(kHead, 0) != 0 || line.size() < 2 || line.compare(line.size() - 2, 2, ");") != 0) return false;
  const size_t nameEnd = line.find('"', kHead.size());
  const size_t values = line.find(" VALUES (", nameEnd);
  if (nameEnd == std::string::npos || values == std::string::npos) return false;
  table = line.substr(kHead.size(), nameEnd - kHead.size());
  std::string body = line.substr(0, line.size() - 2);
  const size_t newerAt = body.size() >= 4 && body.compare(body.size() - 4, 4, "NULL") == 0 ? body.size() - 4
                                                                                            : body.rfind("'(");
  if (newerAt == std::string::npos || newerAt < 2) return false;
  row.newer = body.substr(newerAt);
  body.resize(newerAt - 2);  // ", "
  if (body.empty() || body.back() != '\'') return false;
  const size_t reasonAt = body.rfind('\'', body.size() - 2);
  if (reasonAt == std::string::npos || reasonAt < 2) return false;
  row.reason = body.substr(reasonAt + 1, body.size() - reasonAt - 2);
  body.resize(reasonAt - 2);  // ", "
  for (int field = 0; field < 4; ++field) {  // xmax, xmin, item, page: digits
    const size_t comma = body.rfind(", ");
    if (comma == std::string::npos ||
        body.find_first_not_of("0123456789", comma + 2) != std::string::npos || comma + 2 == body.size()) {
      return false;
    }
    body.resize(comma);
  }
  row.key = std::stoll(line.substr(values + 9));
  return true;
}

std::map<std::string, std::vector<DeadRow>> DeadRows(const std::string& directory) {
  std::map<std::string, std::vector<DeadRow>> rows;
  for (int n = 1; fs::exists(directory + "/deleted_" + std::to_string(n) + ".sql"); ++n) {
    std::ifstream in(directory + "/deleted_" + std::to_string(n) + ".sql");
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("INSERT", 0) != 0) continue;
      std::string table;
      DeadRow row;
      EXPECT_TRUE(ParseDeadRow(line, table, row)) << line.substr(0, 200);
      rows[table].push_back(row);
    }
  }
  return rows;
}

std::map<std::string, std::string> Scripts(const std::string& directory) {
  std::map<std::string, std::string> scripts;
  for (const auto& entry : fs::directory_iterator(directory)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("recovered_", 0) == 0) scripts[name] = ReadFile(entry.path().string());
  }
  return scripts;
}

// What the line pointers of a heap file hold: stored tuples, and the
// pointers 8.3 pruning leaves without one.
struct PointerCounts {
  int64_t stored = 0, redirect = 0, dead = 0;
};

PointerCounts CountPointers(const std::string& path, int version) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t header = version == 83 ? 24 : 20;
  PointerCounts counts;
  for (size_t page = 0; page + 8192 <= bytes.size(); page += 8192) {
    auto u16 = [&](size_t at) { return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) |
                                       static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8; };
    const size_t lower = u16(page + 12);
    for (size_t at = page + header; at + 4 <= page + lower; at += 4) {
      const uint32_t word = u16(at) | u16(at + 2) << 16;
      const uint32_t flags = (word >> 15) & 3;
      if ((word >> 17) != 0) {
        ++counts.stored;
      } else if (version == 83 && flags == 2) {
        ++counts.redirect;
      } else if (version == 83 && flags == 3) {
        ++counts.dead;
      }
    }
  }
  return counts;
}

bool DividesBy(int64_t n, int64_t d) { return n % d == 0; }

// churn: 300 rows; ids divisible by 10 deleted, ids divisible by 7 and not
// by 10 updated, never vacuumed. 8.2 keeps every old version; 8.3 pruning
// may have removed some, which the line pointers tell.
TEST(DeadVersions, ChurnGivesItsDeletedAndReplacedVersionsWithTheLiveScriptUnchanged) {
  if (!testing::HaveFixtures()) GTEST_SKIP() << "no fixtures at " << VESK_SHARED_DIR;
  struct Case {
    const char* cluster;
    const char* database;
    uint32_t churn;  // its file: never rewritten, named by its OID
    int version;
  };
  for (const Case& c : {Case{"pg82", "16388", 16460, 82}, Case{"pg83", "16585", 16672, 83}}) {
    SCOPED_TRACE(c.cluster);
    TempDir dir;
    const std::string database = testing::FixtureDir(c.cluster, c.database);
    const Result with = Recover(database, dir / "with", true);
    const Result without = Recover(database, dir / "without", false);
    ASSERT_EQ(with.status, VESK_OK) << with.log;
    ASSERT_EQ(without.status, VESK_OK);
    EXPECT_EQ(Scripts(with.directory), Scripts(without.directory));
    EXPECT_FALSE(fs::exists(without.directory + "/deleted_1.sql"));
    for (const char* loader : {"deleted_commit.sh", "deleted_commit_trust.sh", "deleted_commit.bat"}) {
      EXPECT_NE(ReadFile(with.directory + "/" + loader).find("deleted_load.sql"), std::string::npos) << loader;
    }
    EXPECT_NE(ReadFile(with.directory + "/deleted_load.sql").find("deleted_1.sql"), std::string::npos);

    const std::vector<DeadRow> rows = DeadRows(with.directory)["churn_dead"];
    const PointerCounts pointers = CountPointers(database + std::to_string(c.churn), c.version);
    EXPECT_EQ(static_cast<int64_t>(rows.size()), pointers.stored - 270) << "every stored version but the live ones";
    std::map<std::string, int> reasons;
    for (const DeadRow& row : rows) {
      ++reasons[row.reason];
      if (row.reason == "deleted") {
        EXPECT_TRUE(DividesBy(row.key, 10)) << row.key;
        EXPECT_EQ(row.newer, "NULL");
      } else {
        EXPECT_EQ(row.reason, "updated");
        EXPECT_TRUE(DividesBy(row.key, 7) && !DividesBy(row.key, 10)) << row.key;
        EXPECT_NE(row.newer, "NULL");
      }
    }
    if (c.version == 82) {
      EXPECT_EQ(reasons["deleted"], 30);
      EXPECT_EQ(reasons["updated"], 38);
    }
    // Their values stored out of line come from the dead chunks the
    // update left behind: none is lost.
    const std::string toasted = "public.toasted: 2 (updated 2)";
    EXPECT_NE(with.log.find(toasted + (c.version == 83 ? "; line pointers" : "\n")), std::string::npos) << toasted;
    // Each version pruning removed left a pointer behind: all 68 are
    // accounted for, kept or pruned.
    EXPECT_EQ(static_cast<int64_t>(rows.size()) + pointers.redirect + pointers.dead, 68);
    const std::string pruned = "line pointers left by pruning without a tuple: " + std::to_string(pointers.redirect) +
                               " redirect, " + std::to_string(pointers.dead) + " dead";
    EXPECT_EQ(c.version == 83, with.log.find("public.churn: " + std::to_string(rows.size())) != std::string::npos &&
                                   with.log.find(pruned) != std::string::npos);
  }
}

// The visibility databases, where every case is known and most rows carry
// no hint bits: the commit log decides.
TEST(DeadVersions, ClusterVisibilityCasesGetTheirReasons) {
  for (const char* name : {"cluster82", "cluster83"}) {
    SCOPED_TRACE(name);
    const std::string cluster = testing::PackedFixture(name);
    if (cluster.empty()) GTEST_SKIP() << "fixture " << name << " not available under " << VESK_SHARED_DIR;
    TempDir dir;
    const Result with = Recover(cluster, dir / "with", true, "visibility");
    const Result without = Recover(cluster, dir / "without", false, "visibility");
    ASSERT_EQ(with.status, VESK_OK) << with.log;
    EXPECT_EQ(Scripts(with.directory), Scripts(without.directory));

    std::map<std::string, std::vector<DeadRow>> rows = DeadRows(with.directory);
    std::map<int64_t, std::string> vis;
    for (const DeadRow& row : rows["vis_dead"]) vis[row.key] = row.reason;
    EXPECT_EQ(vis, (std::map<int64_t, std::string>{{3, "aborted update"},
                                                    {4, "deleted"},
                                                    {5, "updated"},
                                                    {100, "aborted insert"},
                                                    {101, "aborted insert"}}));
    std::map<int64_t, std::string> sub;
    for (const DeadRow& row : rows["vis_sub_dead"]) sub[row.key] = row.reason;
    EXPECT_EQ(sub,
              (std::map<int64_t, std::string>{{8, "aborted insert"}, {10, "aborted insert"}, {11, "aborted insert"}}));
    int aborted = 0;
    for (const DeadRow& row : rows["vis_big_dead"]) aborted += row.reason == "aborted insert" ? 1 : 0;
    EXPECT_EQ(aborted, 5000);
    EXPECT_EQ(rows["vis_big_dead"].size(), 5000u);
    EXPECT_EQ(rows.count("kept_dead"), 0u) << "a table without dead versions gets no companion";
  }
}

}  // namespace
}  // namespace vesk
