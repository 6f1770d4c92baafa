#include "frontend.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
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

TEST(FrontendTest, ScriptChoicesReachTheEngineOptions) {
  const struct {
    std::initializer_list<const char*> args;
    int32_t rows, floats, target, objects, content, deleted;
  } cases[] = {
      {{"x"}, VESK_ROWS_COPY, VESK_FLOATS_EXACT, VESK_TARGET_CURRENT, VESK_OBJECTS_ALL, VESK_CONTENT_ALL, 0},
      {{"--inserts", "--display-floats", "x"}, VESK_ROWS_INSERT, VESK_FLOATS_DISPLAY, VESK_TARGET_CURRENT,
       VESK_OBJECTS_ALL, VESK_CONTENT_ALL, 0},
      {{"--target-version", "8.2", "--no-constraints", "x"}, VESK_ROWS_COPY, VESK_FLOATS_EXACT,
       VESK_TARGET_ORIGINAL, VESK_OBJECTS_NO_CONSTRAINTS, VESK_CONTENT_ALL, 0},
      {{"--schema-only", "--deleted", "x"}, VESK_ROWS_COPY, VESK_FLOATS_EXACT, VESK_TARGET_CURRENT,
       VESK_OBJECTS_ALL, VESK_CONTENT_SCHEMA_ONLY, 1},
      {{"--data-only", "--target-version", "current", "x"}, VESK_ROWS_COPY, VESK_FLOATS_EXACT,
       VESK_TARGET_CURRENT, VESK_OBJECTS_ALL, VESK_CONTENT_DATA_ONLY, 0},
  };
  for (const auto& c : cases) {
    Options options = Parse(c.args);
    ASSERT_TRUE(options.error.empty()) << options.error;
    VeskOptions engine = EngineOptions(options);
    EXPECT_EQ(engine.rowFormat, c.rows);
    EXPECT_EQ(engine.floatText, c.floats);
    EXPECT_EQ(engine.targetServer, c.target);
    EXPECT_EQ(engine.schemaObjects, c.objects);
    EXPECT_EQ(engine.content, c.content);
    EXPECT_EQ(engine.deletedRows, c.deleted);
  }
  const std::initializer_list<const char*> bad[] = {
      {"--target-version", "9.0", "x"}, {"--schema-only", "--data-only", "x"}, {"x", "--into"}};
  for (const auto& args : bad) EXPECT_FALSE(Parse(args).error.empty());
  EXPECT_EQ(Parse({"--into", "dbname=restored", "x"}).into, "dbname=restored");
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

TEST(FrontendTest, EachStatusHasItsExitCodeAndText) {
  const struct {
    int32_t status;
    bool losses;
    int code;
    const char* text;
  } cases[] = {{VESK_OK, false, 0, "complete"},
               {VESK_OK, true, 1, "complete, with the losses listed above"},
               {VESK_NOTHING_RECOVERED, false, 3, "finished, but no schema and no table was recovered"},
               {VESK_NOTHING_RECOVERED, true, 3, "finished, but no schema and no table was recovered"},
               {VESK_NO_DATABASE_DIR, false, 4, "the database directory cannot be read"},
               {VESK_CANNOT_CREATE_OUTPUT, false, 5, "the result directory or its files cannot be created"},
               {VESK_NO_SIBLING_LIBRARY, false, 6, "the sibling library libtarncmn.so cannot be loaded"},
               {VESK_INTERNAL_ERROR, true, 7, "ended early on an internal error"},
               {VESK_RECOVERED_WITH_LOSSES, true, 1, "complete, with the losses listed above"},
               {VESK_BAD_OPTIONS, false, 2, "options refused (is the encoding name one a server knows?)"},
               {VESK_UNSUPPORTED_BUILD, false, 9, "written by a server build that cannot be read (see the log)"},
               {VESK_NOT_A_DATABASE, false, 11, "not a PostgreSQL 8.2/8.3 database directory"},
               {VESK_STOPPED, true, 130, "stopped; the script holds what was written until then"},
               {-42, false, 10, "unknown status"}};
  for (const auto& c : cases) {
    EXPECT_EQ(ExitCode(c.status, c.losses), c.code) << c.status;
    EXPECT_STREQ(StatusText(c.status, c.losses), c.text) << c.status;
  }
}

// What the shell makes of the quoted text is the text itself.
TEST(FrontendTest, ShellQuoteSurvivesTheShell) {
  TempDir dir;
  for (std::string text : {"/out/Recovered db 8-Dec-2026 09.00.00/commit.sh", "it's", "$HOME `id` \\n \"x\"",
                           "a''b", ""}) {
    std::string out = dir / "echo.txt";
    std::string command = "printf %s " + ShellQuote(text) + " >'" + out + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_EQ(ReadFile(out), text);
  }
}

// Each refusal names the path and the system's reason.
TEST(FrontendTest, ChecksBeforeTheRunNamePathAndReason) {
  TempDir dir;
  fs::create_directory(dir / "locked");
  fs::create_directory(dir / "readonly");
  std::FILE* f = std::fopen((dir / "file").c_str(), "w");
  std::fclose(f);
  fs::permissions(dir / "locked", fs::perms::none);
  fs::permissions(dir / "readonly", fs::perms::owner_read | fs::perms::owner_exec);
  const bool root = geteuid() == 0;  // root passes every permission test
  const struct {
    bool database;
    std::string path, expected;
    bool needsNonRoot;
  } cases[] = {
      {true, dir / "missing", dir / "missing: No such file or directory", false},
      {true, dir / "locked", "cannot read the database directory " + dir / "locked" + ": Permission denied", true},
      {true, dir / "locked/1259", dir / "locked/1259: Permission denied", true},
      {true, dir / "file", "", false},
      {true, dir.path(), "", false},
      {false, dir / "missing", "cannot create the result directory in " + dir / "missing" + ": No such file or directory",
       false},
      {false, dir / "file", "cannot create the result directory in " + dir / "file" + ": Not a directory", false},
      {false, dir / "readonly",
       "cannot create the result directory in " + dir / "readonly" + ": Permission denied", true},
      {false, dir.path(), "", false},
  };
  for (const auto& c : cases) {
    if (c.needsNonRoot && root) continue;
    EXPECT_EQ(c.database ? CheckDatabasePath(c.path) : CheckOutputDirectory(c.path), c.expected) << c.path;
  }
  fs::permissions(dir / "locked", fs::perms::owner_all);
  fs::permissions(dir / "readonly", fs::perms::owner_all);
}

TEST(FrontendTest, TemporaryLogIsTheOwnersAlone) {
  TempDir dir;
  testing::ScopedTmpDir tmp(dir.path());
  std::string log = MakeTemporaryLog();
  ASSERT_EQ(log.rfind(dir / "vesk-recover-", 0), 0u) << log;
  EXPECT_EQ(fs::status(log).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

VeskTableReport Report(const char* table, int64_t rows, int64_t quarantined, int64_t nulled, int64_t skipped,
                       const char* problem = nullptr) {
  return VeskTableReport{sizeof(VeskTableReport), "public", table, rows, quarantined, nulled, 10, skipped, problem};
}

std::string Printed(const RunSummary& summary) {
  TempDir dir;
  std::string path = dir / "summary.txt";
  std::FILE* out = std::fopen(path.c_str(), "w");
  summary.Print(out);
  std::fclose(out);
  return ReadFile(path);
}

TEST(FrontendTest, SummaryListsWhatEachTableLostThenTotals) {
  RunSummary summary;
  summary.Add(Report("clean", 100, 0, 0, 0));
  EXPECT_FALSE(summary.HasLosses());
  EXPECT_EQ(Printed(summary), "Tables read: 1, rows written: 100\n");
  summary.Add(Report("bulk", 871, 22, 3, 2));
  summary.Add(Report("gone", 0, 0, 0, 0, "/db/17138: Permission denied"));
  summary.Add(Report("nul\033[2Jls", 5, 0, 1, 0));
  EXPECT_TRUE(summary.HasLosses());
  EXPECT_EQ(Printed(summary),
            "Tables read: 4, rows written: 976\n"
            "Tables with losses:\n"
            "  public.bulk: 871 rows written, 2 pages skipped, 22 rows quarantined, 3 values NULL\n"
            "  public.gone: not read: /db/17138: Permission denied\n"
            "  public.nul?[2Jls: 5 rows written, 0 pages skipped, 0 rows quarantined, 1 values NULL\n"
            "Lost in all: 1 tables not read, 2 pages skipped, 22 rows quarantined, 4 values NULL\n");
}

// After a stop the table in progress has no report yet; the engine's running
// count still says what was written.
TEST(FrontendTest, SummaryCountsTheStoppedTableFromProgress) {
  RunSummary summary;
  summary.Add(Report("first", 10, 0, 0, 0));
  VeskRunProgress progress{sizeof(VeskRunProgress), 1, 3, "second", 100, 300, 60000};
  summary.Progress(progress);
  EXPECT_EQ(Printed(summary), "Tables read: 1, rows written: 60000\n");
}

TEST(FrontendTest, InterruptSetsTheBreakByte) {
  for (int signal : {SIGINT, SIGTERM}) {
    volatile unsigned char flag = 0;
    InstallBreakHandlers(&flag);
    raise(signal);
    EXPECT_EQ(flag, 1) << signal;
  }
}

double fakeNow = 0.0;
double FakeClock() { return fakeNow; }

std::string ShowProgress(bool terminal, bool quiet, const std::function<void(ProgressView&)>& calls) {
  TempDir dir;
  std::string path = dir / "progress.txt";
  std::FILE* out = std::fopen(path.c_str(), "w");
  fakeNow = 0.0;
  ProgressView view(out, terminal, quiet, FakeClock);
  calls(view);
  view.Finish();
  std::fclose(out);
  return ReadFile(path);
}

VeskRunProgress RunAt(const char* table, int64_t done, int64_t rows) {
  return VeskRunProgress{sizeof(VeskRunProgress), 0, 2, table, done, 1000, rows};
}

// Without a terminal: a line every few seconds, none without a stage, and
// the bar follows the heap bytes once Pass 2 reports them.
TEST(FrontendTest, PlainProgressIsALineEveryFewSeconds) {
  std::string shown = ShowProgress(false, false, [](ProgressView& view) {
    view.Message("Pass 1: analyzing database...");
    view.Progress("pg_class", 0);
    view.Progress("pg_attribute", 5);
    view.Progress("", 15);
    view.Message("Pass 2: recovering tables...");
    view.RunProgress(RunAt("", 0, 0));
    fakeNow = 2.0;
    view.RunProgress(RunAt("orders", 100, 1000));
    fakeNow = 6.0;
    view.RunProgress(RunAt("orders", 500, 6000));
    fakeNow = 8.0;
    view.RunProgress(RunAt("orders", 600, 7000));
    fakeNow = 12.0;
    view.Progress("orders", 57);
    view.Progress("", 100);
  });
  EXPECT_EQ(shown,
            "Pass 1: analyzing database...\n"
            "[  0%] pg_class\n"
            "Pass 2: recovering tables...\n"
            "[ 57%] orders, 1000 rows/s, 0:06 left\n"
            "[ 66%] orders, 583 rows/s, 0:08 left\n");
}

TEST(FrontendTest, TerminalBarShowsRateAndTimeLeft) {
  std::string shown = ShowProgress(true, false, [](ProgressView& view) {
    view.RunProgress(RunAt("bulk", 0, 0));
    fakeNow = 10.0;
    view.RunProgress(RunAt("bulk", 500, 50000));
  });
  EXPECT_EQ(shown.substr(shown.rfind('\r') + 1),
            "\033[K[#################.............]  57% bulk, 5000 rows/s, 0:10 left\n");
}

TEST(FrontendTest, QuietShowsNothing) {
  EXPECT_EQ(ShowProgress(true, true, [](ProgressView& view) {
              view.Message("done");
              view.Progress("", 15);
              view.RunProgress(RunAt("t", 10, 1));
              view.Progress("t", 100);
            }),
            "");
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
  // A server that cannot be reached stops --into before the run.
  EXPECT_EQ(RunProgram("--into 'host=" + dir / "no-such-socket-dir" + " port=1 dbname=x' '" + dir / "db" + "'", out), 2);
  EXPECT_NE(ReadFile(out).find("cannot load into the server"), std::string::npos) << ReadFile(out);
  // A whole data directory holds several databases; --into takes one.
  fs::create_directories(dir / "cluster/global");
  fs::create_directories(dir / "cluster/base");
  EXPECT_EQ(RunProgram("--into 'dbname=x' '" + dir / "cluster" + "'", out), 2);
  EXPECT_NE(ReadFile(out).find("--into loads one database"), std::string::npos) << ReadFile(out);
}

// An empty directory holds no database: refused, nothing left behind, and
// the log that says why is kept and named.
TEST(VeskRecoverTest, EmptyDirectoryIsRefusedAndLeavesNothing) {
  if (!fs::exists(Program())) GTEST_SKIP() << "vesk-recover is not built beside the tests";
  TempDir dir;
  fs::create_directories(dir / "db/16384");
  fs::create_directory(dir / "results");
  std::string out = dir / "out.txt";
  std::string log = dir / "run.log";
  int code = RunProgram("-o '" + dir / "results" + "' --log '" + log + "' '" + dir / "db/16384/" + "'", out);
  EXPECT_EQ(code, 11) << ReadFile(out);
  EXPECT_TRUE(fs::is_empty(dir / "results"));
  EXPECT_NE(ReadFile(log).find("FileRecover() started"), std::string::npos);
  std::string printed = ReadFile(out);
  EXPECT_NE(printed.find("Status: not a PostgreSQL 8.2/8.3 database directory (-10)"), std::string::npos) << printed;
  EXPECT_NE(printed.find("Log: " + log + "\n"), std::string::npos) << printed;
}

TEST(VeskRecoverTest, RefusalsNamePathAndReasonBeforeAnythingIsMade) {
  if (!fs::exists(Program())) GTEST_SKIP() << "vesk-recover is not built beside the tests";
  TempDir dir;
  fs::create_directories(dir / "db/16384");
  std::string out = dir / "out.txt";
  EXPECT_EQ(RunProgram("-o '" + dir / "nowhere" + "' '" + dir / "db/16384" + "'", out), 5);
  EXPECT_NE(ReadFile(out).find(dir / "nowhere" + ": No such file or directory"), std::string::npos) << ReadFile(out);
  if (geteuid() != 0) {
    fs::permissions(dir / "db/16384", fs::perms::none);
    EXPECT_EQ(RunProgram("'" + dir / "db/16384" + "'", out), 4);
    EXPECT_NE(ReadFile(out).find(dir / "db/16384" + ": Permission denied"), std::string::npos) << ReadFile(out);
    fs::permissions(dir / "db/16384", fs::perms::owner_all);
  }
  EXPECT_FALSE(fs::exists(dir / "nowhere"));
}

// A complete run leaves no log behind, and its load command can be pasted
// as printed although the result directory's name has blanks.
TEST(VeskRecoverTest, CompleteRunCleansUpAndPrintsAPastableLoadCommand) {
  std::string sample = fs::path(Program()).parent_path().parent_path() / "sample/pg83";
  if (!fs::exists(Program()) || !fs::exists(sample)) GTEST_SKIP() << "vesk-recover or its sample is not built";
  TempDir dir;
  fs::create_directory(dir / "out dir");
  std::string out = dir / "out.txt";
  ASSERT_EQ(RunProgram("-q -o '" + dir / "out dir" + "' '" + sample + "'", out), 0) << ReadFile(out);
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    std::string name = entry.path().filename();
    EXPECT_TRUE(name.rfind("vesk-recover-", 0) != 0 && name.rfind("tarn-", 0) != 0) << name;
  }
  std::string printed = ReadFile(out);
  size_t at = printed.find("Load with: ");
  ASSERT_NE(at, std::string::npos) << printed;
  std::string line = printed.substr(at + 11, printed.find('\n', at) - at - 11);
  const std::string arguments = " SERVER DATABASE USER [PORT]";
  ASSERT_GT(line.size(), arguments.size());
  ASSERT_EQ(line.substr(line.size() - arguments.size()), arguments) << line;
  std::string command = "test -x " + line.substr(0, line.size() - arguments.size());
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

}  // namespace
}  // namespace vesk::frontend
