#include "api/pass2.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace vesk {
namespace {

RecoveredTable Named(const char* name, uint32_t schema = 0) {
  RecoveredTable t;
  std::strncpy(t.relname, name, sizeof t.relname - 1);
  t.relnamespace = schema;
  return t;
}

TEST(Pass2Test, SystemTablesByCaseSensitivePrefix) {
  EXPECT_TRUE(IsSystemTable(Named("pg_class")));
  EXPECT_TRUE(IsSystemTable(Named("sql_data")));
  EXPECT_TRUE(IsSystemTable(Named("pg_")));
  EXPECT_FALSE(IsSystemTable(Named("Pg_x")));
  EXPECT_FALSE(IsSystemTable(Named("SQL_data")));
  EXPECT_FALSE(IsSystemTable(Named("pgx")));
  EXPECT_FALSE(IsSystemTable(Named("sql")));
  EXPECT_FALSE(IsSystemTable(Named("")));
  // In the catalog's own schemas the prefix marks a catalog; in public or a
  // user's schema it is only a name.
  EXPECT_TRUE(IsSystemTable(Named("pg_class", 11)));
  EXPECT_TRUE(IsSystemTable(Named("sql_features", 10621)));
  EXPECT_FALSE(IsSystemTable(Named("sql_data", 2200)));
  EXPECT_FALSE(IsSystemTable(Named("pg_anything", 16390)));
}

TEST(Pass2Test, ProgressSharesEightyFivePercentBetweenTables) {
  const struct {
    int tables;
    std::vector<int> percents;
  } cases[] = {
      {1, {100}},
      {3, {43, 71, 100}},
      // Truncating the running sum: the last table may show 99; the end of
      // the run sends 100.
      {7, {27, 39, 51, 63, 75, 87, 99}},
  };
  for (const auto& c : cases) {
    TableProgress progress(c.tables);
    std::vector<int> got;
    for (int i = 0; i < c.tables; ++i) got.push_back(progress.Next());
    EXPECT_EQ(got, c.percents) << c.tables << " tables";
  }
}

}  // namespace
}  // namespace vesk
