#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "api/result_directory.h"
#include "script/writer/loader_scripts.h"
#include "support/recovery_run.h"
#include "support/temp_dir.h"
#include "vesk/veskdll.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using testing::FixedClock;
using testing::IsExecutable;
using testing::MakeTime;
using testing::ReadFile;
using testing::TempDir;

std::vector<std::string> Entries(const std::string& directory) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(directory, error)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// Runs FileRecover on an empty database directory <tmp>/base/16384 with the
// result going below <tmp>/out/, at 07:04:09 on 5 March 2026. The run changes
// the current directory; it is put back afterwards.
class FileRecoverTest : public ::testing::Test {
 protected:
  FileRecoverTest() : clock_(MakeTime(2026, 3, 5, 7, 4, 9)), cwd_(fs::current_path()) {
    database_ = dir_ / "base/16384";
    fs::create_directories(database_);
    out_ = dir_ / "out";
    fs::create_directory(out_);
    log_ = dir_ / "run.log";
  }
  ~FileRecoverTest() override { fs::current_path(cwd_); }

  int32_t Recover(const std::string& path, const std::string& prefix) {
    return FileRecover(path.c_str(), prefix.c_str(), 0, OnMessage, nullptr, reinterpret_cast<intptr_t>(this),
                       log_.c_str());
  }
  std::string Result() const { return out_ + "/Recovered 16384 5-Mar-2026 07.04.09"; }
  bool LogHas(const std::string& line) const { return ReadFile(log_).find(line + "\n") != std::string::npos; }

  static void VESK_CALL OnMessage(const char* text, intptr_t user) {
    auto* self = reinterpret_cast<FileRecoverTest*>(user);
    self->messages_.push_back(text);
    if (self->stopOnFirstMessage_) *self->breakByte_ = 1;
  }

  TempDir dir_;
  FixedClock clock_;
  fs::path cwd_;
  testing::ScopedTmpDir tmp_{dir_.path()};
  std::string database_, out_, log_;
  std::vector<std::string> messages_;
  bool stopOnFirstMessage_ = false;
  volatile unsigned char* breakByte_ = nullptr;
};

TEST_F(FileRecoverTest, EmptyDatabaseGivesNamedResultWithExactLoaders) {
  int32_t status = Recover(database_ + "/1259", out_ + "/");
  EXPECT_EQ(status, VESK_NOTHING_RECOVERED);
  ASSERT_TRUE(fs::is_directory(Result()));
  EXPECT_EQ(vesk::Run().resultDirectory, Result());
  EXPECT_EQ(Entries(Result()),
            (std::vector<std::string>{"commit.bat", "commit.sh", "commit_trust.bat", "commit_trust.sh", "load.sql",
                                      "load_check.sql", "load_replace.sql", "recovered_1.sql"}));
  EXPECT_EQ(ReadFile(Result() + "/commit.bat"), BatchLoaderText(true));
  EXPECT_EQ(ReadFile(Result() + "/commit_trust.bat"), BatchLoaderText(false));
  EXPECT_TRUE(IsExecutable(Result() + "/commit.sh"));
  EXPECT_TRUE(LogHas("============== LOGGER MACHINE INFO ================="));
  EXPECT_TRUE(LogHas("Log file name: [" + log_ + "]"));
  EXPECT_TRUE(LogHas("FileRecover() started"));
  EXPECT_TRUE(LogHas("Filename is [" + database_ + "/1259]"));
  bool temporaryLog = false;
  for (const std::string& name : Entries(dir_.path())) temporaryLog |= name.rfind("tarn-", 0) == 0;
  EXPECT_TRUE(temporaryLog);
  // Nothing of this module is named quorndll: the main program's directory.
  EXPECT_EQ(vesk::Run().moduleDirectory, fs::canonical("/proc/self/exe").parent_path().string());
}

TEST_F(FileRecoverTest, ExistingResultDirectoryIsLeftUntouched) {
  fs::create_directory(Result());
  EXPECT_EQ(Recover(database_ + "/1259", out_ + "/"), VESK_CANNOT_CREATE_OUTPUT);
  EXPECT_TRUE(Entries(Result()).empty());
  EXPECT_TRUE(LogHas("Cannot create result dir " + Result()));
}

TEST_F(FileRecoverTest, MissingParentCreatesNothing) {
  EXPECT_EQ(Recover(database_ + "/1259", dir_ / "absent/"), VESK_CANNOT_CREATE_OUTPUT);
  EXPECT_FALSE(fs::exists(dir_ / "absent"));
  EXPECT_TRUE(Entries(out_).empty());
}

TEST_F(FileRecoverTest, MissingPathCreatesNothing) {
  EXPECT_EQ(FileRecover(nullptr, (out_ + "/").c_str(), 0, nullptr, nullptr, 0, log_.c_str()),
            VESK_NO_DATABASE_DIR);
  EXPECT_EQ(Recover("", out_ + "/"), VESK_NO_DATABASE_DIR);
  // A database directory that does not exist leaves no empty result behind.
  EXPECT_EQ(Recover(dir_ / "absent/16384/1259", out_ + "/"), VESK_NO_DATABASE_DIR);
  { std::ofstream(database_ + "/1259") << "x"; }
  EXPECT_EQ(Recover(database_ + "/1259/1259", out_ + "/"), VESK_NO_DATABASE_DIR);  // a file, not a directory
  fs::remove(database_ + "/1259");
  EXPECT_TRUE(Entries(out_).empty());
  EXPECT_TRUE(LogHas("Cant find path"));
}

TEST_F(FileRecoverTest, StaleBreakRequestIsClearedAtStart) {
  volatile unsigned char flag = 1;
  SetBreakFlag(&flag);
  EXPECT_EQ(Recover(database_ + "/1259", out_ + "/"), VESK_NOTHING_RECOVERED);
  EXPECT_EQ(flag, 0);
  SetBreakFlag(nullptr);
}

TEST_F(FileRecoverTest, BreakDuringRunStopsWithLoadersComplete) {
  volatile unsigned char flag = 0;
  SetBreakFlag(&flag);
  breakByte_ = &flag;
  stopOnFirstMessage_ = true;  // as Ctrl-C during the first pass would
  EXPECT_EQ(Recover(database_ + "/1259", out_ + "/"), VESK_STOPPED);
  ASSERT_FALSE(messages_.empty());
  EXPECT_EQ(messages_.back(), "Terminate...");
  EXPECT_TRUE(LogHas("Terminated by user"));
  // The loaders can run what was written: the list is closed, the guards are there.
  EXPECT_EQ(ReadFile(Result() + "/load.sql"), kLoadListHead + std::string("\\i recovered_1.sql\n"));
  EXPECT_TRUE(fs::exists(Result() + "/load_check.sql"));
  EXPECT_TRUE(fs::exists(Result() + "/load_replace.sql"));
  SetBreakFlag(nullptr);
}

TEST_F(FileRecoverTest, EmptyPrefixAndRelativePrefixLandInTheCurrentDirectory) {
  fs::current_path(out_);
  EXPECT_EQ(Recover(database_ + "/1259", ""), VESK_NOTHING_RECOVERED);
  EXPECT_TRUE(fs::is_directory(Result()));
  clock_.Set(7, 4, 10);
  fs::current_path(dir_.path());
  fs::create_directory(dir_ / "rel");
  EXPECT_EQ(Recover(database_ + "/1259", "rel/"), VESK_NOTHING_RECOVERED);
  // Stored absolute: later script files are made after the run moved away.
  EXPECT_EQ(vesk::Run().resultDirectory, dir_ / "rel/Recovered 16384 5-Mar-2026 07.04.10");
  EXPECT_TRUE(fs::is_directory(vesk::Run().resultDirectory));
}

TEST_F(FileRecoverTest, SameSecondTwiceCollides) {
  EXPECT_EQ(Recover(database_ + "/1259", out_ + "/"), VESK_NOTHING_RECOVERED);
  EXPECT_EQ(Recover(database_ + "/1259", out_ + "/"), VESK_CANNOT_CREATE_OUTPUT);
}

// The options entry point numbers a taken result name; the old one's
// callers expect the run to fail on it.
TEST_F(FileRecoverTest, TakenResultNameIsNumberedOnlyWhenAsked) {
  const std::string taken = Result();
  fs::create_directories(taken);
  for (const char* suffix : {" (2)", " (3)"}) {
    std::string name = taken;
    ASSERT_TRUE(MakeResultDirectory(name, true));
    EXPECT_EQ(name, taken + suffix);
  }
  std::string name = taken;
  EXPECT_FALSE(MakeResultDirectory(name, false));
  EXPECT_EQ(name, taken);
}

// An empty directory is no database: the options entry point says so, makes
// no result directory and leaves no temporary log beside the named one.
TEST_F(FileRecoverTest, OptionsEntryPointRefusesAnEmptyDirectoryAndLeavesNothing) {
  EXPECT_EQ(FileRecoverEx((database_ + "/1259").c_str(), (out_ + "/").c_str(), nullptr, nullptr, 0, log_.c_str(),
                          nullptr),
            VESK_NOT_A_DATABASE);
  EXPECT_TRUE(Entries(out_).empty());
  for (const std::string& name : Entries(dir_.path())) EXPECT_NE(name.rfind("tarn-", 0), 0u) << name;
}

// The temporary log can hold dumps of the user's rows.
TEST_F(FileRecoverTest, TemporaryLogIsReadableByItsOwnerOnly) {
  EXPECT_EQ(FileRecover((database_ + "/1259").c_str(), (out_ + "/").c_str(), 0, nullptr, nullptr, 0, nullptr),
            VESK_NOTHING_RECOVERED);
  int logs = 0;
  for (const std::string& name : Entries(dir_.path())) {
    if (name.rfind("tarn-", 0) != 0) continue;
    ++logs;
    EXPECT_EQ(fs::status(dir_ / name).permissions(), fs::perms::owner_read | fs::perms::owner_write) << name;
  }
  EXPECT_EQ(logs, 1);
}

// The options entry point takes an older (shorter) structure and null, and
// refuses what it cannot take before anything is created.
TEST_F(FileRecoverTest, OptionsEntryPointTakesOlderStructuresAndRefusesBadOnes) {
  struct {
    uint32_t size, version;
    int32_t datetime, align;
    bool taken;
    int32_t objects = 0;  // a field appended later, out of range when 3
  } cases[] = {
      {sizeof(VeskOptions), VESK_OPTIONS_VERSION, VESK_DATETIME_INTEGER, 4, true},
      {8, VESK_OPTIONS_VERSION, 99, 99, true},  // fields past `size` are not read
      {sizeof(VeskOptions), 0, 0, 0, false},
      {4, VESK_OPTIONS_VERSION, 0, 0, false},
      {sizeof(VeskOptions), VESK_OPTIONS_VERSION, 3, 0, false},
      {sizeof(VeskOptions), VESK_OPTIONS_VERSION, 0, 2, false},
      {sizeof(VeskOptions), VESK_OPTIONS_VERSION, 0, 0, false, 3},
      {offsetof(VeskOptions, schemaObjects), VESK_OPTIONS_VERSION, 0, 0, true, 3},
  };
  for (const auto& c : cases) {
    VeskOptions options{};
    options.size = c.size;
    options.version = c.version;
    options.datetimeStorage = c.datetime;
    options.maxAlign = c.align;
    options.schemaObjects = c.objects;
    fs::remove_all(Result());
    int32_t status = FileRecoverEx((database_ + "/1259").c_str(), (out_ + "/").c_str(), nullptr, nullptr, 0,
                                   log_.c_str(), &options);
    // Taken options let the run go on to find that the empty directory
    // holds no database (and leave nothing behind); refused ones stop it
    // before it starts.
    EXPECT_EQ(status, c.taken ? VESK_NOT_A_DATABASE : VESK_BAD_OPTIONS) << c.size << " " << c.datetime;
    EXPECT_FALSE(fs::exists(Result()));
  }
  EXPECT_EQ(FileRecoverEx((database_ + "/1259").c_str(), (out_ + "/").c_str(), nullptr, nullptr, 0, log_.c_str(),
                          nullptr),
            VESK_NOT_A_DATABASE);
  // The old entry point answers as it always did.
  EXPECT_EQ(Recover(database_ + "/1259", out_ + "/"), VESK_NOTHING_RECOVERED);
  EXPECT_TRUE(fs::exists(Result()));
}

TEST(ExportsTest, FixedAnswersAndSiblingLibrary) {
  EXPECT_EQ(GetDllVersion(), 2);
  EXPECT_EQ(isEnvReady(), 0);
  EXPECT_EQ(LoadTarncmn(), 0);  // libtarncmn.so is built beside this program
  EXPECT_EQ(LoadTarncmn(), 0);
  EXPECT_EQ(GetDllVersion(), 2);
  EXPECT_EQ(isEnvReady(), 0);
}

// A host program sees the six entry points and none of the engine's
// internals, which could otherwise clash with its own symbols.
TEST(ExportsTest, SharedLibraryExportsOnlyTheEntryPoints) {
  std::string library = fs::canonical("/proc/self/exe").parent_path().string() + "/libveskdll.so";
  if (!fs::exists(library)) GTEST_SKIP() << "libveskdll.so is not built beside the tests";
  void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  for (const char* name : {"FileRecover", "FileRecoverEx", "SetBreakFlag", "GetDllVersion", "isEnvReady", "LoadTarncmn"}) {
    EXPECT_NE(dlsym(handle, name), nullptr) << name;
  }
  EXPECT_EQ(dlsym(handle, "_ZN4vesk10ScratchDupEPKc"), nullptr);
  auto version = reinterpret_cast<int32_t (*)()>(dlsym(handle, "GetDllVersion"));
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version(), 2);
}

// A copy of the engine without its sibling library beside it: the run ends
// with its own status before anything is created, and the log says why.
TEST(ExportsTest, MissingSiblingLibraryCreatesNothing) {
  std::string built = fs::canonical("/proc/self/exe").parent_path().string() + "/libveskdll.so";
  if (!fs::exists(built)) GTEST_SKIP() << "libveskdll.so is not built beside the tests";
  TempDir dir;
  testing::ScopedTmpDir tmp(dir.path());
  fs::create_directories(dir / "lib");
  fs::create_directories(dir / "db/16384");
  fs::create_directories(dir / "out");
  fs::copy_file(built, dir / "lib/libveskdll.so");
  void* handle = dlopen((dir / "lib/libveskdll.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  using Recover = int32_t (*)(const char*, const char*, int32_t, MessageCallback, ProgressCallback, intptr_t,
                              const char*);
  auto recover = reinterpret_cast<Recover>(dlsym(handle, "FileRecover"));
  auto load = reinterpret_cast<int32_t (*)()>(dlsym(handle, "LoadTarncmn"));
  ASSERT_TRUE(recover && load);
  EXPECT_EQ(load(), VESK_NO_SIBLING_LIBRARY);
  std::string log = dir / "run.log";
  EXPECT_EQ(recover((dir / "db/16384/1259").c_str(), (dir / "out/").c_str(), 0, nullptr, nullptr, 0, log.c_str()),
            VESK_NO_SIBLING_LIBRARY);
  EXPECT_TRUE(fs::is_empty(dir / "out"));
  EXPECT_NE(ReadFile(log).find("[ERROR]: Cannot load tarncmn ["), std::string::npos);
}

TEST(ResultNameTest, DateAndTimeText) {
  const struct {
    platform::LocalTime time;
    const char* text;
  } cases[] = {
      {MakeTime(2026, 3, 5, 7, 4, 9), "5-Mar-2026 07.04.09"},
      {MakeTime(2026, 12, 31, 23, 59, 59), "31-Dec-2026 23.59.59"},
      {MakeTime(2026, 1, 10, 0, 0, 0), "10-Jan-2026 00.00.00"},
      {MakeTime(999, 13, 1, 1, 2, 3), "1-error-0999 01.02.03"},
      {MakeTime(2026, 0, 1, 1, 2, 3), "1-error-2026 01.02.03"},
  };
  for (const auto& c : cases) EXPECT_EQ(RunTimeText(c.time), c.text);
}

TEST(ResultNameTest, DatabaseDirectoryComponent) {
  const struct {
    const char* path;
    const char* name;
  } cases[] = {
      {"/pg/base/16384/1259", "16384"},
      {"/data/my.db/1259", "my"},
      {"/data/a.b.c/x", "a.b"},
      {"/data/16384/", "16384"},
      {"/1259", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DatabaseDirectoryName(c.path), c.name) << c.path;
  // No separator: a file of the current directory.
  EXPECT_EQ(DatabaseDirectoryName("1259"), fs::current_path().filename().string());
  EXPECT_EQ(ResultDirectoryPath("/out/", "/pg/base/16384/1259", MakeTime(2026, 3, 5, 7, 4, 9)),
            "/out/Recovered 16384 5-Mar-2026 07.04.09");
}

}  // namespace
}  // namespace vesk
