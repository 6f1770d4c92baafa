// The enum labels of Pass 1: pg_enum read from a relation file the heap
// page builder made, from the real 8.3 fixture, and missing altogether.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalog/pg_enum_table.h"
#include "catalog_test_util.h"
#include "heapbuilder/heap_builder.h"
#include "common/pass_one_fixture.h"
#include "types/scalar/scalar_test_util.h"

namespace vesk {
namespace {

namespace hb = heapbuilder;

std::vector<std::string> Strings(const std::vector<const char*>& labels) { return {labels.begin(), labels.end()}; }

struct EnumRow {
  uint32_t oid;
  uint32_t type;
  const char* label;  // null: a row whose label is null
};

void WriteEnumFile(const std::string& path, const std::vector<EnumRow>& rows) {
  hb::RelationBuilder relation(hb::Layout::k83, {{4, true, 'i', 'p'}, {64, false, 'i', 'p'}});
  for (const EnumRow& r : rows) {
    hb::TupleSpec spec;
    spec.hasOid = true;
    spec.oid = r.oid;
    relation.AddRow({hb::Oid(r.type), r.label != nullptr ? hb::Name(r.label) : hb::Null()}, spec);
  }
  ASSERT_TRUE(relation.WriteFile(path));
}

TEST(PgEnumTable, LabelsInTheirSortOrderWhateverTheFileOrder) {
  testing::ScratchDirectory dir("enum_order");
  WriteEnumFile(dir.File("3501"), {{502, 77, "happy"}, {500, 77, "sad"}, {501, 77, "ok"}, {600, 78, "other"},
                                   {503, 77, nullptr}, {500, 77, "duplicate"}});
  pg_enum_Table enums(nullptr, 83);
  ASSERT_EQ(enums.ReadLabels(), 0);
  EXPECT_EQ(Strings(enums.LabelsOf(77)), (std::vector<std::string>{"sad", "ok", "happy"}));
  EXPECT_EQ(Strings(enums.LabelsOf(78)), (std::vector<std::string>{"other"}));
  EXPECT_TRUE(enums.LabelsOf(79).empty());
  EXPECT_STREQ(enums.FindLabel(500), "sad");
  EXPECT_EQ(enums.FindLabel(503), nullptr);
  EXPECT_EQ(enums.FindLabel(12345), nullptr);
}

TEST(PgEnumTable, MissingFileLeavesNoLabels) {
  testing::ScratchDirectory dir("enum_missing");
  testing::LogCapture log;
  pg_enum_Table enums(nullptr, 83);
  EXPECT_EQ(enums.ReadLabels(), 0);
  EXPECT_EQ(enums.FindLabel(500), nullptr);
  EXPECT_TRUE(log.Has("Cant find pg_enum, enum values will be NULL"));
}

TEST(PgEnumTable, FixtureLabelsThroughPassOne) {
  if (!testing::HaveFixtures()) GTEST_SKIP() << "fixtures not found under " << testing::SharedDir();
  testing::PassOne pass(testing::FixtureDir("pg83", "16585"));
  ASSERT_EQ(pass.status, 0);
  ASSERT_NE(vesk::Run().enums, nullptr);
  uint32_t mood = 0;
  TableReader& types = vesk::Run().types->reader();
  for (size_t i = 0; i < types.RowCount(); ++i) {
    const auto* type = static_cast<const TypeRecord*>(types.RowAt(i));
    if (std::string(type->typname) == "mood") mood = type->oid;
  }
  ASSERT_NE(mood, 0u);
  EXPECT_EQ(Strings(vesk::Run().enums->LabelsOf(mood)), (std::vector<std::string>{"sad", "ok", "happy"}));
}

TEST(PgEnumTable, An82DatabaseHasNone) {
  if (!testing::HaveFixtures()) GTEST_SKIP() << "fixtures not found under " << testing::SharedDir();
  testing::PassOne pass(testing::FixtureDir("pg82", "16388"));
  ASSERT_EQ(pass.status, 0);
  EXPECT_EQ(vesk::Run().enums, nullptr);
}

}  // namespace
}  // namespace vesk
