// Pass 1 over the real databases in ../shared/fixtures, against the counts
// the original servers report.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/pass_one_fixture.h"

namespace vesk {
namespace {

using testing::FixtureDir;
using testing::HaveFixtures;
using testing::PassOne;

struct FixtureCase {
  const char* version;
  const char* database;
  uint8_t layout;
  size_t classes, attributes, types;
  std::string script;  // the schema statements Pass 1 writes
};

class FixtureCatalogs : public ::testing::TestWithParam<FixtureCase> {
 protected:
  void SetUp() override {
    if (!HaveFixtures()) GTEST_SKIP() << "no fixture databases at " << testing::SharedDir();
  }
};

const std::string kUserSchemas =
    "-- Schema: sales\n\nCREATE SCHEMA \"sales\";\n\n"
    "-- Schema: Mixed Schema\n\nCREATE SCHEMA \"Mixed Schema\";\n\n";

TEST_P(FixtureCatalogs, ReadsEveryCatalogRow) {
  const FixtureCase& c = GetParam();
  PassOne pass(FixtureDir(c.version, c.database));
  ASSERT_EQ(pass.status, 0);
  RecoveryRun& run = vesk::Run();
  EXPECT_EQ(run.version, c.layout);
  EXPECT_EQ(run.classes->reader().RowCount(), c.classes);
  EXPECT_EQ(run.attributes->reader().RowCount(), c.attributes);
  EXPECT_EQ(run.types->reader().RowCount(), c.types);
  EXPECT_EQ(pass.script, c.script);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, FixtureCatalogs,
    ::testing::Values(FixtureCase{"pg82", "16388", 82, 248, 1984, 276, kUserSchemas},
                      FixtureCase{"pg83", "16585", 83, 279, 2190, 334, kUserSchemas},
                      FixtureCase{"pg82", "16384", 82, 204, 1628, 242, ""},
                      FixtureCase{"pg83", "16385", 83, 226, 1774, 269, ""}),
    [](const auto& p) { return std::string(p.param.version) + "_" + p.param.database; });

class FixtureDatabase : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (!HaveFixtures()) GTEST_SKIP() << "no fixture databases at " << testing::SharedDir();
  }
  std::string Dir() const {
    return std::string(GetParam()) == "pg82" ? FixtureDir("pg82", "16388") : FixtureDir("pg83", "16585");
  }
};

TEST_P(FixtureDatabase, KeepsThreeSchemas) {
  PassOne pass(Dir());
  pg_namespace_Table& nsp = *vesk::Run().namespaces;
  ASSERT_EQ(nsp.reader().RowCount(), 3u);
  std::vector<std::string> names;
  for (size_t i = 0; i < 3; ++i) names.push_back(static_cast<const SchemaRecord*>(nsp.reader().RowAt(i))->nspname);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Mixed Schema", "public", "sales"}));
  EXPECT_EQ(vesk::Run().schemasRecovered, 2);
}

TEST_P(FixtureDatabase, EvolvedKeepsItsDroppedColumn) {
  PassOne pass(Dir());
  RecoveryRun& run = vesk::Run();
  const RecoveredTable* evolved = nullptr;
  TableReader& classes = run.classes->reader();
  for (size_t i = 0; i < classes.RowCount(); ++i) {
    auto* t = static_cast<const RecoveredTable*>(classes.RowAt(i));
    if (std::string(t->relname) == "evolved") evolved = t;
  }
  ASSERT_NE(evolved, nullptr);
  const TypeRecord* rowType = run.types->LookupTypeByOid(evolved->reltype);
  ASSERT_NE(rowType, nullptr);
  EXPECT_STREQ(rowType->typname, "evolved");
  std::vector<CatalogColumnDesc*> cols;
  EXPECT_EQ(run.attributes->CollectColumns(rowType->typrelid, cols), -1);
  ASSERT_EQ(cols.size(), 5u);
  EXPECT_STREQ(cols[0]->attname, "a");
  EXPECT_TRUE(cols[1]->attisdropped);
  EXPECT_STREQ(cols[2]->attname, "c");
  EXPECT_STREQ(cols[3]->attname, "d");
  EXPECT_STREQ(cols[4]->attname, "e");
  for (int i = 0; i < 5; ++i) EXPECT_EQ(cols[static_cast<size_t>(i)]->attnum, i + 1);
}

TEST_P(FixtureDatabase, OpensATableByItsOid) {
  PassOne pass(Dir());
  RecoveryRun& run = vesk::Run();
  const TypeRecord* odd = nullptr;
  TableReader& types = run.types->reader();
  for (size_t i = 0; i < types.RowCount(); ++i) {
    auto* t = static_cast<const TypeRecord*>(types.RowAt(i));
    if (std::string(t->typname) == "Odd \"Quoted\" Name") odd = t;
  }
  ASSERT_NE(odd, nullptr);
  auto reader = OpenRelationById(odd->typrelid, nullptr, run.version);
  EXPECT_STREQ(reader->tableName, "Odd \"Quoted\" Name");
  ASSERT_NE(reader->classRecord, nullptr);
  EXPECT_EQ(reader->path, Dir() + std::to_string(reader->classRecord->relfilenode));
  EXPECT_STREQ(run.namespaces->FindSchemaName(reader->classRecord->relnamespace), "Mixed Schema");
  ASSERT_EQ(reader->columns.size(), 3u);
  EXPECT_STREQ(reader->columns[0]->attname, "Col \"A\"");
  EXPECT_EQ(reader->columnLimit, -1);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FixtureDatabase, ::testing::Values("pg82", "pg83"),
                         [](const auto& p) { return std::string(p.param); });

}  // namespace
}  // namespace vesk
