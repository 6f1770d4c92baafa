#include <gtest/gtest.h>

#include <string>

#include "catalog/catalog_readers.h"
#include "catalog/schema_rules.h"
#include "catalog_test_util.h"
#include "common/log_capture.h"
#include "heapbuilder/heap_builder.h"

namespace vesk {
namespace {

using testing::ByRef;
using testing::ByValue;
using testing::CapturedScript;
using testing::NullValue;
using testing::StoredName;
using testing::Unplaced;

struct InitdbCase {
  uint32_t oid;
  const char* name;
  bool skipped;
};

TEST(SchemaRules, SkipsOnlyWhatInitdbMade) {
  const InitdbCase cases[] = {
      {11, "pg_catalog", true},           {99, "pg_toast", true},
      {10406, "pg_temp_1", true},         {10621, "information_schema", true},
      {11052, "pg_temp_1", true},         {11053, "pg_toast_temp_1", true},
      {11313, "information_schema", true}, {11, "", true},
      {2200, "public", false},            {16389, "sales", false},
      {16400, "pg_temp_3", false},        {16401, "information_schema", false},
      {12000, "pg_temp_", false},         {12000, "pg_temp_1x", false},
      {12000, "pg_toast_temp_12", true},  {12000, "Information_Schema", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsInitdbSchema(c.oid, c.name), c.skipped) << c.oid << " " << c.name;
  }
}

TEST(SchemaRules, RenamesOnlyThePgPrefix) {
  const std::pair<const char*, const char*> cases[] = {
      {"pg_sales", "_g_sales"}, {"pg_temp_1", "_g_temp_1"}, {"pg_", "_g_"},
      {"pg", "pg"},             {"pg-x", "pg-x"},           {"Pg_x", "Pg_x"},
      {"xpg_", "xpg_"},
  };
  for (const auto& [in, out] : cases) {
    char name[64] = {};
    std::strcpy(name, in);
    EXPECT_EQ(RenameReservedSchema(name), std::strcmp(in, out) != 0) << in;
    EXPECT_STREQ(name, out);
  }
}

TEST(SchemaRules, CommentTextCannotBreakTheLine) {
  char out[16];
  WriteCommentSafe(out, "a\nb\rc\td", sizeof out);
  EXPECT_STREQ(out, "a?b?c?d");
  WriteCommentSafe(out, "0123456789abcdefXYZ", sizeof out);
  EXPECT_STREQ(out, "0123456789abcde");
}

class NamespaceTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = vesk::Run().schemasRecovered;
    vesk::Run().schemasRecovered = 0;
  }
  void TearDown() override { vesk::Run().schemasRecovered = saved_; }

  int Feed(uint32_t oid, const char* name) {
    StoredName stored(name);
    return table.ProcessRow({ByRef(stored.bytes.data()), ByValue(10), NullValue()}, oid);
  }

  pg_namespace_Table table{"2615", 83};
  CapturedScript script;
  int32_t saved_ = 0;
};

TEST_F(NamespaceTableTest, WritesStatementsForUserSchemasOnly) {
  EXPECT_EQ(Feed(11, "pg_catalog"), 0);
  EXPECT_EQ(Feed(2200, "public"), 1);
  EXPECT_EQ(Feed(16389, "sales"), 1);
  EXPECT_EQ(Feed(11313, "information_schema"), 0);
  EXPECT_EQ(Feed(11052, "pg_temp_1"), 0);
  EXPECT_EQ(Feed(16390, "Mixed Schema"), 1);
  EXPECT_EQ(script.Text(),
            "-- Schema: sales\n\nCREATE SCHEMA \"sales\";\n\n"
            "-- Schema: Mixed Schema\n\nCREATE SCHEMA \"Mixed Schema\";\n\n");
  EXPECT_EQ(vesk::Run().schemasRecovered, 2);
  EXPECT_EQ(table.reader().RowCount(), 3u);
  EXPECT_STREQ(table.FindSchemaName(2200), "public");
  EXPECT_STREQ(table.FindSchemaName(16390), "Mixed Schema");
  EXPECT_EQ(table.FindSchemaName(11), nullptr);
  EXPECT_EQ(table.FindSchemaName(11052), nullptr);
}

// A session's temporary schema is skipped whatever OID it got, and known
// as temporary so that its tables are skipped too.
TEST_F(NamespaceTableTest, TemporarySchemasAreSkippedAndRemembered) {
  testing::LogCapture log;
  const struct {
    uint32_t oid;
    const char* name;
    bool temporary;
  } cases[] = {
      {16394, "pg_temp_2", true},   {11052, "pg_temp_1", true},   {16395, "pg_toast_temp_2", true},
      {16396, "pg_temp_", false},   {16397, "pg_temp_2x", false}, {16398, "Pg_temp_2", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Feed(c.oid, c.name), c.temporary ? 0 : 1) << c.name;
    EXPECT_EQ(table.IsTemporarySchema(c.oid), c.temporary) << c.name;
    EXPECT_EQ(table.FindSchemaName(c.oid) == nullptr, c.temporary) << c.name;
  }
  EXPECT_TRUE(log.Has("Temporary schema pg_temp_2 skipped, and the tables in it"));
  EXPECT_EQ(script.Text(),
            "-- Schema: _g_temp_\n\nCREATE SCHEMA \"_g_temp_\";\n\n"
            "-- Schema: _g_temp_2x\n\nCREATE SCHEMA \"_g_temp_2x\";\n\n"
            "-- Schema: Pg_temp_2\n\nCREATE SCHEMA \"Pg_temp_2\";\n\n");
}

TEST_F(NamespaceTableTest, QuotesInsideNamesAreDoubled) {
  Feed(16391, "We \"Quote\"");
  EXPECT_EQ(script.Text(), "-- Schema: We \"Quote\"\n\nCREATE SCHEMA \"We \"\"Quote\"\"\";\n\n");
}

TEST_F(NamespaceTableTest, LineBreakInNameStaysInsideTheComment) {
  Feed(16392, "two\nlines");
  EXPECT_EQ(script.Text(), "-- Schema: two?lines\n\nCREATE SCHEMA \"two\nlines\";\n\n");
}

TEST_F(NamespaceTableTest, ReservedPrefixIsRenamedBeforeItIsStored) {
  Feed(16393, "pg_sales");
  Feed(16394, "pg_temp_x");
  EXPECT_STREQ(table.FindSchemaName(16393), "_g_sales");
  EXPECT_STREQ(table.FindSchemaName(16394), "_g_temp_x");
  EXPECT_NE(script.Text().find("CREATE SCHEMA \"_g_sales\";"), std::string::npos);
}

TEST_F(NamespaceTableTest, UnnamedSchemasGetNumberedNames) {
  EXPECT_EQ(table.ProcessRow({NullValue()}, 16395), 1);
  EXPECT_EQ(table.ProcessRow({Unplaced()}, 16396), 1);
  EXPECT_EQ(table.ProcessRow({}, 16397), 1);
  EXPECT_STREQ(table.FindSchemaName(16395), "some_recov_schema_0");
  EXPECT_STREQ(table.FindSchemaName(16396), "some_recov_schema_1");
  EXPECT_STREQ(table.FindSchemaName(16397), "some_recov_schema_2");
  EXPECT_EQ(vesk::Run().schemasRecovered, 3);
}

TEST_F(NamespaceTableTest, FirstRowOfAnOidWins) {
  Feed(16398, "first");
  Feed(16398, "second");
  EXPECT_STREQ(table.FindSchemaName(16398), "first");
}

TEST_F(NamespaceTableTest, NameColumnDescribedAsByValueIsNotDereferenced) {
  // A damaged pg_attribute row may describe nspname as a 4-byte by-value
  // column: its datum is then a number, not an address.
  CatalogColumnDesc bogus;
  bogus.attlen = 4;
  bogus.attbyval = true;
  table.reader().columns = {&bogus};
  EXPECT_EQ(table.ProcessRow({ByValue(0x1234)}, 16399), 1);
  EXPECT_STREQ(table.FindSchemaName(16399), "some_recov_schema_0");
}

}  // namespace
}  // namespace vesk

namespace vesk {
namespace {

namespace hb = heapbuilder;

// A pg_namespace file with one user schema, read after pg_attribute lost
// (or kept) the rows that describe it.
class NamespaceColumnsTest : public ::testing::TestWithParam<bool> {};

TEST_P(NamespaceColumnsTest, SchemasSurviveLostAttributeRows) {
  const bool describedInAttribute = GetParam();
  testing::ScratchDirectory dir("nspcols");
  hb::RelationBuilder rel(hb::Layout::k83, {{64, false, 'i', 'p'}, {4, true, 'i', 'p'}, {-1, false, 'i', 'x'}});
  hb::TupleSpec tuple;
  tuple.hasOid = true;
  tuple.oid = 16700;
  rel.AddRow({hb::Name("ledger"), hb::Oid(10), hb::Null()}, tuple);
  ASSERT_TRUE(rel.WriteFile(dir.File("2615")));

  pg_attribute_Table attributes("1249", 83);
  StoredName nspname("nspname"), nspowner("nspowner");
  if (describedInAttribute) {
    attributes.ProcessRow({ByValue(2615), ByRef(nspname.bytes.data()), ByValue(19), ByValue(0), ByValue(64),
                           ByValue(1), ByValue(0), ByValue(0xFFFFFFFF), ByValue(0xFFFFFFFF), ByValue(0), ByValue('p'),
                           ByValue('i')},
                          0);
    attributes.ProcessRow({ByValue(2615), ByRef(nspowner.bytes.data()), ByValue(26), ByValue(0), ByValue(4),
                           ByValue(2), ByValue(0), ByValue(0xFFFFFFFF), ByValue(0xFFFFFFFF), ByValue(1), ByValue('p'),
                           ByValue('i')},
                          0);
  }
  CapturedScript script;
  int32_t saved = vesk::Run().schemasRecovered;
  pg_namespace_Table namespaces("2615", 83);
  namespaces.TakeColumns(attributes);
  EXPECT_EQ(namespaces.reader().columns.size(), describedInAttribute ? 2u : 3u);
  EXPECT_EQ(namespaces.reader().ReadTable(), 0);
  EXPECT_STREQ(namespaces.FindSchemaName(16700), "ledger");
  EXPECT_EQ(script.Text(), "-- Schema: ledger\n\nCREATE SCHEMA \"ledger\";\n\n");
  vesk::Run().schemasRecovered = saved;
}

INSTANTIATE_TEST_SUITE_P(Sources, NamespaceColumnsTest, ::testing::Bool(),
                         [](const auto& p) { return p.param ? std::string("FromAttribute") : std::string("Builtin"); });

}  // namespace
}  // namespace vesk
