// Whole runs on a real fixture database without a server: the messages and
// progress the caller sees, and a stop in the middle of Pass 2.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "api/pass2.h"
#include "common/sql_literal_scan.h"
#include "vesk/veskdll.h"

namespace vesk::acceptance {
namespace {

namespace fs = std::filesystem;

struct Seen {
  std::vector<std::string> messages;
  std::vector<std::pair<std::string, int>> progress;
  volatile unsigned char* flag = nullptr;
  int stopAfterTables = -1;  // set the break byte after this many tables
  int tables = 0;
  std::vector<VeskRunProgress> run;
};

void VESK_CALL OnRunProgress(const VeskRunProgress* progress, intptr_t user) {
  VeskRunProgress copy = *progress;
  copy.table = nullptr;  // valid during the call only
  reinterpret_cast<Seen*>(user)->run.push_back(copy);
}

void VESK_CALL OnMessage(const char* text, intptr_t user) {
  reinterpret_cast<Seen*>(user)->messages.emplace_back(text);
}

void VESK_CALL OnProgress(const char* stage, int32_t percent, intptr_t user) {
  Seen* seen = reinterpret_cast<Seen*>(user);
  seen->progress.emplace_back(stage, percent);
  if (percent > 15 && percent < 100 && ++seen->tables == seen->stopAfterTables) *seen->flag = 1;
}

// The script text after its last complete statement, without blank and
// comment lines: empty when the script ends between statements. Follows
// '...' and E'...' literals, so a semicolon or line break inside a value
// does not count.
std::string AfterLastStatement(const std::string& script) {
  size_t end = 0;
  for (size_t i = 0; i < script.size(); ++i) {
    char c = script[i];
    if (c == '-' && i + 1 < script.size() && script[i + 1] == '-') {
      i = script.find('\n', i);
      if (i == std::string::npos) break;
    } else if (c == '\'') {
      i = testing::SkipSqlLiteral(script, i);
    } else if (c == ';') {
      end = i + 1;
    }
  }
  std::string rest;
  std::istringstream lines(script.substr(end));
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.rfind("--", 0) != 0) rest += line + "\n";
  }
  return rest;
}

TEST(AfterLastStatementTest, FollowsLiterals) {
  EXPECT_EQ(AfterLastStatement("INSERT INTO t VALUES ('a;\nb', E'x\\';y');\n\n-- Create table u \n\n"), "");
  EXPECT_EQ(AfterLastStatement("INSERT INTO t VALUES (1);\nINSERT INTO t VALUES ('a;"), "INSERT INTO t VALUES ('a;\n");
}

class RecoveryRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    database = std::string(VESK_SHARED_DIR) + "/fixtures/pg82/base/16388";
    if (!fs::exists(database)) GTEST_SKIP() << "shared fixtures not found at " << VESK_SHARED_DIR;
    char dir[] = "/tmp/vesk-run-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    work = dir;
    SetBreakFlag(&flag);
    seen.flag = &flag;
  }
  void TearDown() override {
    SetBreakFlag(nullptr);
    std::error_code ec;
    if (!work.empty() && !HasFailure()) fs::remove_all(work, ec);
  }

  int32_t Recover() {
    return FileRecover((database + "/1259").c_str(), (work + "/").c_str(), 0, OnMessage, OnProgress,
                       reinterpret_cast<intptr_t>(&seen), (work + "/run.log").c_str());
  }

  std::string Script() {
    for (const auto& entry : fs::directory_iterator(work)) {
      if (!entry.is_directory()) continue;
      std::ifstream in(entry.path() / "recovered_1.sql", std::ios::binary);
      std::stringstream ss;
      ss << in.rdbuf();
      return ss.str();
    }
    return "";
  }

  std::string database;
  std::string work;
  volatile unsigned char flag = 0;
  Seen seen;
};

TEST_F(RecoveryRunTest, ReportsEveryStageAndTable) {
  ASSERT_EQ(Recover(), VESK_OK);
  // The fixture has its control file beside it, but no commit log. How rows
  // are judged is settled before the catalogs are read, the build after.
  EXPECT_EQ(seen.messages,
            (std::vector<std::string>{"Pass 1: analyzing database...",
                                      "Row visibility from hint bits only (no usable commit log)",
                                      "Server build: 8.2, alignment 8 (control file), date/time storage float (control file)",
                                      "done", "Pass 2: recovering tables...", "done"}));
  // The 8.2 fixture holds 18 user tables, sql_data in public among them.
  ASSERT_EQ(seen.progress.size(), 4u + 18u + 1u);
  EXPECT_EQ(seen.progress[0], (std::pair<std::string, int>{"pg_class", 0}));
  EXPECT_EQ(seen.progress[1], (std::pair<std::string, int>{"pg_attribute", 5}));
  EXPECT_EQ(seen.progress[2], (std::pair<std::string, int>{"pg_type", 10}));
  EXPECT_EQ(seen.progress[3], (std::pair<std::string, int>{"", 15}));
  TableProgress expected(18);
  for (size_t i = 4; i < 4 + 18; ++i) {
    EXPECT_EQ(seen.progress[i].second, expected.Next()) << seen.progress[i].first;
  }
  EXPECT_EQ(seen.progress.back(), (std::pair<std::string, int>{"", 100}));
  const std::string script = Script();
  EXPECT_NE(script.find("-- Create table Pg_x in scheme public\n\nCREATE TABLE \"public\".\"Pg_x\"\n(\n\"a\" integer);\n\n"),
            std::string::npos);
  // A user's table whose name only looks like a catalog's is data.
  EXPECT_NE(script.find("CREATE TABLE \"public\".\"sql_data\""), std::string::npos);
}

// Through the options entry point the same run also reports steps inside the
// tables and its progress in heap bytes and rows.
TEST_F(RecoveryRunTest, OptionsEntryPointReportsBytesRowsAndFinerSteps) {
  VeskOptions options{};
  options.size = sizeof options;
  options.version = VESK_OPTIONS_VERSION;
  options.runProgress = OnRunProgress;
  ASSERT_EQ(FileRecoverEx((database + "/1259").c_str(), (work + "/").c_str(), OnMessage, OnProgress,
                          reinterpret_cast<intptr_t>(&seen), (work + "/run.log").c_str(), &options),
            VESK_OK);
  // The old steps are all there, in order, and every step in between
  // lies between them.
  TableProgress expected(18);
  int next = expected.Next(), last = 0, named = 0;
  for (const auto& [stage, percent] : seen.progress) {
    EXPECT_GE(percent, last) << stage;
    last = percent;
    if (percent == next && !stage.empty()) {
      ++named;
      next = expected.Next();
    }
  }
  EXPECT_EQ(named, 18);

  ASSERT_GE(seen.run.size(), 2u + 18u);
  const VeskRunProgress& end = seen.run.back();
  EXPECT_GT(end.bytesTotal, 0);
  EXPECT_EQ(end.bytesDone, end.bytesTotal);
  EXPECT_EQ(end.tablesDone, 18);
  EXPECT_EQ(end.tablesTotal, 18);
  for (size_t i = 1; i < seen.run.size(); ++i) {
    EXPECT_GE(seen.run[i].bytesDone, seen.run[i - 1].bytesDone) << i;
    EXPECT_GE(seen.run[i].rowsWritten, seen.run[i - 1].rowsWritten) << i;
  }
  const std::string script = Script();
  int64_t inserts = 0;
  for (size_t at = script.find("\nINSERT INTO "); at != std::string::npos; at = script.find("\nINSERT INTO ", at + 1)) {
    ++inserts;
  }
  EXPECT_EQ(end.rowsWritten, inserts);
}

TEST_F(RecoveryRunTest, EmptyDatabaseRecoversNothing) {
  database = std::string(VESK_SHARED_DIR) + "/fixtures/pg82/base/16384";
  ASSERT_EQ(Recover(), VESK_NOTHING_RECOVERED);
  EXPECT_EQ(seen.progress, (std::vector<std::pair<std::string, int>>{
                               {"pg_class", 0}, {"pg_attribute", 5}, {"pg_type", 10}, {"", 15}, {"", 100}}));
  EXPECT_EQ(Script().find("CREATE TABLE"), std::string::npos);
}

TEST_F(RecoveryRunTest, StopInPassTwoLeavesCompleteStatements) {
  seen.stopAfterTables = 3;
  ASSERT_EQ(Recover(), VESK_STOPPED);
  EXPECT_EQ(seen.messages.back(), "Terminate...");
  EXPECT_EQ(seen.tables, 3);
  const std::string script = Script();
  ASSERT_FALSE(script.empty());
  // Every statement that was begun was finished.
  EXPECT_EQ(AfterLastStatement(script), "");
  EXPECT_NE(script.find("INSERT INTO "), std::string::npos);
  EXPECT_EQ(script.substr(script.size() - 2), "\n\n");
}

}  // namespace
}  // namespace vesk::acceptance
