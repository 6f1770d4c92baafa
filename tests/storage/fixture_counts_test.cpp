// pg_class of the real fixture databases, read through both layouts: the
// right layout keeps every live relation the server reported, the wrong one
// keeps fewer, which is what the layout detection relies on.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>
#include <cstdio>

#include "catalog/static_descriptors.h"
#include "storage/table_reader.h"
#include "support/recovery_run.h"

namespace vesk {
namespace {

struct CountingHandler : pg_some_Table {
  int rows = 0;
  int named = 0;
  int ProcessRow(const RowValues& values, uint32_t) override {
    ++rows;
    if (!values.empty() && !values[0].isnull && values[0].datum != 0) ++named;
    return 1;
  }
};

std::string FixtureDir(const char* relative) {
  return std::string(VESK_SHARED_DIR) + "/fixtures/" + relative + "/";
}

template <typename Reader>
int CountPgClassRows(const std::string& dir, int* named = nullptr) {
  Run().databaseDirectory = dir;
  CountingHandler handler;
  Reader reader("1259", &handler);
  reader.cacheRows = false;
  FillStaticColumns(reader.columns, StaticCatalog::kPgClass);
  EXPECT_EQ(reader.ReadTable(), 0);
  EXPECT_EQ(reader.rowsRecovered, handler.rows);
  if (named != nullptr) *named = handler.named;
  return handler.rows;
}

struct FixtureCase {
  const char* dir;
  int rows82;
  int rows83;
  int expectedLayout;
};

class PgClassFixture : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(PgClassFixture, RightLayoutKeepsEveryLiveRelation) {
  const FixtureCase& c = GetParam();
  const std::string dir = FixtureDir(c.dir);
  if (!std::filesystem::exists(dir + "1259")) GTEST_SKIP() << "fixture " << dir << " not present";
  int named82 = 0;
  int named83 = 0;
  const int rows82 = CountPgClassRows<TableReader82>(dir, &named82);
  const int rows83 = CountPgClassRows<TableReader83>(dir, &named83);
  std::printf("%s: %d rows as 8.2, %d rows as 8.3\n", c.dir, rows82, rows83);
  EXPECT_EQ(rows82, c.rows82);
  EXPECT_EQ(rows83, c.rows83);
  const int detected = rows83 > rows82 ? 83 : 82;
  EXPECT_EQ(detected, c.expectedLayout);
  vesk::Run().databaseDirectory.clear();
}

TEST(PgClassFixture83, ImplausiblePdLowerSkipsEveryPage) {
  // With pd_lower made implausible on every page no page is walked on a
  // guess: every page is counted as skipped and no row comes out.
  const std::string file = FixtureDir("pg83/base/16585") + "1259";
  if (!std::filesystem::exists(file)) GTEST_SKIP() << "fixture " << file << " not present";
  std::vector<uint8_t> image(std::filesystem::file_size(file));
  std::FILE* f = std::fopen(file.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::fread(image.data(), 1, image.size(), f), image.size());
  std::fclose(f);
  for (size_t page = 0; page + kPageSize <= image.size(); page += kPageSize) {
    image[page + 12] = 0;
    image[page + 13] = 0;
  }
  CountingHandler handler;
  TableReader83 reader(&handler);
  reader.cacheRows = false;
  FillStaticColumns(reader.columns, StaticCatalog::kPgClass);
  reader.SetMemoryImage(image.data(), image.size());
  EXPECT_EQ(reader.ReadTable(), 0);
  EXPECT_EQ(handler.rows, 0);
  EXPECT_EQ(reader.pagesSkipped, static_cast<int64_t>(image.size() / kPageSize));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, PgClassFixture,
                         ::testing::Values(FixtureCase{"pg82/base/16388", 248, 0, 82},
                                           FixtureCase{"pg83/base/16585", 0, 279, 83}));

}  // namespace
}  // namespace vesk
