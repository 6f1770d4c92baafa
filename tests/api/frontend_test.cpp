#include "frontend.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/temp_dir.h"
#include "vesk/veskdll.h"

namespace vesk::frontend {
namespace {

namespace fs = std::filesystem;
using vesk::testing::ReadFile;
using vesk::testing::TempDir;

Options Parse(std::initializer_list<const char*> args) {
  std::vector<const char*> argv{"vesk-recover"};
  argv.insert(argv.end(), args);
  return ParseArguments(static_cast<int>(argv.size()), argv.data());
}

TEST(FrontendTest, ArgumentParsing) {
  Options all = Parse({"-o", "/out", "--log", "run.log", "-q", "/pg/base/16384"});
  EXPECT_EQ(all.outputDir, "/out");
  EXPECT_EQ(all.logFile, "run.log");
  EXPECT_TRUE(all.quiet);
  EXPECT_EQ(all.path, "/pg/base/16384");
  EXPECT_TRUE(all.error.empty());

  Options cluster = Parse({"--database", "a", "--encoding", "latin1", "--database", "b c", "/pg"});
  EXPECT_EQ(cluster.databases, (std::vector<std::string>{"a", "b c"}));
  EXPECT_EQ(cluster.encoding, "latin1");
  EXPECT_TRUE(cluster.error.empty());

  EXPECT_TRUE(Parse({"--help"}).help);
  EXPECT_TRUE(Parse({"--version"}).version);
  const std::initializer_list<const char*> bad[] = {{}, {"-o"}, {"--bogus", "x"}, {"a", "b"}, {"x", "--log"},
                                                     {"--align=2", "x"}, {"--align=", "x"}, {"--datetime=int", "x"},
                                                     {"x", "--database"}, {"x", "--encoding"}};
  for (const auto& args : bad) EXPECT_FALSE(Parse(args).error.empty());
}

TEST(FrontendTest, ForcedSettingsReachTheEngineOptions) {
  const struct {
    std::initializer_list<const char*> args;
    int32_t datetime;
    int32_t align;
  } cases[] = {{{"x"}, VESK_DATETIME_AUTO, 0},
               {{"--datetime=integer", "x"}, VESK_DATETIME_INTEGER, 0},
               {{"x", "--datetime=float"}, VESK_DATETIME_FLOAT, 0},
               {{"--align=4", "x"}, VESK_DATETIME_AUTO, 4},
               {{"--align=8", "--datetime=integer", "x"}, VESK_DATETIME_INTEGER, 8}};
  for (const auto& c : cases) {
    Options options = Parse(c.args);
    ASSERT_TRUE(options.error.empty()) << options.error;
    VeskOptions engine = EngineOptions(options);
    EXPECT_EQ(engine.size, sizeof(VeskOptions));
    EXPECT_EQ(engine.version, static_cast<uint32_t>(VESK_OPTIONS_VERSION));
    EXPECT_EQ(engine.datetimeStorage, c.datetime);
    EXPECT_EQ(engine.maxAlign, c.align);
    EXPECT_EQ(engine.tableReport, nullptr);
  }
}

TEST(FrontendTest, EnginePathAndPrefix) {
  TempDir dir;
  std::string db = fs::canonical(dir.path()).string();
  EXPECT_EQ(EnginePath(db), db + "/1259");
  EXPECT_EQ(EnginePath(db + "//"), db + "/1259");
  std::string file = db + "/2615";
  std::FILE* f = std::fopen(file.c_str(), "w");
  std::fclose(f);
  EXPECT_EQ(EnginePath(file), file);
  EXPECT_EQ(OutputPrefix(""), "");
  EXPECT_EQ(OutputPrefix(db + "/"), db + "/");
  EXPECT_EQ(OutputPrefix("/"), "/");
}

TEST(FrontendTest, EachStatusHasItsExitCode) {
  const struct {
    int32_t status;
    int code;
  } cases[] = {{VESK_OK, 0},
               {VESK_NOTHING_RECOVERED, 3},
               {VESK_NO_DATABASE_DIR, 4},
               {VESK_CANNOT_CREATE_OUTPUT, 5},
               {VESK_NO_SIBLING_LIBRARY, 6},
               {VESK_INTERNAL_ERROR, 7},
               {VESK_STOPPED, 130},
               {-42, 1}};
  for (const auto& c : cases) EXPECT_EQ(ExitCode(c.status), c.code) << c.status;
}

TEST(FrontendTest, InterruptSetsTheBreakByte) {
  for (int signal : {SIGINT, SIGTERM}) {
    volatile unsigned char flag = 0;
    InstallBreakHandlers(&flag);
    raise(signal);
    EXPECT_EQ(flag, 1) << signal;
  }
}

TEST(FrontendTest, ProgressAsPlainLinesCountsTables) {
  TempDir dir;
  std::string path = dir / "progress.txt";
  std::FILE* out = std::fopen(path.c_str(), "w");
  ProgressView view(out, false, false);
  view.Message("Pass 1: analyzing database...");
  view.Progress("pg_class", 0);
  view.Progress("", 15);
  view.Progress("orders", 57);
  view.Progress("items", 100);
  view.Progress("", 100);
  view.Finish();
  std::fclose(out);
  EXPECT_EQ(ReadFile(path), "Pass 1: analyzing database...\n[  0%] pg_class\n[ 15%] \n[ 57%] orders\n[100%] items\n[100%] \n");
  EXPECT_EQ(view.tablesDone(), 2);
}

TEST(FrontendTest, QuietShowsNothingButStillCounts) {
  TempDir dir;
  std::string path = dir / "quiet.txt";
  std::FILE* out = std::fopen(path.c_str(), "w");
  ProgressView view(out, true, true);
  view.Message("done");
  view.Progress("", 15);
  view.Progress("t", 100);
  view.Finish();
  std::fclose(out);
  EXPECT_EQ(ReadFile(path), "");
  EXPECT_EQ(view.tablesDone(), 1);
}

// The built program, beside this test program.
std::string Program() { return fs::canonical("/proc/self/exe").parent_path().string() + "/vesk-recover"; }

// Runs the program with its temporary logs kept beside `output`.
int RunProgram(const std::string& args, const std::string& output) {
  std::string tmp = fs::path(output).parent_path().string();
  std::string command = "TMPDIR='" + tmp + "' '" + Program() + "' " + args + " >'" + output + "' 2>&1 </dev/null";
  int raw = std::system(command.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST(VeskRecoverTest, HelpVersionAndUsageErrors) {
  if (!fs::exists(Program())) GTEST_SKIP() << "vesk-recover is not built beside the tests";
  TempDir dir;
  std::string out = dir / "out.txt";
  EXPECT_EQ(RunProgram("--help", out), 0);
  EXPECT_EQ(ReadFile(out).rfind("usage: vesk-recover [-o OUTPUT_DIR] [--log FILE] [-q] [--database NAME]... "
                                "[--encoding NAME] PATH\n",
                                0),
            0u);
  EXPECT_EQ(RunProgram("--version", out), 0);
  EXPECT_NE(ReadFile(out).find("engine interface version 2"), std::string::npos);
  EXPECT_EQ(RunProgram("", out), 2);
  EXPECT_EQ(RunProgram("--frobnicate x", out), 2);
  EXPECT_EQ(RunProgram("'" + dir / "no-such-dir" + "'", out), 4);
  fs::create_directories(dir / "db");
  EXPECT_EQ(RunProgram("--encoding no-such-encoding '" + dir / "db" + "'", out), 2);
  EXPECT_NE(ReadFile(out).find("options refused"), std::string::npos) << ReadFile(out);
}

TEST(VeskRecoverTest, EmptyDirectoryGivesResultDirectoryAndLog) {
  if (!fs::exists(Program())) GTEST_SKIP() << "vesk-recover is not built beside the tests";
  TempDir dir;
  fs::create_directories(dir / "db/16384");
  fs::create_directory(dir / "results");
  std::string out = dir / "out.txt";
  std::string log = dir / "run.log";
  int code = RunProgram("-o '" + dir / "results" + "' --log '" + log + "' '" + dir / "db/16384/" + "'", out);
  EXPECT_EQ(code, 3) << ReadFile(out);
  std::vector<fs::path> results;
  for (const auto& entry : fs::directory_iterator(dir / "results")) results.push_back(entry.path());
  ASSERT_EQ(results.size(), 1u);
  std::string name = results[0].filename();
  EXPECT_EQ(name.rfind("Recovered 16384 ", 0), 0u);
  for (const char* file : {"recovered_1.sql", "commit.bat", "commit_trust.bat", "commit.sh", "commit_trust.sh"}) {
    EXPECT_TRUE(fs::exists(results[0] / file)) << file;
  }
  EXPECT_NE(ReadFile(log).find("FileRecover() started"), std::string::npos);
  std::string printed = ReadFile(out);
  EXPECT_NE(printed.find("Result directory: " + results[0].string() + "\n"), std::string::npos) << printed;
  EXPECT_NE(printed.find("Status: finished, but no schema and no table was recovered (-3)"), std::string::npos);
}

}  // namespace
}  // namespace vesk::frontend
