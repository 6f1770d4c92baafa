// The array, geometric and network columns of the fixture databases, printed
// through the catalogs and the output dispatch, against the rows the original
// servers printed.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "common/fixture_files.h"
#include "common/pass_one_fixture.h"
#include "common/row_printer.h"
#include "support/recovery_run.h"

namespace vesk {
namespace {

using testing::ExpectedRows;
using testing::FixtureDir;
using testing::PassOne;
using testing::RowPrinter;

class FixtureValues : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (!testing::HaveFixtures()) GTEST_SKIP() << "fixtures not found under " << testing::SharedDir() << "/fixtures/";
  }
};

struct FixtureTables {
  const char* cluster;
  const char* database;
  uint32_t geometry, network, arrays;
};

const FixtureTables kFixtures[] = {
    {"pg82", "16388", 16400, 16405, 16407},
    {"pg83", "16585", 16600, 16606, 16612},
};

TEST_P(FixtureValues, TablesPrintExactlyAsTheServerDid) {
  std::string cluster = GetParam();
  const FixtureTables& f = cluster == "pg82" ? kFixtures[0] : kFixtures[1];
  PassOne pass(FixtureDir(cluster, f.database));
  ASSERT_EQ(pass.status, 0);
  ASSERT_EQ(vesk::Run().version, cluster == "pg82" ? 82 : 83);
  for (uint32_t relid : {f.geometry, f.network, f.arrays}) {
    RowPrinter printer;
    EXPECT_EQ(printer.PrintRelation(relid), ExpectedRows(cluster, relid)) << cluster << " table " << relid;
  }
}

INSTANTIATE_TEST_SUITE_P(Clusters, FixtureValues, ::testing::Values("pg82", "pg83"));

}  // namespace
}  // namespace vesk
