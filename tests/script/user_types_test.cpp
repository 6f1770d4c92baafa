// The enum and composite types of the real fixture databases, created by the
// script before the tables that use them, and their columns declared with
// them.
#include "script/user_types.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "api/driver.h"
#include "api/pass2.h"
#include "catalog/catalog_readers.h"
#include "catalog/pg_enum_table.h"
#include "script/writer/script_writer.h"
#include "support/recovery_run.h"
#include "types/toast/toast.h"

namespace vesk {
namespace {

std::string FixtureDir(const std::string& layout, const std::string& database) {
  return std::string(VESK_SHARED_DIR) + "/fixtures/" + layout + "/base/" + database + "/";
}

// Passes 1 and 2 over a fixture database with the script in a temporary
// file; the catalogs are released again at the end.
class WholeScript {
 public:
  explicit WholeScript(const std::string& dir) : saved_(Script()) {
    file_ = std::tmpfile();
    Script().script = file_;
    Script().loaders.clear();
    vesk::Run().databaseDirectory = dir;
    status = ReadCatalogs();
    if (status == 0) status = RunPass2(0);
    std::fflush(file_);
    std::rewind(file_);
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) text.append(buffer, n);
  }
  ~WholeScript() {
    ResetToastCache();
    RecoveryRun& run = vesk::Run();
    delete run.enums;
    delete run.namespaces;
    delete run.types;
    delete run.attributes;
    delete run.classes;
    run.enums = nullptr;
    run.namespaces = nullptr;
    run.types = nullptr;
    run.attributes = nullptr;
    run.classes = nullptr;
    run.databaseDirectory.clear();
    Script() = saved_;
    std::fclose(file_);
  }
  WholeScript(const WholeScript&) = delete;
  WholeScript& operator=(const WholeScript&) = delete;

  // Position of `piece` in the script; npos when absent.
  size_t At(const std::string& piece) const { return text.find(piece); }
  size_t Count(const std::string& piece) const {
    size_t count = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++count;
    return count;
  }

  int32_t status = 0;
  std::string text;

 private:
  ScriptOutput saved_;
  FILE* file_ = nullptr;
};

class FixtureTypes : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(FixtureDir("pg83", "16585"))) {
      GTEST_SKIP() << "fixtures not found under " << VESK_SHARED_DIR;
    }
  }
};

const char kPair[] = "CREATE TYPE \"public\".\"pair\" AS (\n    \"x\" integer,\n    \"y\" \"text\"\n);\n\n";
const char kMood[] = "CREATE TYPE \"public\".\"mood\" AS ENUM (\n    'sad',\n    'ok',\n    'happy'\n);\n\n";

TEST_F(FixtureTypes, EnumAndCompositeTypesPrecedeTheirTables83) {
  WholeScript script(FixtureDir("pg83", "16585"));
  ASSERT_EQ(script.status, 0);
  EXPECT_EQ(script.Count(kMood), 1u);
  EXPECT_EQ(script.Count(kPair), 1u);
  EXPECT_LT(script.At(kMood), script.At("CREATE TABLE \"public\".\"enums\""));
  EXPECT_LT(script.At(kPair), script.At("CREATE TABLE \"public\".\"domains\""));
  EXPECT_NE(script.At("\"m\" \"public\".\"mood\",\n\"ma\" \"public\".\"mood\"[]);"), std::string::npos);
  EXPECT_NE(script.At("\"pr\" \"public\".\"pair\");"), std::string::npos);
  EXPECT_NE(script.At("INSERT INTO \"public\".\"enums\" VALUES (1, 'sad', '{sad,happy}');"), std::string::npos);
  EXPECT_NE(script.At("INSERT INTO \"public\".\"domains\" VALUES (3, 2147483647, E'x''y', '(,\"q\"\"q\")');"),
            std::string::npos);
  EXPECT_NE(script.At("INSERT INTO \"public\".\"newtypes\" VALUES (1, 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11', "
                      "E'''a'' ''cat'' ''fat''', E'''fat'' & ''rat''');"),
            std::string::npos);
}

TEST_F(FixtureTypes, CompositeTypePrecedesItsTable82) {
  WholeScript script(FixtureDir("pg82", "16388"));
  ASSERT_EQ(script.status, 0);

  EXPECT_EQ(script.Count(kPair), 1u);
  EXPECT_LT(script.At(kPair), script.At("CREATE TABLE \"public\".\"domains\""));
  EXPECT_NE(script.At("INSERT INTO \"public\".\"domains\" VALUES (1, 5, 'abc', '(1,one)');"), std::string::npos);
}

}  // namespace
}  // namespace vesk
