#include "script/writer/script_writer.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "script/writer/loader_scripts.h"
#include "script/writer/output_files.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/temp_dir.h"

namespace vesk {
namespace {

using testing::IsExecutable;
using testing::ReadFile;
using testing::TempDir;

std::string LoadList(int files) {
  std::string out = kLoadListHead;
  for (int n = 1; n <= files; ++n) out += "\\i recovered_" + std::to_string(n) + ".sql\n";
  return out;
}

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
  EXPECT_EQ(File("load.sql"), LoadList(1));
  for (const char* name : {"commit.bat", "commit_trust.bat"}) {
    const std::string batch = File(name);
    EXPECT_EQ(batch.rfind("@echo off\r\n", 0), 0u) << name;
    EXPECT_NE(batch.find("\r\npsql -X -q -v guard=%VESK_GUARD% -f load.sql >load.log 2>&1\r\n"), std::string::npos);
    size_t lineFeeds = 0, pairs = 0;
    for (size_t i = 0; i < batch.size(); ++i) {
      lineFeeds += batch[i] == '\n';
      pairs += batch[i] == '\n' && i > 0 && batch[i - 1] == '\r';
    }
    EXPECT_EQ(lineFeeds, pairs) << name << ": every line ends with CR LF";
  }
  EXPECT_NE(File("commit.bat").find("if \"%PGUSER%\"==\"\" goto Usage"), std::string::npos);
  EXPECT_EQ(File("commit_trust.bat").find("%PGUSER%"), std::string::npos);
  EXPECT_EQ(File("commit.sh").rfind("#!/bin/sh\n", 0), 0u);
  EXPECT_EQ(File("load_check.sql").find("SELECT"), std::string::npos) << "no table, nothing to check";
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
  EXPECT_EQ(File("load.sql"), LoadList(3));
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
  EXPECT_EQ(File("load.sql"), LoadList(1));
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
  EXPECT_EQ(File("load.sql"), LoadList(3));
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

// The shell loaders run one psql session on load.sql with the arguments in
// PG* variables, in their own directory, and turn what psql says and its
// exit status into theirs. The stand-in psql records how it was called and
// answers as the case says.
TEST_F(ScriptWriterTest, ShellLoadersRunOneSessionAndCountFailures) {
  ASSERT_TRUE(OpenOutputFiles(result_));
  FillCurrentFile();
  WriteScriptText("-- second\n");
  CloseOutputFiles();
  EXPECT_EQ(File("load.sql"), LoadList(2));
  std::string bin = dir_ / "bin";
  std::filesystem::create_directory(bin);
  std::string calls = dir_ / "calls.txt";
  const struct {
    const char* loader;
    const char* arguments;
    const char* psqlSays;  // on its standard error
    int psqlStatus;
    int status;
    const char* call;  // "" when psql must not run
    const char* lastLine;
  } cases[] = {
      {"commit.sh", "srv db", "", 0, 1, "", "Usage: commit.sh [--replace] serv_name db_name user_name [port]"},
      {"commit_trust.sh", "srv", "", 0, 1, "", "Usage: commit_trust.sh [--replace] serv_name db_name [port]"},
      {"commit_trust.sh", "srv db 5433 extra", "", 0, 1, "", "Usage: commit_trust.sh [--replace] serv_name db_name [port]"},
      {"commit.sh", "srv db me", "", 0, 0, "srv|db|me||-X -q -v guard=load_check.sql -f load.sql",
       "Load finished: 0 statements failed"},
      {"commit_trust.sh", "--replace srv 'my db' 5433", "", 0, 0,
       "srv|my db||5433|-X -q -v guard=load_replace.sql -f load.sql", "Load finished: 0 statements failed"},
      // Notices and warnings are not failures, in any language; errors are,
      // and so are psql's own complaints.
      {"commit.sh", "srv db me 5433",
       "psql:recovered_1.sql:3: NOTICE:  00000: x\n"
       "psql:recovered_1.sql:4: WARNUNG:  01000: y\n"
       "psql:recovered_1.sql:9: FEHLER:  42P07: Relation existiert bereits\n"
       "LOCATION:  heap.c:1\n"
       "psql:recovered_2.sql:7: invalid command \\\\N\n",
       0, 4, "srv|db|me|5433|-X -q -v guard=load_check.sql -f load.sql",
       "Load finished: 2 statements failed; load.log names them"},
      {"commit.sh", "srv db me", "psql:load_check.sql:4: ERROR:  22P02: tables exist already\n", 3, 3,
       "srv|db|me||-X -q -v guard=load_check.sql -f load.sql", "--replace drops them and loads again"},
      {"commit.sh", "srv db me --replace", "psql:load_replace.sql:9: ERROR:  2BP01: in use\n", 3, 3,
       "srv|db|me||-X -q -v guard=load_replace.sql -f load.sql",
       "Nothing was loaded: the tables of this recovery could not be dropped"},
      {"commit.sh", "srv db me", "psql: error: connection refused\n", 2, 2,
       "srv|db|me||-X -q -v guard=load_check.sql -f load.sql",
       "psql stopped (exit status 2): the load is incomplete; see load.log"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(calls);
    {
      std::ofstream psql(bin + "/psql");
      psql << "#!/bin/sh\n[ \"$(pwd)\" = '" << result_ << "' ] || exit 99\n"
           << "echo \"$PGHOST|$PGDATABASE|$PGUSER|$PGPORT|$*\" >> '" << calls << "'\n"
           << "printf '" << c.psqlSays << "' >&2\nexit " << c.psqlStatus << "\n";
    }
    std::filesystem::permissions(bin + "/psql", std::filesystem::perms::owner_all);
    const std::string command = "cd / && env -u PGHOST -u PGDATABASE -u PGUSER -u PGPORT PATH='" + bin +
                                "':/usr/bin:/bin '" + result_ + "/" + c.loader + "' " + c.arguments + " 2>&1";
    std::string output;
    int raw = -1;
    if (FILE* pipe = popen(command.c_str(), "r")) {
      char buffer[1024];
      while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
      raw = pclose(pipe);
    }
    const std::string what = std::string(c.loader) + " " + c.arguments + "\n" + output;
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, c.status) << what;
    EXPECT_EQ(std::filesystem::exists(calls) ? ReadFile(calls) : "", *c.call ? std::string(c.call) + "\n" : "")
        << what;
    EXPECT_NE(output.find(std::string(c.lastLine) + "\n"), std::string::npos) << what;
  }
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
