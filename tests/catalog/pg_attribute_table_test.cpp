#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "catalog/catalog_readers.h"
#include "catalog_test_util.h"

namespace vesk {
namespace {

using testing::ByRef;
using testing::ByValue;
using testing::NullValue;
using testing::StoredName;

// One pg_attribute row as the decoder hands it on (17 values).
struct AttRow {
  uint32_t relid;
  std::string name;  // empty: the value is null
  int16_t attnum;
  uint32_t typid = 23;
  int16_t attlen = 4;
  bool dropped = false;
  int32_t storedCacheOff = -1;
};

class AttributeTableTest : public ::testing::Test {
 protected:
  pg_attribute_Table table{"1249", 83};
  std::deque<StoredName> names;  // stable addresses for the rows' name values

  int Feed(const AttRow& r) {
    names.emplace_back(r.name);
    RowValues v = {ByValue(r.relid),
                   r.name.empty() ? NullValue() : ByRef(names.back().bytes.data()),
                   ByValue(r.typid),
                   ByValue(static_cast<uint32_t>(-1)),
                   ByValue(static_cast<uint16_t>(r.attlen)),
                   ByValue(static_cast<uint16_t>(r.attnum)),
                   ByValue(0),
                   ByValue(static_cast<uint32_t>(r.storedCacheOff)),
                   ByValue(static_cast<uint32_t>(-1)),
                   ByValue(1),
                   ByValue('p'),
                   ByValue('i'),
                   ByValue(0),
                   ByValue(0),
                   ByValue(r.dropped ? 1 : 0),
                   ByValue(1),
                   ByValue(0)};
    return table.ProcessRow(v, 0);
  }

  std::vector<int> Attnums(uint32_t relid, int32_t* result) {
    std::vector<CatalogColumnDesc*> cols;
    *result = table.CollectColumns(relid, cols);
    std::vector<int> out;
    for (auto* c : cols) out.push_back(c->attnum);
    return out;
  }
};

TEST_F(AttributeTableTest, KeepsEveryMemberOfTheRow) {
  ASSERT_EQ(Feed({500, "price", 3, 1700, -1, true}), 1);
  std::vector<CatalogColumnDesc*> cols;
  table.CollectColumns(500, cols);
  ASSERT_EQ(cols.size(), 1u);  // attnum 3 of one: kept behind the (empty) slots
  const CatalogColumnDesc& c = *cols[0];
  EXPECT_EQ(c.attrelid, 500u);
  EXPECT_STREQ(c.attname, "price");
  EXPECT_EQ(c.atttypid, 1700u);
  EXPECT_EQ(c.attlen, -1);
  EXPECT_EQ(c.attnum, 3);
  EXPECT_EQ(c.attstattarget, -1);
  EXPECT_EQ(c.atttypmod, -1);
  EXPECT_TRUE(c.attbyval);
  EXPECT_EQ(c.attstorage, 'p');
  EXPECT_EQ(c.attalign, 'i');
  EXPECT_TRUE(c.attisdropped);
  EXPECT_TRUE(c.attislocal);
}

TEST_F(AttributeTableTest, StoredCacheOffsetIsNeverTrusted) {
  // A damaged attcacheoff would place this column at byte 40 of every row.
  Feed({500, "a", 1, 23, 4, false, 40});
  std::vector<CatalogColumnDesc*> cols;
  ASSERT_EQ(table.CollectColumns(500, cols), -1);
  EXPECT_EQ(cols[0]->attcacheoff, -1);
}

struct CollectCase {
  const char* what;
  std::vector<int16_t> attnums;  // rows of relation 700, in file order
  std::vector<int> expected;     // attnums of the list, in order
  int32_t result;
};

class CollectColumnsTest : public AttributeTableTest, public ::testing::WithParamInterface<CollectCase> {};

TEST_P(CollectColumnsTest, RepairsTheColumnList) {
  const CollectCase& c = GetParam();
  // Another relation's rows interleaved must not disturb anything.
  Feed({701, "other", 1});
  for (int16_t n : c.attnums) {
    Feed({700, "c" + std::to_string(n), n});
    Feed({701, "other", static_cast<int16_t>(n + 1)});
  }
  int32_t result = 0;
  EXPECT_EQ(Attnums(700, &result), c.expected) << c.what;
  EXPECT_EQ(result, c.result) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CollectColumnsTest,
    ::testing::Values(
        CollectCase{"in order", {1, 2, 3}, {1, 2, 3}, -1},
        CollectCase{"out of file order", {3, 1, 2}, {1, 2, 3}, -1},
        CollectCase{"system columns left out", {-7, 1, 0, -1, 2}, {1, 2}, -1},
        CollectCase{"gap: 1, 2, 4", {1, 2, 4}, {1, 2, 4}, 3},
        CollectCase{"gap at the start", {2, 3}, {2, 3}, 1},
        CollectCase{"duplicate attnum: the later one wins", {1, 1, 2}, {1, 2}, 3},
        CollectCase{"wrong attnums appended in file order", {9, 1, 7}, {1, 9, 7}, 2},
        CollectCase{"no rows", {}, {}, -1}),
    [](const auto& p) { return "case" + std::to_string(p.index); });

TEST_F(AttributeTableTest, LaterDuplicateReplacesEarlierOne) {
  Feed({800, "old", 1});
  Feed({800, "new", 1});
  Feed({800, "b", 2});
  std::vector<CatalogColumnDesc*> cols;
  EXPECT_EQ(table.CollectColumns(800, cols), 3);
  ASSERT_EQ(cols.size(), 2u);
  EXPECT_STREQ(cols[0]->attname, "new");
}

TEST_F(AttributeTableTest, DroppedColumnsKeepTheirPlace) {
  Feed({900, "a", 1});
  Feed({900, "........pg.dropped.2........", 2, 0, 4, true});
  Feed({900, "c", 3});
  std::vector<CatalogColumnDesc*> cols;
  EXPECT_EQ(table.CollectColumns(900, cols), -1);
  ASSERT_EQ(cols.size(), 3u);
  EXPECT_TRUE(cols[1]->attisdropped);
}

TEST_F(AttributeTableTest, GeneratedNamesCountAcrossTables) {
  Feed({1000, "", 1});
  Feed({1000, "b", 2});
  Feed({1001, "", 1});
  std::vector<CatalogColumnDesc*> first, second;
  table.CollectColumns(1000, first);
  table.CollectColumns(1001, second);
  EXPECT_STREQ(first[0]->attname, "some_recov_attr_0");
  EXPECT_STREQ(second[0]->attname, "some_recov_attr_1");
}

TEST_F(AttributeTableTest, FillsAListThatWasNotEmpty) {
  Feed({1100, "a", 1});
  CatalogColumnDesc stale;
  std::vector<CatalogColumnDesc*> cols = {&stale, &stale};
  EXPECT_EQ(table.CollectColumns(1100, cols), -1);
  ASSERT_EQ(cols.size(), 1u);
  EXPECT_STREQ(cols[0]->attname, "a");
}

TEST_F(AttributeTableTest, ShortRowsAreKeptWithWhatTheyHave) {
  StoredName name("half");
  RowValues v = {ByValue(1200), ByRef(name.bytes.data()), ByValue(25), ByValue(0), ByValue(0xFFFF),
                 ByValue(1)};
  EXPECT_EQ(table.ProcessRow(v, 0), 1);
  std::vector<CatalogColumnDesc*> cols;
  EXPECT_EQ(table.CollectColumns(1200, cols), -1);
  ASSERT_EQ(cols.size(), 1u);
  EXPECT_EQ(cols[0]->attlen, -1);
  EXPECT_EQ(cols[0]->attcacheoff, -1);
}

TEST_F(AttributeTableTest, UnterminatedNameIsCutInsideItsValue) {
  std::array<char, 64> full;
  full.fill('x');
  RowValues v = {ByValue(1300), ByRef(full.data()), ByValue(25), ByValue(0), ByValue(4), ByValue(1)};
  table.ProcessRow(v, 0);
  std::vector<CatalogColumnDesc*> cols;
  table.CollectColumns(1300, cols);
  ASSERT_EQ(cols.size(), 1u);
  EXPECT_EQ(std::string(cols[0]->attname), std::string(63, 'x'));
}

}  // namespace
}  // namespace vesk
