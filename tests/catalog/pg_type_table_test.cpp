#include <gtest/gtest.h>

#include <cstring>

#include "catalog/catalog_readers.h"
#include "catalog/recovered_table.h"
#include "catalog_test_util.h"

namespace vesk {
namespace {

using testing::ByRef;
using testing::ByValue;
using testing::NullValue;
using testing::StoredName;

// A pg_type row whose value at index k is 1000 + k (name at 0), laid out for
// the given layout's column count.
RowValues NumberedRow(const StoredName& name, size_t count) {
  RowValues v;
  v.push_back(ByRef(name.bytes.data()));
  for (size_t k = 1; k < count; ++k) v.push_back(ByValue(static_cast<uint32_t>(1000 + k)));
  return v;
}

struct LayoutCase {
  uint8_t version;
  size_t columns;
  // Index of each member's value in a row of the layout.
  size_t input, output, receive, send, analyze, align, storage, basetype, typmod, ndims;
};

class TypeLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(TypeLayoutTest, TakesEachMemberFromItsColumn) {
  const LayoutCase& c = GetParam();
  pg_type_Table table(c.version);
  StoredName name("widget");
  ASSERT_EQ(table.ProcessRow(NumberedRow(name, c.columns), 70000), 1);
  const TypeRecord* t = table.LookupTypeByOid(70000);
  ASSERT_NE(t, nullptr);
  EXPECT_STREQ(t->typname, "widget");
  EXPECT_EQ(t->typnamespace, 1001u);
  EXPECT_EQ(t->typowner, 1002u);
  EXPECT_EQ(t->typlen, 1003);
  EXPECT_TRUE(t->typbyval);
  EXPECT_EQ(t->typtype, static_cast<char>(1005 & 0xFF));
  EXPECT_EQ(t->typrelid, 1008u);
  EXPECT_EQ(t->typelem, 1009u);
  EXPECT_EQ(t->typinput, 1000 + c.input);
  EXPECT_EQ(t->typoutput, 1000 + c.output);
  EXPECT_EQ(t->typreceive, 1000 + c.receive);
  EXPECT_EQ(t->typsend, 1000 + c.send);
  EXPECT_EQ(t->typanalyze, 1000 + c.analyze);
  EXPECT_EQ(t->typalign, static_cast<char>((1000 + c.align) & 0xFF));
  EXPECT_EQ(t->typstorage, static_cast<char>((1000 + c.storage) & 0xFF));
  EXPECT_EQ(t->typbasetype, 1000 + c.basetype);
  EXPECT_EQ(t->typtypmod, static_cast<int32_t>(1000 + c.typmod));
  EXPECT_EQ(t->typndims, static_cast<int32_t>(1000 + c.ndims));
}

INSTANTIATE_TEST_SUITE_P(Layouts, TypeLayoutTest,
                         ::testing::Values(LayoutCase{82, 23, 10, 11, 12, 13, 14, 15, 16, 18, 19, 20},
                                           LayoutCase{83, 26, 11, 12, 13, 14, 17, 18, 19, 21, 22, 23}),
                         [](const auto& p) { return "v" + std::to_string(p.param.version); });

TEST(TypeTable, FirstRowOfAnOidWinsSilently) {
  pg_type_Table table(83);
  StoredName builtin("int4"), damaged("in\x01t4");
  EXPECT_EQ(table.ProcessRow(NumberedRow(builtin, 26), 23), 1);
  EXPECT_EQ(table.ProcessRow(NumberedRow(damaged, 26), 23), 0);
  EXPECT_STREQ(table.LookupTypeByOid(23)->typname, "int4");
  EXPECT_EQ(table.reader().RowCount(), 1u);
}

TEST(TypeTable, UnnamedTypesAreNumberedInReadingOrder) {
  pg_type_Table table(82);
  RowValues noName = {NullValue(), ByValue(2200)};
  EXPECT_EQ(table.ProcessRow(noName, 80001), 1);
  EXPECT_EQ(table.ProcessRow({}, 80002), 1);
  EXPECT_STREQ(table.LookupTypeByOid(80001)->typname, "some_recov_type_0");
  EXPECT_STREQ(table.LookupTypeByOid(80002)->typname, "some_recov_type_1");
}

TEST(TypeTable, LookupByRelidFindsTheFirstRowType) {
  pg_type_Table table(83);
  StoredName base("int4"), row("orders"), again("orders_copy");
  RowValues b = NumberedRow(base, 26);
  b[8] = ByValue(0);
  RowValues r = NumberedRow(row, 26);
  r[8] = ByValue(16500);
  RowValues r2 = NumberedRow(again, 26);
  r2[8] = ByValue(16500);
  table.ProcessRow(b, 23);
  table.ProcessRow(r, 16501);
  table.ProcessRow(r2, 16502);
  ASSERT_NE(table.LookupTypeByRelid(16500), nullptr);
  EXPECT_EQ(table.LookupTypeByRelid(16500)->oid, 16501u);
  EXPECT_EQ(table.LookupTypeByRelid(16499), nullptr);
  // No relation has OID 0: base types (typrelid 0) are never a table's type.
  EXPECT_EQ(table.LookupTypeByRelid(0), nullptr);
  EXPECT_EQ(table.LookupTypeByOid(99999), nullptr);
}

// A table whose row type the type catalog lost gets one made from its
// pg_class row, once; nothing is made over a type that exists, or without
// the two OIDs that tie the table to it.
TEST(TypeTable, StandInRowTypeOnlyWhereTheTableHasNone) {
  pg_type_Table table(83);
  StoredName row("orders");
  RowValues r = NumberedRow(row, 26);
  r[8] = ByValue(16500);
  table.ProcessRow(r, 16501);

  RecoveredTable lost;
  lost.oid = 16600;
  lost.reltype = 16601;
  lost.relnamespace = 2200;
  std::strcpy(lost.relname, "lost_rows");
  const TypeRecord* made = table.StandInRowType(lost);
  ASSERT_NE(made, nullptr);
  EXPECT_STREQ(made->typname, "lost_rows");
  EXPECT_EQ(made->typtype, 'c');
  EXPECT_EQ(made->typnamespace, 2200u);
  EXPECT_EQ(table.LookupTypeByOid(16601), made);
  EXPECT_EQ(table.LookupTypeByRelid(16600), made);
  EXPECT_EQ(table.StandInRowType(lost), nullptr);  // it has one now

  RecoveredTable kept = lost;
  kept.oid = 16500;  // its row type was read
  kept.reltype = 16700;
  EXPECT_EQ(table.StandInRowType(kept), nullptr);
  RecoveredTable noOid = lost;
  noOid.oid = 0;
  noOid.reltype = 16800;
  EXPECT_EQ(table.StandInRowType(noOid), nullptr);
  RecoveredTable noType = lost;
  noType.oid = 16900;
  noType.reltype = 0;
  EXPECT_EQ(table.StandInRowType(noType), nullptr);
}

}  // namespace
}  // namespace vesk
