// Every user table of the real fixture databases, read with the columns
// their own pg_attribute describes: the row counts must be exactly the
// server's, including rows locked by SELECT ... FOR UPDATE and rows stored
// before columns were added.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>

#include "catalog/static_descriptors.h"
#include "common/fixture_files.h"
#include "storage/table_reader.h"
#include "storage_test_support.h"

namespace vesk::storage_test {
namespace {

struct ClassRows : pg_some_Table {
  std::map<uint32_t, uint32_t> fileOf;  // pg_class row OID -> relfilenode
  int ProcessRow(const RowValues& v, uint32_t oid) override {
    if (v.size() > 5 && !v[5].isnull) fileOf[oid] = static_cast<uint32_t>(v[5].datum);
    return 1;
  }
};

struct AttributeRows : pg_some_Table {
  std::map<uint32_t, std::vector<CatalogColumnDesc>> columnsOf;
  int ProcessRow(const RowValues& v, uint32_t) override {
    if (v.size() < 12) return 0;
    for (size_t k : {0, 1, 4, 5, 9, 11}) {
      if (v[k].isnull || (k == 1 && v[k].datum == 0)) return 0;
    }
    CatalogColumnDesc d;
    d.attrelid = static_cast<uint32_t>(v[0].datum);
    std::memcpy(d.attname, DatumPointer(v[1].datum), sizeof d.attname - 1);
    d.attlen = static_cast<int16_t>(v[4].datum);
    d.attnum = static_cast<int16_t>(v[5].datum);
    d.attbyval = v[9].datum != 0;
    d.attalign = static_cast<char>(v[11].datum);
    if (d.attnum > 0) columnsOf[d.attrelid].push_back(d);
    return 1;
  }
};

// Keeps the first two by-value int4 columns of each row (0 when null).
struct TableRows : pg_some_Table {
  std::vector<std::pair<int64_t, int64_t>> keys;
  std::vector<size_t> nullCounts;
  int ProcessRow(const RowValues& v, uint32_t) override {
    auto at = [&](size_t i) -> int64_t { return i < v.size() && !v[i].isnull ? static_cast<int32_t>(v[i].datum) : -1; };
    keys.emplace_back(at(0), at(1));
    nullCounts.push_back(static_cast<size_t>(std::count_if(v.begin(), v.end(), [](const AttrValue& a) { return a.isnull; })));
    return 1;
  }
};

struct Database {
  const char* version;
  const char* dir;
  bool is83;
  int tables;
};

class FixtureTables : public ::testing::TestWithParam<Database> {
 protected:
  std::unique_ptr<TableReader> Reader(const std::string& file, pg_some_Table* owner) const {
    if (GetParam().is83) return std::make_unique<TableReader83>(file.c_str(), owner);
    return std::make_unique<TableReader82>(file.c_str(), owner);
  }
  LogCapture log_;
};

TEST_P(FixtureTables, EveryTableHasTheServersRowCount) {
  const Database& db = GetParam();
  const std::string root = testing::ClusterDir(db.version);
  const std::string dir = root + "/" + db.dir + "/";
  if (!std::filesystem::exists(dir + "1259")) GTEST_SKIP() << "fixture " << dir << " not present";
  vesk::Run().databaseDirectory = dir;

  ClassRows classes;
  auto classReader = Reader("1259", &classes);
  classReader->cacheRows = false;
  FillStaticColumns(classReader->columns, StaticCatalog::kPgClass);
  ASSERT_EQ(classReader->ReadTable(), 0);
  AttributeRows attributes;
  auto attributeReader = Reader("1249", &attributes);
  attributeReader->cacheRows = false;
  FillStaticColumns(attributeReader->columns, StaticCatalog::kPgAttribute);
  ASSERT_EQ(attributeReader->ReadTable(), 0);

  int tables = 0;
  for (const testing::FixtureTable& table : testing::FixtureTables(db.version)) {
    const uint32_t oid = table.oid;
    const std::string& schema = table.schema;
    const std::string& name = table.table;
    ASSERT_TRUE(classes.fileOf.count(oid)) << name;
    std::vector<CatalogColumnDesc>& cols = attributes.columnsOf[oid];
    std::sort(cols.begin(), cols.end(), [](const auto& a, const auto& b) { return a.attnum < b.attnum; });
    TableRows rows;
    auto reader = Reader(std::to_string(classes.fileOf[oid]), &rows);
    reader->cacheRows = false;
    for (CatalogColumnDesc& d : cols) reader->columns.push_back(&d);
    ASSERT_EQ(reader->ReadTable(), 0);
    EXPECT_EQ(static_cast<int>(rows.keys.size()), table.rows) << schema << "." << name;
    ++tables;

    if (name == "churn") {
      for (int locked : {11, 12, 13}) {
        EXPECT_EQ(std::count_if(rows.keys.begin(), rows.keys.end(), [&](const auto& k) { return k.first == locked; }), 1)
            << "churn row " << locked;
      }
    }
    if (name == "evolved") {
      // a, dropped b, c, d, e: rows 1 to 3 were stored with three columns.
      for (size_t i = 0; i < rows.keys.size(); ++i) {
        if (rows.keys[i].first >= 1 && rows.keys[i].first <= 3) {
          EXPECT_EQ(rows.nullCounts[i], 2u + (rows.keys[i].second == -1 ? 1u : 0u)) << "evolved row " << rows.keys[i].first;
        }
      }
    }
  }
  EXPECT_EQ(tables, db.tables);
  EXPECT_FALSE(log_.Has("Wrong length for attr"));
  EXPECT_FALSE(log_.Has("Wrong offset"));
  vesk::Run().databaseDirectory.clear();
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FixtureTables,
                         ::testing::Values(Database{"pg82", "base/16388", false, 18},
                                           Database{"pg83", "base/16585", true, 21}),
                         [](const ::testing::TestParamInfo<Database>& p) { return std::string(p.param.version); });

}  // namespace
}  // namespace vesk::storage_test
