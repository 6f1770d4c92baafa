// The loaders of a result directory run against a real server: a recovery
// of the sample database loads with no failure, a second load is refused
// before any row goes in, --replace loads it again without doubling, and
// failures are counted and named. A .psqlrc that turns autocommit off is in
// force throughout: it must not change what the loaders do.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/fixture_files.h"
#include "common/test_server.h"
#include "sampledb/sample_database.h"
#include "script/writer/load_guard.h"
#include "support/temp_dir.h"
#include "vesk/veskdll.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

struct Ran {
  int status = -1;
  std::string output;
};

Ran Shell(const std::string& command) {
  Ran ran;
  if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) ran.output.append(buffer, n);
    const int raw = pclose(pipe);
    ran.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  return ran;
}

std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// "key=value" out of the server's connection string.
std::string Field(const std::string& connection, const std::string& key) {
  const size_t at = connection.find(key + "=");
  if (at == std::string::npos) return {};
  const size_t from = at + key.size() + 1;
  return connection.substr(from, connection.find(' ', from) - from);
}

class CommitLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    const std::string connection = testing::TestServerConnection(&why);
    if (connection.empty()) GTEST_SKIP() << why;
    host_ = Field(connection, "host");
    port_ = Field(connection, "port");
    user_ = Field(connection, "user");
    // Everything below runs with this HOME: its .psqlrc would make every
    // statement of a session that reads it vanish at the end, or fail.
    fs::create_directories(dir_ / "home");
    std::ofstream(dir_ / "home/.psqlrc") << "\\set AUTOCOMMIT off\nSET default_transaction_read_only = on;\n";
    const std::string database = dir_ / "db/base/16384";
    fs::create_directories(database);
    ASSERT_TRUE(sampledb::WriteSampleDatabase(83, database));
    fs::create_directories(dir_ / "out");
    const fs::path cwd = fs::current_path();  // the run changes it
    const int32_t status = FileRecover((database + "/1259").c_str(), (dir_ / "out/").c_str(), 0, nullptr, nullptr, 0,
                                       (dir_ / "run.log").c_str());
    fs::current_path(cwd);
    ASSERT_EQ(status, VESK_OK);
    for (const auto& item : fs::directory_iterator(dir_ / "out")) result_ = item.path().string();
    database_ = "loader_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : database_) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    Psql("postgres", "DROP DATABASE IF EXISTS \"" + database_ + "\"");
    ASSERT_EQ(Psql("postgres", "CREATE DATABASE \"" + database_ + "\"").status, 0);
  }
  void TearDown() override {
    if (!database_.empty()) Psql("postgres", "DROP DATABASE IF EXISTS \"" + database_ + "\"");
  }

  std::string Environment() const {
    return "cd / && env -u PGHOST -u PGDATABASE -u PGUSER -u PGPORT -u PGPASSWORD HOME=" + Quoted(dir_ / "home") +
           " ";
  }
  Ran Psql(const std::string& database, const std::string& sql) const {
    return Shell(Environment() + "psql -X -At -h " + Quoted(host_) + " -p " + port_ + " -U " + Quoted(user_) +
                 " -d " + Quoted(database) + " -c " + Quoted(sql));
  }
  // Rows in the two recovered tables, "customers items"; what psql said
  // when one is missing.
  std::string Rows() const {
    Ran ran = Psql(database_, "SELECT (SELECT count(*) FROM public.customers) || ' ' || "
                              "(SELECT count(*) FROM inventory.items)");
    return ran.status == 0 ? ran.output : "(" + ran.output + ")";
  }
  Ran Load(const std::string& loader, const std::string& arguments) const {
    return Shell(Environment() + Quoted(result_ + "/" + loader) + " " + arguments);
  }
  // commit_trust.sh's arguments; the user comes from PGUSER.
  Ran LoadTrusted(const std::string& before, const std::string& after = "") const {
    return Shell(Environment() + "PGUSER=" + Quoted(user_) + " " + Quoted(result_ + "/commit_trust.sh") + " " +
                 before + Quoted(host_) + " " + Quoted(database_) + " " + port_ + after);
  }

  TempDir dir_;
  std::string host_, port_, user_, result_, database_;
};

// Loads, refuses, replaces: the rows are there once after each step.
TEST_F(CommitLoaderTest, LoadsOnceRefusesASecondLoadAndReplacesOnRequest) {
  const std::string loaded = "5 3\n";
  const struct {
    const char* what;
    const char* before;
    const char* after;
    int status;
    const char* lastLine;
  } steps[] = {
      {"first load", "", "", 0, "Load finished: 0 statements failed"},
      {"second load", "", "", 3, "--replace drops them and loads again"},
      {"replaced", "--replace ", "", 0, "Load finished: 0 statements failed"},
      {"replaced, option last", "", " --replace", 0, "Load finished: 0 statements failed"},
  };
  for (const auto& step : steps) {
    Ran ran = LoadTrusted(step.before, step.after);
    EXPECT_EQ(ran.status, step.status) << step.what << "\n" << ran.output;
    EXPECT_NE(ran.output.find(std::string(step.lastLine) + "\n"), std::string::npos) << step.what << "\n" << ran.output;
    EXPECT_EQ(Rows(), loaded) << step.what;
  }
  Ran refused = LoadTrusted("");
  EXPECT_NE(refused.output.find("tables of this recovery exist already: inventory.items, public.customers"),
            std::string::npos)
      << refused.output;
  EXPECT_TRUE(fs::exists(result_ + "/load.log"));
}

// One table of the recovery exists: the load stops before anything is
// written, naming it. Missing arguments come from PG* variables.
TEST_F(CommitLoaderTest, AnExistingTableStopsTheLoadBeforeAnyRow) {
  ASSERT_EQ(Psql(database_, "CREATE TABLE public.customers (id integer)").status, 0);
  Ran ran = Load("commit.sh", "\"\" \"\" \"\" --replace-not " + port_);
  EXPECT_EQ(ran.status, 1) << "five arguments:\n" << ran.output;
  ran = Shell(Environment() + "PGHOST=" + Quoted(host_) + " PGDATABASE=" + Quoted(database_) + " PGUSER=" +
              Quoted(user_) + " PGPORT=" + port_ + " " + Quoted(result_ + "/commit.sh"));
  EXPECT_EQ(ran.status, 3) << ran.output;
  EXPECT_NE(ran.output.find("tables of this recovery exist already: public.customers\""), std::string::npos)
      << ran.output;
  EXPECT_EQ(Psql(database_, "SELECT count(*) FROM public.customers").output, "0\n");
  EXPECT_EQ(Psql(database_, "SELECT count(*) FROM pg_namespace WHERE nspname = 'inventory'").output, "0\n")
      << "nothing of the recovery was created";
}

// Statements that fail after the guard let the load through are counted,
// named by file and line, and make the exit status 4.
TEST_F(CommitLoaderTest, FailedStatementsAreCountedAndNamed) {
  ASSERT_EQ(Psql(database_, "CREATE SCHEMA inventory").status, 0);
  Ran ran = Load("commit.sh", Quoted(host_) + " " + Quoted(database_) + " " + Quoted(user_) + " " + port_);
  EXPECT_EQ(ran.status, 4) << ran.output;
  EXPECT_NE(ran.output.find("psql:recovered_1.sql:"), std::string::npos) << ran.output;
  EXPECT_NE(ran.output.find("schema \"inventory\" already exists"), std::string::npos) << ran.output;
  EXPECT_NE(ran.output.find("Load finished: 1 statements failed; load.log names them\n"), std::string::npos)
      << ran.output;
  EXPECT_EQ(Rows(), "5 3\n") << "the rest loaded";
  // Run again, it is refused; what the first run said is kept.
  ran = Load("commit.sh", Quoted(host_) + " " + Quoted(database_) + " " + Quoted(user_) + " " + port_);
  EXPECT_EQ(ran.status, 3) << ran.output;
  EXPECT_NE(testing::ReadFile(result_ + "/load.previous.log").find("schema \"inventory\" already exists"),
            std::string::npos);
}

// The guards find and drop the recovery's objects whatever their names
// hold (quotes, backslashes, capitals, a table written unqualified), and
// leave the database's own objects alone.
TEST_F(CommitLoaderTest, GuardsNameOddTablesExactly) {
  ForgetCreatedObjects();
  NoteCreatedSchema("Odd \"Schema\"");
  NoteCreatedTable("Odd \"Schema\"", "it's \\ \"odd\"");
  NoteCreatedTable(nullptr, "Plain");
  NoteCreatedObject("TYPE", "\"Odd \"\"Schema\"\"\".\"mood\"");
  const std::string guards = dir_ / "guards";
  fs::create_directories(guards);
  ASSERT_TRUE(WriteLoadGuards(guards));
  ForgetCreatedObjects();
  ASSERT_EQ(Psql(database_, "CREATE SCHEMA \"Odd \"\"Schema\"\"\"; "
                            "CREATE TYPE \"Odd \"\"Schema\"\"\".mood AS ENUM ('a'); "
                            "CREATE TABLE \"Odd \"\"Schema\"\"\".\"it's \\ \"\"odd\"\"\" (m \"Odd \"\"Schema\"\"\".mood); "
                            "CREATE TABLE public.\"Plain\" (); CREATE TABLE public.plain ();")
                .status,
            0);
  auto run = [&](const char* file) {
    return Shell(Environment() + "psql -X -q -v ON_ERROR_STOP=1 -h " + Quoted(host_) + " -p " + port_ + " -U " +
                 Quoted(user_) + " -d " + Quoted(database_) + " -f " + Quoted(guards + "/" + file));
  };
  Ran check = run("load_check.sql");
  EXPECT_EQ(check.status, 3) << check.output;
  EXPECT_NE(check.output.find("exist already: \"Odd \"\"Schema\"\"\".\"it's \\ \"\"odd\"\"\", public.\"Plain\"\""),
            std::string::npos)
      << check.output;
  Ran replace = run("load_replace.sql");
  EXPECT_EQ(replace.status, 0) << replace.output;
  EXPECT_EQ(replace.output, "") << "no notices";
  EXPECT_EQ(run("load_check.sql").status, 0);
  EXPECT_EQ(Psql(database_, "SELECT string_agg(nspname || '.' || relname, ' ') FROM pg_class c JOIN pg_namespace n "
                            "ON n.oid = relnamespace WHERE relkind = 'r' AND nspname NOT IN "
                            "('pg_catalog', 'information_schema')")
                .output,
            "public.plain\n")
      << "only the database's own table is left";
}

// The dead row versions load through loaders of their own after the
// recovered script, once: a second load is refused as the script's is.
TEST(DeletedLoaderTest, ChurnsDeadVersionsLoadOnceAfterTheScript) {
  std::string why;
  const std::string connection = testing::TestServerConnection(&why);
  if (connection.empty()) GTEST_SKIP() << why;
  if (!testing::HaveFixtures()) GTEST_SKIP() << "no fixtures at " << VESK_SHARED_DIR;
  TempDir dir;
  VeskOptions options{};
  options.size = sizeof options;
  options.version = VESK_OPTIONS_VERSION;
  options.rowFormat = VESK_ROWS_COPY;
  options.floatText = VESK_FLOATS_EXACT;
  options.targetServer = VESK_TARGET_CURRENT;
  options.schemaObjects = VESK_OBJECTS_ALL;
  options.deletedRows = 1;
  fs::create_directories(dir / "out");
  const fs::path cwd = fs::current_path();
  const int32_t status = FileRecoverEx((testing::FixtureDir("pg82", "16388") + "/1259").c_str(),
                                      (dir / "out/").c_str(), nullptr, nullptr, 0, (dir / "run.log").c_str(), &options);
  fs::current_path(cwd);
  ASSERT_TRUE(status == VESK_OK || status == VESK_RECOVERED_WITH_LOSSES) << status;
  std::string result;
  for (const auto& item : fs::directory_iterator(dir / "out")) result = item.path().string();

  const std::string host = Field(connection, "host"), port = Field(connection, "port"), user = Field(connection, "user");
  const std::string env = "cd / && env -u PGHOST -u PGDATABASE -u PGPORT PGUSER=" + Quoted(user) + " ";
  const std::string args = " " + Quoted(host) + " deleted_churn " + port;
  const std::string psql = env + "psql -X -At -h " + Quoted(host) + " -p " + port + " -d ";
  Shell(psql + "postgres -c 'DROP DATABASE IF EXISTS deleted_churn'");
  ASSERT_EQ(Shell(psql + "postgres -c 'CREATE DATABASE deleted_churn'").status, 0);
  const Ran live = Shell(env + Quoted(result + "/commit_trust.sh") + args);
  EXPECT_EQ(live.status, 0) << live.output;
  const Ran dead = Shell(env + Quoted(result + "/deleted_commit_trust.sh") + args);
  EXPECT_EQ(dead.status, 0) << dead.output;
  const std::string reasons =
      "deleted_churn -c 'SELECT dead_reason, count(*) FROM public.churn_dead GROUP BY 1 ORDER BY 1'";
  EXPECT_EQ(Shell(psql + reasons).output, "deleted|30\nupdated|38\n");
  const Ran again = Shell(env + Quoted(result + "/deleted_commit_trust.sh") + args);
  EXPECT_EQ(again.status, 3) << again.output;
  EXPECT_NE(again.output.find("churn_dead"), std::string::npos) << again.output;
  EXPECT_EQ(Shell(psql + reasons).output, "deleted|30\nupdated|38\n");
  Shell(psql + "postgres -c 'DROP DATABASE IF EXISTS deleted_churn'");
}

}  // namespace
}  // namespace vesk
