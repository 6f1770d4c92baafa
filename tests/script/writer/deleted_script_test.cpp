// deleted_N.sql: the next file begins between statements once the current
// one holds 100 MiB, and the loaders (the recovered script's own, over the
// dead versions' files) load each through deleted_load.sql.
#include "script/writer/deleted_script.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "script/writer/loader_scripts.h"
#include "script/writer/script_writer.h"
#include "support/recovery_run.h"
#include "support/temp_dir.h"

namespace vesk {
namespace {

using testing::IsExecutable;
using testing::ReadFile;
using testing::TempDir;

TEST(DeletedScript, SplitsBetweenStatementsAndNamesEveryFileInItsLoaders) {
  TempDir dir;
  vesk::Run().settings.clientEncoding = nullptr;
  ASSERT_TRUE(OpenDeletedScript(dir.path(), "-- head\n"));
  const std::string statement(1 << 20, 'x');
  const int64_t full = kScriptFileLimit / static_cast<int64_t>(statement.size());
  for (int64_t i = 0; i < full; ++i) WriteDeletedText(statement);
  WriteDeletedText("INSERT INTO t VALUES (1);\n");  // the first file holds 100 MiB: it begins the second
  EXPECT_EQ(DeletedScriptFiles(), 2);
  CloseDeletedScript();

  EXPECT_EQ(std::filesystem::file_size(dir / "deleted_1.sql"), 8 + full * statement.size());
  EXPECT_EQ(ReadFile(dir / "deleted_2.sql"), "INSERT INTO t VALUES (1);\n");
  EXPECT_EQ(ReadFile(dir / "deleted_load.sql"),
            LoadListHead(LoadSet::kDeleted) + "\\i deleted_1.sql\n\\i deleted_2.sql\n");
  // The recovered script's loaders, over the dead versions' own files only.
  for (const char* name : {"deleted_commit.sh", "deleted_commit_trust.sh", "deleted_commit.bat",
                           "deleted_commit_trust.bat", "deleted_load.sql"}) {
    const std::string text = ReadFile(dir / name);
    for (const char* own : {"load.sql", "load.log", "load_check.sql", "load_replace.sql", "commit.sh"}) {
      for (size_t at = text.find(own); at != std::string::npos; at = text.find(own, at + 1)) {
        EXPECT_TRUE(at >= 8 && text.compare(at - 8, 8, "deleted_") == 0) << name << " names " << own;
      }
    }
  }
  EXPECT_EQ(ReadFile(dir / "deleted_commit_trust.sh"), ShellLoaderText(false, LoadSet::kDeleted));
  EXPECT_TRUE(IsExecutable(dir / "deleted_commit.sh"));
  EXPECT_TRUE(std::filesystem::exists(dir / "deleted_load_check.sql"));
  EXPECT_TRUE(std::filesystem::exists(dir / "deleted_load_replace.sql"));
}

}  // namespace
}  // namespace vesk
