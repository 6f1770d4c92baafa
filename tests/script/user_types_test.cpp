// The enum and composite types of the real fixture databases, created by the
// script before the tables that use them, and their columns declared with
// them.
#include "script/user_types.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <filesystem>
#include <string>

#include "api/driver.h"
#include "api/pass2.h"
#include "catalog/catalog_readers.h"
#include "common/fixture_files.h"
#include "common/pass_one_fixture.h"
#include "catalog/pg_enum_table.h"
#include "heapbuilder/heap_builder.h"
#include "script/memory_catalog.h"
#include "script/type_name.h"
#include "support/scratch.h"
#include "types/scalar/scalar_test_util.h"
#include "script/writer/script_writer.h"
#include "support/recovery_run.h"
#include "types/toast/toast.h"

namespace vesk {
namespace {

using testing::FixtureDir;

// Passes 1 and 2 over a fixture database with the script in a temporary
// file; the catalogs are released again at the end.
class WholeScript {
 public:
  explicit WholeScript(const std::string& dir) : saved_(SaveScriptWithoutLoaders()), pass_(dir) {
    status = pass_.status;
    if (status == 0) status = RunPass2(0);
    text = pass_.ScriptSoFar();
  }
  ~WholeScript() {
    ResetToastCache();
    Script() = saved_;
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
  // The run's script settings, kept for the end; the run starts with no loaders.
  static ScriptOutput SaveScriptWithoutLoaders() {
    ScriptOutput saved = Script();
    Script().loaders.clear();
    return saved;
  }

  ScriptOutput saved_;
  testing::PassOne pass_;
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

// Hand-made catalogs: an enum whose labels come from a pg_enum file the heap
// page builder wrote, and the cases where a type cannot be created.
class SyntheticTypes : public ::testing::Test {
 protected:
  static constexpr uint32_t kMood = 16515;
  static constexpr uint32_t kMoodArray = 16516;
  static constexpr uint32_t kPair = 16514;

  void SetUp() override {
    catalog.AddBuiltinTypes();
    catalog.AddSchema(2200, "public");
    catalog.AddType(testing::TypeSpec{.oid = kPair, .name = "pair", .nspOid = 2200, .typtype = 'c'});
    catalog.AddType(testing::TypeSpec{.oid = kMood, .name = "mood", .nspOid = 2200, .typtype = 'e'});
    catalog.AddType(testing::TypeSpec{.oid = kMoodArray, .name = "_mood", .nspOid = 2200, .typelem = kMood,
                                      .typstorage = 'x'});
    ForgetDefinedTypes();
  }
  void TearDown() override { ForgetDefinedTypes(); }

  std::vector<CatalogColumnDesc*> Columns(std::initializer_list<uint32_t> types) {
    for (uint32_t type : types) {
      CatalogColumnDesc& column = columns_.emplace_back();
      column.atttypid = type;
    }
    std::vector<CatalogColumnDesc*> list;
    for (CatalogColumnDesc& column : columns_) list.push_back(&column);
    return list;
  }

  std::string Named(uint32_t oid) {
    char* text = FormatTypeName(oid, -1);
    std::string name = text != nullptr ? text : "<null>";
    ScratchFree(text);
    return name;
  }

  testing::MemoryCatalog catalog{83};

 private:
  std::deque<CatalogColumnDesc> columns_;
};

TEST_F(SyntheticTypes, EnumCreatedOnceWithItsLabelsQuoted) {
  testing::TempDir dir;
  heapbuilder::RelationBuilder relation(heapbuilder::Layout::k83, {{4, true, 'i', 'p'}, {64, false, 'i', 'p'}});
  uint32_t oid = 900;
  for (const char* label : {"sad", "it's", "a\\b"}) {
    heapbuilder::TupleSpec spec;
    spec.hasOid = true;
    spec.oid = oid++;
    relation.AddRow({heapbuilder::Oid(kMood), heapbuilder::Name(label)}, spec);
  }
  ASSERT_TRUE(relation.WriteFile(dir / "3501"));
  vesk::Run().databaseDirectory = dir.path() + "/";
  pg_enum_Table enums(nullptr, 83);
  ASSERT_EQ(enums.ReadLabels(), 0);
  vesk::Run().enums = &enums;

  EXPECT_EQ(DefineUserTypes(Columns({23, kMood, kMoodArray})), 0);
  EXPECT_EQ(DefineUserTypes(Columns({kMood})), 0);
  EXPECT_EQ(catalog.TakeScript(),
            "CREATE TYPE \"public\".\"mood\" AS ENUM (\n    'sad',\n    E'it''s',\n    E'a\\\\b'\n);\n\n");
  EXPECT_EQ(Named(kMood), "\"public\".\"mood\"");
  EXPECT_EQ(Named(kMoodArray), "\"public\".\"mood\"[]");
  vesk::Run().enums = nullptr;
}

TEST_F(SyntheticTypes, TypesThatCannotBeCreatedLeaveTextColumns) {
  testing::LogCapture log;
  // No pg_enum labels, and no class row saying pair is a standalone type.
  EXPECT_EQ(DefineUserTypes(Columns({kMood, kPair, kMoodArray})), 0);
  EXPECT_EQ(catalog.TakeScript(), "");
  EXPECT_EQ(Named(kMood), "\"text\"");
  EXPECT_EQ(Named(kMoodArray), "\"text\"[]");
  EXPECT_EQ(Named(kPair), "\"text\"");
  EXPECT_TRUE(log.Has("No labels for enum type, its columns become text"));
  EXPECT_TRUE(log.Has("Row type is not a standalone type, its columns become text"));
}

}  // namespace
}  // namespace vesk
