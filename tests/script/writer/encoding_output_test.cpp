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
  // Runs a loader of the result directory with a stand-in psql that records
  // its arguments; returns what it recorded.
  std::string RunLoader(const std::string& loader, const std::string& args) {
    std::string bin = dir_ / "bin";
    std::filesystem::create_directories(bin);
    std::string calls = dir_ / "calls.txt";
    {
      std::ofstream psql(bin + "/psql");
      psql << "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]' \"$a\" >> '" << calls << "'; done\necho >> '"
           << calls << "'\n";
    }
    std::filesystem::permissions(bin + "/psql", std::filesystem::perms::owner_all);
    std::string command = "cd / && PATH='" + bin + "':/usr/bin:/bin '" + result_ + "/" + loader + "' " + args +
                          " >/dev/null 2>&1";
    int raw = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(raw));
    return std::filesystem::exists(calls) ? ReadFile(calls) : std::string();
  }

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

TEST_F(EncodingOutputTest, ClusterLoaderCreatesAndLoadsEachDatabase) {
  ASSERT_TRUE(OpenClusterLoaders(result_));
  LoadedDatabase odd;
  odd.name = "it's \"odd\"";
  odd.directory = "it's _odd_";
  odd.encoding = "LATIN1";
  odd.scriptFiles = 2;
  AppendClusterDatabase(odd);
  LoadedDatabase postgres;
  postgres.name = "postgres";
  postgres.directory = "postgres";
  postgres.exists = true;
  AppendClusterDatabase(postgres);
  CloseClusterLoaders();

  EXPECT_EQ(RunLoader("load_all.sh", ""), "") << "no server: usage only";
  const std::string create =
      "[-h][srv][-U][me][-d][postgres][-c][CREATE DATABASE \"it's \"\"odd\"\"\" ENCODING 'LATIN1' "
      "LC_COLLATE 'C' LC_CTYPE 'C' TEMPLATE template0;]\n";
  EXPECT_EQ(RunLoader("load_all.sh", "srv me"),
            create + "[-h][srv][-U][me][-d][it's \"odd\"][-f][it's _odd_/recovered_1.sql]\n"
                     "[-h][srv][-U][me][-d][it's \"odd\"][-f][it's _odd_/recovered_2.sql]\n"
                     "[-h][srv][-U][me][-d][postgres][-f][postgres/recovered_1.sql]\n");
  std::string batch = ReadFile(result_ + "/load_all.bat");
  EXPECT_NE(batch.find("psql -h %1 %USER_ARG% -d \"it's \\\"odd\\\"\" -f \"it's _odd_\\recovered_2.sql\"\n"),
            std::string::npos)
      << batch;
  EXPECT_EQ(batch.find("CREATE DATABASE \\\"postgres\\\""), std::string::npos) << "postgres exists everywhere";
}

TEST(ClusterLoaderTest, DatabaseWithoutKnownEncodingTakesTheServerDefault) {
  LoadedDatabase unknown;
  unknown.name = "database_16390";
  EXPECT_EQ(CreateDatabaseStatement(unknown), "CREATE DATABASE \"database_16390\" TEMPLATE template0;");
}

}  // namespace
}  // namespace vesk
