#include "script/writer/script_writer.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "script/writer/output_files.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/temp_dir.h"

namespace vesk {
namespace {

using testing::IsExecutable;
using testing::ReadFile;
using testing::TempDir;

const char kBatHead[] =
    "@echo off\nif x\"%1\" == x\"\" Goto Usage\nif x\"%2\" == x\"\" Goto Usage\nif x\"%3\" == x\"\" Goto Usage\n\n";
const char kBatTail[] = "\nGoto Exit\n:Usage\necho Usage\necho commit.but serv_name db_name user_name\n:Exit";
const char kTrustHead[] = "@echo off\nif x\"%1\" == x\"\" Goto Usage\nif x\"%2\" == x\"\" Goto Usage\n\n";
const char kTrustTail[] = "\nGoto Exit\n:Usage\necho Usage\necho commit_trust.but serv_name db_name\n:Exit";

std::string BatLine(int n) { return "psql -h %1 -d %2 -U %3 -f recovered_" + std::to_string(n) + ".sql\n"; }
std::string TrustLine(int n) { return "psql -h %1 -d %2 -f recovered_" + std::to_string(n) + ".sql\n"; }
std::string ShLine(int n) {
  return "psql -h \"$1\" -d \"$2\" -U \"$3\" -f recovered_" + std::to_string(n) + ".sql\n";
}
std::string TrustShLine(int n) { return "psql -h \"$1\" -d \"$2\" -f recovered_" + std::to_string(n) + ".sql\n"; }

class ScriptWriterTest : public ::testing::Test {
 protected:
  ScriptWriterTest() {
    TheLog().Open((dir_ / "log.txt").c_str(), true);
    result_ = dir_ / "result";
    std::filesystem::create_directory(result_);
    vesk::Run().resultDirectory = result_;
  }
  ~ScriptWriterTest() override {
    CloseOutputFiles();
    TheLog().Open(nullptr, false);
  }

  std::string File(const char* name) const { return ReadFile(result_ + "/" + name); }
  // Pretends the current file is full.
  static void FillCurrentFile() { Script().byteCount = kScriptFileLimit; }

  TempDir dir_;
  std::string result_;
};

TEST_F(ScriptWriterTest, LoaderFilesWithoutRotationAreByteExact) {
  ASSERT_TRUE(OpenOutputFiles(result_));
  WriteScriptText("CREATE SCHEMA s;\n");
  WriteScript("-- Create table %s \n\n", "t");
  CloseOutputFiles();
  EXPECT_EQ(File("recovered_1.sql"), "CREATE SCHEMA s;\n-- Create table t \n\n");
  EXPECT_EQ(File("commit.bat"), kBatHead + BatLine(1) + kBatTail);
  EXPECT_EQ(File("commit_trust.bat"), kTrustHead + TrustLine(1) + kTrustTail);
  std::string sh = File("commit.sh");
  EXPECT_EQ(sh.rfind("#!/bin/sh\n", 0), 0u);
  EXPECT_NE(sh.find("[ -z \"$3\" ]"), std::string::npos);
  EXPECT_EQ(sh.substr(sh.size() - ShLine(1).size()), ShLine(1));
  std::string trust = File("commit_trust.sh");
  EXPECT_EQ(trust.find("$3"), std::string::npos);
  EXPECT_EQ(trust.substr(trust.size() - TrustShLine(1).size()), TrustShLine(1));
  EXPECT_TRUE(IsExecutable(result_ + "/commit.sh"));
  EXPECT_TRUE(IsExecutable(result_ + "/commit_trust.sh"));
}

TEST_F(ScriptWriterTest, RotationWaitsForStatementBoundaryAndExtendsEveryLoader) {
  ASSERT_TRUE(OpenOutputFiles(result_));
  WriteScriptText("INSERT INTO t VALUES (");
  ForbidRotation();
  FillCurrentFile();
  WriteScriptText("1");  // inside a statement: never a new file
  WriteScriptText(");\n");
  EXPECT_EQ(Script().fileNumber, 1);
  AllowRotation();
  WriteScriptText("INSERT INTO t VALUES (2);\n");
  EXPECT_EQ(Script().fileNumber, 2);
  EXPECT_EQ(Script().byteCount, 26);
  FillCurrentFile();
  WriteScript("%s", "-- third\n");
  CloseOutputFiles();

  EXPECT_EQ(File("recovered_1.sql"), "INSERT INTO t VALUES (1);\n");
  EXPECT_EQ(File("recovered_2.sql"), "INSERT INTO t VALUES (2);\n");
  EXPECT_EQ(File("recovered_3.sql"), "-- third\n");
  EXPECT_EQ(File("commit.bat"), kBatHead + BatLine(1) + BatLine(2) + BatLine(3) + kBatTail);
  EXPECT_EQ(File("commit_trust.bat"), kTrustHead + TrustLine(1) + TrustLine(2) + TrustLine(3) + kTrustTail);
  std::string sh = File("commit.sh");
  std::string lines = ShLine(1) + ShLine(2) + ShLine(3);
  EXPECT_EQ(sh.substr(sh.size() - lines.size()), lines);
  std::string trust = File("commit_trust.sh");
  std::string trustLines = TrustShLine(1) + TrustShLine(2) + TrustShLine(3);
  EXPECT_EQ(trust.substr(trust.size() - trustLines.size()), trustLines);
}

TEST_F(ScriptWriterTest, FailedRotationKeepsWritingToTheCurrentFile) {
  ASSERT_TRUE(OpenOutputFiles(result_));
  vesk::Run().resultDirectory = dir_ / "gone";
  FillCurrentFile();
  WriteScriptText("kept;\n");
  EXPECT_EQ(Script().fileNumber, 1);
  EXPECT_EQ(Script().byteCount, 6);  // the next attempt waits for another full file
  CloseOutputFiles();
  EXPECT_EQ(File("recovered_1.sql"), "kept;\n");
  EXPECT_EQ(File("commit.bat"), kBatHead + BatLine(1) + kBatTail);
  EXPECT_NE(ReadFile(dir_ / "log.txt").find("Cannot write to result file " + dir_ / "gone/recovered_2.sql"),
            std::string::npos);
}

TEST_F(ScriptWriterTest, NullTextsWriteNothingAndLongTextsAreWhole) {
  ASSERT_TRUE(OpenOutputFiles(result_));
  WriteScript(nullptr);
  WriteScriptText(nullptr);
  EXPECT_EQ(Script().byteCount, 0);
  std::string bits(40000, '1');
  WriteScript("B'%s'", bits.c_str());
  EXPECT_EQ(Script().byteCount, 40003);
  CloseOutputFiles();
  EXPECT_EQ(File("recovered_1.sql"), "B'" + bits + "'");
}

// Text goes to the file a mebibyte at a time through a second thread: many
// hand-overs, and new files begun between them, keep every byte in order.
TEST_F(ScriptWriterTest, LargeScriptsKeepTheirOrderAcrossHandOversAndNewFiles) {
  ASSERT_TRUE(OpenOutputFiles(result_));
  std::string expected[3];
  for (int file = 0; file < 3; ++file) {
    if (file > 0) FillCurrentFile();
    for (int row = 0; row < 60000; ++row) {
      std::string statement = "INSERT INTO t VALUES (" + std::to_string(file) + ", " + std::to_string(row) + ");\n";
      WriteScriptText(statement.c_str());
      expected[file] += statement;
    }
  }
  CloseOutputFiles();
  ASSERT_GT(expected[0].size(), size_t{1} << 20);
  EXPECT_TRUE(File("recovered_1.sql") == expected[0]);
  EXPECT_TRUE(File("recovered_2.sql") == expected[1]);
  EXPECT_TRUE(File("recovered_3.sql") == expected[2]);
}

// Statements built in place: a full file is left at the statement's start,
// an abandoned statement leaves nothing, and the count is the statement's.
TEST_F(ScriptWriterTest, StatementsBuiltInPlace) {
  ASSERT_TRUE(OpenOutputFiles(result_));
  BeginStatement() += "INSERT INTO t VALUES (1);\n";
  EndStatement();
  BeginStatement() += "INSERT INTO t VALUES (";
  AbandonStatement();  // stopped in the middle of a row
  EXPECT_EQ(Script().byteCount, 26);
  FillCurrentFile();
  std::string& text = BeginStatement();
  EXPECT_EQ(Script().fileNumber, 2);
  text += "INSERT INTO t VALUES (2);\n";
  EndStatement();
  EXPECT_EQ(Script().byteCount, 26);
  EXPECT_TRUE(Script().rotationAllowed);
  WriteScriptText("-- after\n");
  CloseOutputFiles();
  EXPECT_EQ(File("recovered_1.sql"), "INSERT INTO t VALUES (1);\n");
  EXPECT_EQ(File("recovered_2.sql"), "INSERT INTO t VALUES (2);\n-- after\n");
}

// Each file loads on its own: a COPY block open when its file is full is
// ended there and begun again in the next; its end never starts a file.
TEST_F(ScriptWriterTest, FullFileEndsTheCopyBlockAndBeginsItAgain) {
  ASSERT_TRUE(OpenOutputFiles(result_));
  Script().fileLimit = 60;
  const std::string copy = "COPY t (a) FROM stdin;\n";
  WriteScriptText("CREATE TABLE t (a text);\n");
  OpenCopyBlock(copy);
  for (const char* row : {"row 1\n", "row 2\n", "row 3\n"}) {
    BeginStatement() += row;
    EndStatement();
  }
  Script().byteCount = Script().fileLimit;
  CloseCopyBlock();
  EXPECT_FALSE(CopyBlockOpen());
  WriteScriptText("-- next\n");
  CloseOutputFiles();
  EXPECT_EQ(File("recovered_1.sql"), "CREATE TABLE t (a text);\n" + copy + "row 1\nrow 2\n\\.\n");
  EXPECT_EQ(File("recovered_2.sql"), copy + "row 3\n\\.\n");
  EXPECT_EQ(File("recovered_3.sql"), "-- next\n");
  EXPECT_EQ(File("commit.bat"), kBatHead + BatLine(1) + BatLine(2) + BatLine(3) + kBatTail);
}

// Without the second thread (a file the caller opened) the statement goes
// out as one piece as well.
TEST_F(ScriptWriterTest, StatementsToAFileOfTheCaller) {
  std::string path = dir_ / "own.sql";
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  FILE* saved = Script().script;
  Script().script = f;
  Script().byteCount = 0;
  BeginStatement() += "INSERT INTO t VALUES (3);\n";
  EndStatement();
  BeginStatement() += "INSERT";
  AbandonStatement();
  EXPECT_EQ(Script().byteCount, 26);
  Script().script = saved;
  std::fclose(f);
  EXPECT_EQ(ReadFile(path), "INSERT INTO t VALUES (3);\n");
}

// A disk that fills up under the writing thread is reported, once, by the
// run's own thread.
TEST_F(ScriptWriterTest, AFullDiskIsLoggedOnce) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  std::filesystem::create_symlink("/dev/full", result_ + "/recovered_1.sql");
  ASSERT_TRUE(OpenOutputFiles(result_));
  std::string block(size_t{3} << 19, 'x');
  for (int i = 0; i < 4; ++i) WriteScriptText(block.c_str());
  CloseOutputFiles();
  std::string log = ReadFile(dir_ / "log.txt");
  std::string line = "Cannot write to result file " + result_ + "/recovered_1.sql";
  size_t first = log.find(line);
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(log.find(line, first + 1), std::string::npos);
}

TEST_F(ScriptWriterTest, OpeningResetsTheCountOfAnEarlierRun) {
  ASSERT_TRUE(OpenOutputFiles(result_));
  FillCurrentFile();
  ForbidRotation();
  CloseOutputFiles();
  ASSERT_TRUE(OpenOutputFiles(result_));
  EXPECT_EQ(Script().fileNumber, 1);
  EXPECT_EQ(Script().byteCount, 0);
  EXPECT_TRUE(Script().rotationAllowed);
}

TEST_F(ScriptWriterTest, MissingDirectoryFailsWithTheFileNamed) {
  EXPECT_FALSE(OpenOutputFiles(dir_ / "absent"));
  EXPECT_NE(ReadFile(dir_ / "log.txt").find("Cannot write to result file " + dir_ / "absent/recovered_1.sql"),
            std::string::npos);
}

// The shell loaders run: a stand-in psql records its arguments and working
// directory, once per script file, in order; missing arguments stop early.
TEST_F(ScriptWriterTest, ShellLoadersFeedEveryFileToPsql) {
  ASSERT_TRUE(OpenOutputFiles(result_));
  FillCurrentFile();
  WriteScriptText("-- second\n");
  CloseOutputFiles();
  std::string bin = dir_ / "bin";
  std::filesystem::create_directory(bin);
  std::string calls = dir_ / "calls.txt";
  {
    std::ofstream psql(bin + "/psql");
    psql << "#!/bin/sh\necho \"$(pwd) $*\" >> '" << calls << "'\n";
  }
  std::filesystem::permissions(bin + "/psql", std::filesystem::perms::owner_all);
  auto run = [&](const std::string& loader, const std::string& args) {
    std::string command = "cd / && PATH='" + bin + "':/usr/bin:/bin '" + result_ + "/" + loader + "' " + args +
                          " >/dev/null 2>&1";
    int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  };
  EXPECT_EQ(run("commit.sh", "srv db"), 1);
  EXPECT_EQ(run("commit_trust.sh", "srv"), 1);
  EXPECT_FALSE(std::filesystem::exists(calls));
  EXPECT_EQ(run("commit.sh", "srv db me"), 0);
  EXPECT_EQ(run("commit_trust.sh", "srv 'my db'"), 0);
  EXPECT_EQ(ReadFile(calls), result_ + " -h srv -d db -U me -f recovered_1.sql\n" + result_ +
                                 " -h srv -d db -U me -f recovered_2.sql\n" + result_ +
                                 " -h srv -d my db -f recovered_1.sql\n" + result_ +
                                 " -h srv -d my db -f recovered_2.sql\n");
}

TEST(QuoteNameTest, DoublesInnerQuotes) {
  const struct {
    const char* name;
    const char* quoted;
  } cases[] = {
      {"plain", "\"plain\""},
      {"Odd \"Quoted\" Name", "\"Odd \"\"Quoted\"\" Name\""},
      {"", "\"\""},
      {"\"", "\"\"\"\""},
      {nullptr, "\"\""},
  };
  for (const auto& c : cases) EXPECT_EQ(QuoteName(c.name), c.quoted) << (c.name ? c.name : "(null)");
}

}  // namespace
}  // namespace vesk
