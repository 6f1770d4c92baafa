// Opening a relation by its OID through hand-fed catalog readers.
#include <gtest/gtest.h>

#include <deque>

#include "catalog/catalog_readers.h"
#include "catalog_test_util.h"

namespace vesk {
namespace {

using testing::ByRef;
using testing::ByValue;
using testing::NullValue;
using testing::StoredName;

constexpr uint32_t kRelid = 16600;
constexpr uint32_t kRowType = 16602;
constexpr uint32_t kFileNode = 16777;  // rewritten: not the OID

class OpenRelationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RecoveryRun& run = vesk::Run();
    saved_ = run.databaseDirectory;
    run.databaseDirectory = "/data/base/1/";
    run.classes = &classes;
    run.attributes = &attributes;
    run.types = &types;
  }
  void TearDown() override {
    RecoveryRun& run = vesk::Run();
    run.databaseDirectory = saved_;
    run.classes = nullptr;
    run.attributes = nullptr;
    run.types = nullptr;
  }

  void AddType(uint32_t oid, const char* name, uint32_t relid) {
    names.emplace_back(name);
    RowValues v(26, ByValue(0));
    v[0] = ByRef(names.back().bytes.data());
    v[8] = ByValue(relid);
    types.ProcessRow(v, oid);
  }
  void AddClass(const char* name, uint32_t reltype, uint32_t filenode) {
    names.emplace_back(name);
    RowValues v(27, ByValue(0));
    v[0] = ByRef(names.back().bytes.data());
    v[2] = ByValue(reltype);
    v[5] = ByValue(filenode);
    v[8] = NullValue();
    v[13] = ByValue('r');
    classes.ProcessRow(v, 0);
  }
  void AddColumn(uint32_t relid, const char* name, int16_t attnum) {
    names.emplace_back(name);
    RowValues v(17, ByValue(0));
    v[0] = ByValue(relid);
    v[1] = ByRef(names.back().bytes.data());
    v[4] = ByValue(4);
    v[5] = ByValue(static_cast<uint16_t>(attnum));
    attributes.ProcessRow(v, 0);
  }

  pg_class_Table classes{"1259", 83};
  pg_attribute_Table attributes{"1249", 83};
  pg_type_Table types{83};
  std::deque<StoredName> names;
  std::string saved_;
};

TEST_F(OpenRelationTest, FillsPathNameAndColumns) {
  AddType(kRowType, "orders", kRelid);
  AddClass("orders", kRowType, kFileNode);
  AddColumn(kRelid, "id", 1);
  AddColumn(kRelid, "total", 2);
  auto reader = OpenRelationById(kRelid, nullptr, 83);
  EXPECT_NE(dynamic_cast<TableReader83*>(reader.get()), nullptr);
  EXPECT_EQ(reader->path, "/data/base/1/16777");
  EXPECT_STREQ(reader->tableName, "orders");
  ASSERT_NE(reader->typeRecord, nullptr);
  EXPECT_EQ(reader->typeRecord->oid, kRowType);
  ASSERT_NE(reader->classRecord, nullptr);
  ASSERT_EQ(reader->columns.size(), 2u);
  EXPECT_STREQ(reader->columns[1]->attname, "total");
  EXPECT_EQ(reader->columnLimit, -1);
  EXPECT_TRUE(reader->cacheRows);
}

TEST_F(OpenRelationTest, MissingColumnLimitsDecoding) {
  AddType(kRowType, "gappy", kRelid);
  AddClass("gappy", kRowType, kFileNode);
  AddColumn(kRelid, "a", 1);
  AddColumn(kRelid, "c", 3);
  AddColumn(kRelid, "d", 4);
  auto reader = OpenRelationById(kRelid, nullptr, 82);
  EXPECT_NE(dynamic_cast<TableReader82*>(reader.get()), nullptr);
  EXPECT_EQ(reader->columnLimit, 2);
  ASSERT_EQ(reader->columns.size(), 3u);
}

TEST_F(OpenRelationTest, UnknownRowTypeGivesAnEmptyReader) {
  AddClass("orphan", kRowType, kFileNode);
  auto reader = OpenRelationById(kRelid, nullptr, 83);
  EXPECT_EQ(reader->path, "");
  EXPECT_STREQ(reader->tableName, "");
  EXPECT_TRUE(reader->columns.empty());
  EXPECT_EQ(reader->typeRecord, nullptr);
  EXPECT_EQ(reader->ReadTable(), 0);
}

TEST_F(OpenRelationTest, MissingClassRowKeepsOnlyTheType) {
  AddType(kRowType, "classless", kRelid);
  AddColumn(kRelid, "a", 1);
  auto reader = OpenRelationById(kRelid, nullptr, 83);
  ASSERT_NE(reader->typeRecord, nullptr);
  EXPECT_EQ(reader->classRecord, nullptr);
  EXPECT_EQ(reader->path, "");
  EXPECT_TRUE(reader->columns.empty());
}

TEST(OpenRelation, WithoutCatalogsGivesAnEmptyReader) {
  auto reader = OpenRelationById(16600, nullptr, 83);
  EXPECT_EQ(reader->path, "");
  EXPECT_TRUE(reader->columns.empty());
}

}  // namespace
}  // namespace vesk
