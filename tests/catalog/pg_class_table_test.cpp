#include <gtest/gtest.h>

#include <cstring>

#include "catalog/catalog_readers.h"
#include "catalog_test_util.h"

namespace vesk {
namespace {

using testing::ByRef;
using testing::ByValue;
using testing::NullValue;
using testing::StoredName;
using testing::Unplaced;

// A pg_class row of 27 values: name, then k = 1 .. 26 as given.
RowValues ClassRow(const StoredName& name, uint32_t reltype, char relkind, const float* reltuples) {
  RowValues v(27, ByValue(0));
  v[0] = ByRef(name.bytes.data());
  for (uint32_t k = 1; k <= 24; ++k) v[k] = ByValue(100 + k);
  v[2] = ByValue(reltype);
  v[8] = ByRef(reltuples);
  v[11] = ByValue(1);
  v[12] = ByValue(0);
  v[13] = ByValue(static_cast<uint8_t>(relkind));
  v[14] = ByValue(0xFFFE);  // relnatts -2: the low 16 bits, signed
  v[25] = NullValue();
  v[26] = NullValue();
  return v;
}

class ClassTableTest : public ::testing::Test {
 protected:
  pg_class_Table table{"1259", 82};
  float tuples = 12.5f;
};

TEST_F(ClassTableTest, MapsEveryKeptColumn) {
  StoredName name("orders");
  ASSERT_EQ(table.ProcessRow(ClassRow(name, 16400, 'r', &tuples), 0), 1);
  const auto* t = static_cast<const RecoveredTable*>(table.reader().RowAt(0));
  EXPECT_STREQ(t->relname, "orders");
  EXPECT_EQ(t->relnamespace, 101u);
  EXPECT_EQ(t->reltype, 16400u);
  EXPECT_EQ(t->relowner, 103u);
  EXPECT_EQ(t->relam, 104u);
  EXPECT_EQ(t->relfilenode, 105u);
  EXPECT_EQ(t->reltablespace, 106u);
  EXPECT_EQ(t->relpages, 107);
  EXPECT_FLOAT_EQ(t->reltuples, 12.5f);
  EXPECT_EQ(t->reltoastrelid, 109u);
  EXPECT_EQ(t->reltoastidxid, 110u);
  EXPECT_TRUE(t->relhasindex);
  EXPECT_FALSE(t->relisshared);
  EXPECT_EQ(t->relkind, 'r');
  EXPECT_EQ(t->relnatts, -2);
  EXPECT_EQ(t->relchecks, 115);
  EXPECT_EQ(t->relrefs, 119);
  EXPECT_TRUE(t->relhasoids);
  EXPECT_TRUE(t->relhassubclass);
  EXPECT_EQ(t->relfrozenxid, 124u);
}

TEST_F(ClassTableTest, UnplacedNameDropsTheRowButANullNameDoesNot) {
  StoredName name("x");
  RowValues unplaced = ClassRow(name, 1, 'r', &tuples);
  unplaced[0] = Unplaced();
  EXPECT_EQ(table.ProcessRow(unplaced, 0), 0);
  RowValues nulled = ClassRow(name, 2, 'r', &tuples);
  nulled[0] = NullValue();
  EXPECT_EQ(table.ProcessRow(nulled, 0), 1);
  ASSERT_EQ(table.reader().RowCount(), 1u);
  EXPECT_STREQ(static_cast<const RecoveredTable*>(table.reader().RowAt(0))->relname, "");
}

TEST_F(ClassTableTest, ShortRowAndMissingFloatAreSafe) {
  StoredName name("short");
  RowValues v = ClassRow(name, 3, 'v', &tuples);
  v[8] = Unplaced();
  v.resize(10);
  EXPECT_EQ(table.ProcessRow(v, 0), 1);
  const auto* t = static_cast<const RecoveredTable*>(table.reader().RowAt(0));
  EXPECT_EQ(t->reltuples, 0.0f);
  EXPECT_EQ(t->relkind, 0);
}

TEST_F(ClassTableTest, FindTableByTypeReturnsTheFirstInFileOrder) {
  StoredName a("first"), b("second"), c("other");
  table.ProcessRow(ClassRow(a, 500, 'r', &tuples), 0);
  table.ProcessRow(ClassRow(b, 500, 'r', &tuples), 0);
  table.ProcessRow(ClassRow(c, 501, 'r', &tuples), 0);
  ASSERT_NE(table.FindTableByType(500), nullptr);
  EXPECT_STREQ(table.FindTableByType(500)->relname, "first");
  EXPECT_STREQ(table.FindTableByType(501)->relname, "other");
  EXPECT_EQ(table.FindTableByType(502), nullptr);
}

TEST_F(ClassTableTest, LookupDoesNotMoveAWalkInProgress) {
  StoredName a("a"), b("b");
  table.ProcessRow(ClassRow(a, 600, 'r', &tuples), 0);
  table.ProcessRow(ClassRow(b, 601, 'r', &tuples), 0);
  TableReader& r = table.reader();
  r.FirstRow();
  table.FindTableByType(601);
  EXPECT_STREQ(static_cast<const RecoveredTable*>(r.NextRow())->relname, "b");
}

}  // namespace
}  // namespace vesk
