// Script files that say how their text is encoded, text made valid UTF-8
// when they say UTF8, and the cluster loaders that create every database.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "script/writer/cluster_loaders.h"
#include "script/writer/output_files.h"
#include "script/writer/script_writer.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/temp_dir.h"

namespace vesk {
namespace {

using testing::ReadFile;
using testing::TempDir;

class EncodingOutputTest : public ::testing::Test {
 protected:
  EncodingOutputTest() {
    TheLog().Open((dir_ / "log.txt").c_str(), true);
    result_ = dir_ / "result";
    std::filesystem::create_directory(result_);
    vesk::Run().resultDirectory = result_;
  }
  ~EncodingOutputTest() override {
    CloseOutputFiles();
    CloseClusterLoaders();
    vesk::Run().settings = DatabaseSettings{};
    TheLog().Open(nullptr, false);
  }
  // Runs a loader of the result directory with a stand-in psql that
  // records how it was called (its directory, PGDATABASE, its arguments),
  // lists `databases` as the server's and fails a load_check.sql with
  // `checkStatus`; returns the loader's exit status.
  int RunLoader(const std::string& loader, const std::string& args, const std::string& databases,
                int checkStatus = 0) {
    std::string bin = dir_ / "bin";
    std::filesystem::create_directories(bin);
    std::filesystem::remove(Calls());
    std::ofstream(dir_ / "databases.txt") << databases;
    {
      std::ofstream psql(bin + "/psql");
      psql << "#!/bin/sh\necho \"[$(basename \"$(pwd)\")][$PGHOST][$PGUSER][$PGPORT][$PGDATABASE]$*\" >> '"
           << Calls() << "'\n"
           << "case \"$*\" in\n"
           << "  *datname*) cat '" << (dir_ / "databases.txt") << "' ;;\n"
           << "  *load_check.sql) exit " << checkStatus << " ;;\n"
           << "esac\n";
    }
    std::filesystem::permissions(bin + "/psql", std::filesystem::perms::owner_all);
    std::string command = "cd / && env -u PGHOST -u PGUSER -u PGPORT -u PGDATABASE PATH='" + bin +
                          "':/usr/bin:/bin '" + result_ + "/" + loader + "' " + args + " >/dev/null 2>&1";
    int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  std::string Calls() const { return dir_ / "calls.txt"; }
  std::string Recorded() const { return std::filesystem::exists(Calls()) ? ReadFile(Calls()) : std::string(); }

  TempDir dir_;
  std::string result_;
};

TEST_F(EncodingOutputTest, EveryScriptFileDeclaresTheEncodingAndUtf8TextStaysValid) {
  vesk::Run().settings.clientEncoding = "UTF8";
  vesk::Run().settings.repairUtf8 = true;
  ASSERT_TRUE(OpenOutputFiles(result_));
  WriteScriptText("CREATE TABLE \"caf\xE9\" (\"\xE2\x82\xAC\" text);\n");
  Script().byteCount = kScriptFileLimit;  // the next statement begins file 2
  WriteScript("-- %s\n", "na\xEFve");
  CloseOutputFiles();
  EXPECT_EQ(ReadFile(result_ + "/recovered_1.sql"),
            "SET client_encoding = 'UTF8';\nCREATE TABLE \"caf\xC3\xA9\" (\"\xE2\x82\xAC\" text);\n");
  EXPECT_EQ(ReadFile(result_ + "/recovered_2.sql"), "SET client_encoding = 'UTF8';\n-- na\xC3\xAFve\n");
}

TEST_F(EncodingOutputTest, DeclaredSingleByteTextGoesOutAsStored) {
  vesk::Run().settings.clientEncoding = "LATIN1";
  ASSERT_TRUE(OpenOutputFiles(result_));
  WriteScriptText("-- caf\xE9\n");
  CloseOutputFiles();
  EXPECT_EQ(ReadFile(result_ + "/recovered_1.sql"), "SET client_encoding = 'LATIN1';\n-- caf\xE9\n");
}

// Every database is checked before any is written; then each is created
// unless it is there, and loaded by the loader of its own directory.
TEST_F(EncodingOutputTest, ClusterLoaderChecksEveryDatabaseThenCreatesAndLoads) {
  const std::string odd = "it's \"odd\"";
  for (const char* directory : {"it's _odd_", "postgres"}) {
    std::filesystem::create_directory(result_ + "/" + directory);
    ASSERT_TRUE(OpenOutputFiles(result_ + "/" + directory));
    CloseOutputFiles();
  }
  ASSERT_TRUE(OpenClusterLoaders(result_));
  LoadedDatabase created;
  created.name = odd;
  created.directory = "it's _odd_";
  created.encoding = "LATIN1";
  AppendClusterDatabase(created);
  LoadedDatabase postgres;
  postgres.name = "postgres";
  postgres.directory = "postgres";
  postgres.exists = true;
  AppendClusterDatabase(postgres);
  CloseClusterLoaders();

  const std::string create = "CREATE DATABASE \"it's \"\"odd\"\"\" ENCODING 'LATIN1' LC_COLLATE 'C' LC_CTYPE 'C' TEMPLATE template0;";
  EXPECT_EQ(ReadFile(result_ + "/it's _odd_/create_database.sql"), create + "\n");
  const std::string list = "[result][srv][me][][]-X -q -A -t -d postgres -c SELECT datname FROM pg_catalog.pg_database\n";
  const std::string check = "[result][srv][me][][]-X -q -v ON_ERROR_STOP=1 -d postgres -f postgres/load_check.sql\n";
  const std::string load = "-X -q -v guard=load_check.sql -f load.sql\n";
  const std::string replace = "-X -q -v guard=load_replace.sql -f load.sql\n";
  const struct {
    const char* what;
    std::string args, databases;
    int checkStatus, status;
    std::string calls;
  } cases[] = {
      {"no server: usage only", "", "postgres\n", 0, 1, ""},
      {"a fresh server", "srv me", "postgres\ntemplate1\n", 0, 0,
       list + check + "[result][srv][me][][]-X -q -v ON_ERROR_STOP=1 -d postgres -c " + create + "\n" +
           "[it's _odd_][srv][me][][" + odd + "]" + load + "[postgres][srv][me][][postgres]" + load},
      {"the database exists", "srv me", "postgres\n" + odd + "\n", 0, 3, list + check},
      {"postgres holds recovered tables", "srv me 5433", "postgres\n", 3, 3,
       "[result][srv][me][5433][]-X -q -A -t -d postgres -c SELECT datname FROM pg_catalog.pg_database\n"
       "[result][srv][me][5433][]-X -q -v ON_ERROR_STOP=1 -d postgres -f postgres/load_check.sql\n"},
      {"replaced", "--replace srv me", "postgres\n" + odd + "\n", 3, 0,
       list + "[it's _odd_][srv][me][][" + odd + "]" + replace + "[postgres][srv][me][][postgres]" + replace},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RunLoader("load_all.sh", c.args, c.databases, c.checkStatus), c.status) << c.what;
    EXPECT_EQ(Recorded(), c.calls) << c.what;
  }
  std::string batch = ReadFile(result_ + "/load_all.bat");
  EXPECT_NE(batch.find("\r\nset \"VESK_NAME=" + odd + "\"\r\nset \"VESK_DIR=it's _odd_\"\r\nset VESK_CREATE=1\r\n"
                       "call :Database\r\nset \"VESK_NAME=postgres\"\r\nset \"VESK_DIR=postgres\"\r\n"
                       "set VESK_CREATE=0\r\ncall :Database\r\nexit /b 0\r\n"),
            std::string::npos)
      << batch;
  EXPECT_FALSE(std::filesystem::exists(result_ + "/postgres/create_database.sql")) << "postgres exists everywhere";
}

TEST(ClusterLoaderTest, DatabaseWithoutKnownEncodingTakesTheServerDefault) {
  LoadedDatabase unknown;
  unknown.name = "database_16390";
  EXPECT_EQ(CreateDatabaseStatement(unknown), "CREATE DATABASE \"database_16390\" TEMPLATE template0;");
}

}  // namespace
}  // namespace vesk
