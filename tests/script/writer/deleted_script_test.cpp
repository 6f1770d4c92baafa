// deleted_N.sql: the next file begins between statements once the current
// one holds 100 MiB, and every loader gains its load line.
#include "script/writer/deleted_script.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

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
  EXPECT_EQ(ReadFile(dir / "deleted_commit_trust.sh"),
            "#!/bin/sh\nif [ -z \"$1\" ] || [ -z \"$2\" ]; then\n  echo Usage\n"
            "  echo deleted_commit_trust.sh serv_name db_name\n  exit 1\nfi\ncd \"$(dirname \"$0\")\" || exit 1\n\n"
            "psql -h \"$1\" -d \"$2\" -f deleted_1.sql\npsql -h \"$1\" -d \"$2\" -f deleted_2.sql\n");
  EXPECT_TRUE(IsExecutable(dir / "deleted_commit.sh"));
  const std::string bat = ReadFile(dir / "deleted_commit.bat");
  EXPECT_NE(bat.find("psql -h %1 -d %2 -U %3 -f deleted_2.sql\n\nGoto Exit"), std::string::npos) << bat;
}

}  // namespace
}  // namespace vesk
