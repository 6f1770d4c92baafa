// The corruption suite on copies of the real fixture databases: pages of
// user tables, TOAST relations and catalogs are damaged in a temporary copy,
// and every row on the undamaged pages must still come out, statement for
// statement, as the clean cut of the same pages gives it.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <regex>
#include <string>

#include "damage/damage_harness.h"
#include "support/temp_dir.h"
#include "vesk/veskdll.h"

namespace vesk::damage {
namespace {

namespace fs = std::filesystem;

struct Fixture {
  const char* name;
  const char* directory;  // below the shared fixtures
  const char* dbOid;
};
const Fixture kFixtures[] = {{"pg82", "pg82/base/16388", "16388"}, {"pg83", "pg83/base/16585", "16585"}};

std::string FixtureDir(const Fixture& f) { return std::string(VESK_SHARED_DIR) + "/fixtures/" + f.directory; }

// The file number of a table (or of its TOAST relation) as a run's log names it.
std::string FileOf(const std::string& log, const std::string& table, bool toast) {
  size_t at = log.find("Reading table " + table + "\n");
  if (at == std::string::npos) return {};
  std::smatch m;
  std::string rest = log.substr(at);
  std::regex pattern = toast ? std::regex("TOAST relation ([0-9]+): [0-9]+ chunks indexed")
                             : std::regex("Table stored in [^\n]*/([0-9]+)\n");
  return std::regex_search(rest, m, pattern) ? m[1].str() : std::string();
}

using Edit = std::function<void(const std::string& dir, const std::string& log)>;

struct Case {
  const char* name;
  Edit damage;
  Edit reference;            // the clean cut of what `damage` touched; null: none
  std::string keepCountOf;   // a table whose row count must not change
};

Edit OnTable(const char* table, bool toast, std::function<void(const std::string& file)> act) {
  return [=](const std::string& dir, const std::string& log) {
    std::string file = FileOf(log, table, toast);
    ASSERT_FALSE(file.empty()) << table;
    act(dir + "/" + file);
  };
}

Edit All(std::vector<Edit> edits) {
  return [=](const std::string& dir, const std::string& log) {
    for (const Edit& e : edits) e(dir, log);
  };
}

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      // Three tables hit at once (one run instead of three): random bytes
      // over the tuples of a bulk page, over churn's line pointers, and over
      // a whole page of orders.
      {"RandomBytesOverPagesOfThreeTables",
       All({OnTable("bulk", false, [](const std::string& f) { OverwriteRandom(f, 10, 3000, 5192, 1); }),
            OnTable("churn", false, [](const std::string& f) { OverwriteRandom(f, 0, 24, 300, 2); }),
            OnTable("orders", false, [](const std::string& f) { OverwriteRandom(f, 1, 0, kPage, 3); })}),
       All({OnTable("bulk", false, [](const std::string& f) { ZeroPage(f, 10); }),
            OnTable("churn", false, [](const std::string& f) { ZeroPage(f, 0); }),
            OnTable("orders", false, [](const std::string& f) { ZeroPage(f, 1); })}),
       ""},
      {"BulkCutInsidePage",
       OnTable("bulk", false, [](const std::string& f) { fs::resize_file(f, 100 * kPage + 5000); }),
       OnTable("bulk", false, [](const std::string& f) { fs::resize_file(f, 100 * kPage); }), ""},
      {"ToastRelationMissing", OnTable("toasted", true, [](const std::string& f) { fs::remove(f); }), nullptr,
       "\"public\".\"toasted\""},
      {"ToastChunksMissing", OnTable("toasted", true, [](const std::string& f) { ZeroPage(f, 1); }), nullptr,
       "\"public\".\"toasted\""},
      {"ToastPageGarbage", OnTable("toasted", true, [](const std::string& f) { OverwriteRandom(f, 2, 0, kPage, 4); }),
       nullptr, "\"public\".\"toasted\""},
      {"AttributePageGarbage",
       [](const std::string& dir, const std::string&) { OverwriteRandom(dir + "/1249", 3, 0, kPage, 5); }, nullptr,
       ""},
      {"ClassPagePartlyGarbage",
       [](const std::string& dir, const std::string&) { OverwriteRandom(dir + "/1259", 0, 4000, 1000, 6); },
       nullptr, ""},
  };
  return cases;
}

class FixtureDamage : public ::testing::TestWithParam<std::tuple<size_t, size_t>> {
 protected:
  void SetUp() override {
    if (!fs::exists(FixtureDir(kFixtures[0]))) GTEST_SKIP() << "no fixtures at " << VESK_SHARED_DIR;
  }
  static void TearDownTestSuite() { work_.reset(); }
  static testing::TempDir& Work() {
    if (!work_) work_ = std::make_unique<testing::TempDir>();
    return *work_;
  }
  // A fresh copy of the fixture, named like the original directory.
  static std::string CopyOf(const Fixture& f, const std::string& label) {
    std::string dir = Work().path() + "/" + label + "/" + f.dbOid;
    CopyDirectory(FixtureDir(f), dir);
    return dir;
  }
  static const Recovery& Baseline(size_t fixture) {
    static std::map<size_t, Recovery> baselines;
    auto it = baselines.find(fixture);
    if (it != baselines.end()) return it->second;
    return baselines[fixture] = RecoverDirectory(FixtureDir(kFixtures[fixture]), Work().path());
  }
  static std::unique_ptr<testing::TempDir> work_;
  testing::ScopedTmpDir tmp_{Work().path()};
};
std::unique_ptr<testing::TempDir> FixtureDamage::work_;

TEST_P(FixtureDamage, RecoversEveryRowOnUndamagedPages) {
  const auto [fixture, index] = GetParam();
  const Fixture& f = kFixtures[fixture];
  const Case& c = Cases()[index];
  const Recovery& baseline = Baseline(fixture);
  ASSERT_EQ(baseline.status, VESK_OK);

  std::string label = std::string(f.name) + "-" + c.name;
  std::string dir = CopyOf(f, label);
  c.damage(dir, baseline.log);
  Recovery damaged = RecoverDirectory(dir, Work().path());
  EXPECT_FALSE(damaged.hung);
  EXPECT_EQ(damaged.status, VESK_OK);

  if (c.reference) {
    std::string refDir = CopyOf(f, label + "-reference");
    c.reference(refDir, baseline.log);
    Recovery reference = RecoverDirectory(refDir, Work().path());
    EXPECT_LT(reference.TotalInserts(), baseline.TotalInserts());
    std::vector<std::string> missing = MissingStatements(reference, damaged);
    const size_t expected = reference.TotalInserts();
    std::cout << "[ damage ] " << label << ": " << expected - missing.size() << "/" << expected
              << " rows on undamaged pages recovered (" << baseline.TotalInserts() - expected
              << " rows on the damaged pages)\n";
    EXPECT_TRUE(missing.empty()) << missing.size() << " rows lost, first: " << missing.front();
    std::vector<std::string> invented = InventedStatements(baseline, damaged);
    EXPECT_TRUE(invented.empty()) << invented.size() << " rows made up, first: " << invented.front();
  }
  if (!c.keepCountOf.empty()) {
    EXPECT_EQ(damaged.InsertCount(c.keepCountOf), baseline.InsertCount(c.keepCountOf));
    // Every other table comes out exactly as before.
    Recovery others = baseline;
    others.inserts.erase(c.keepCountOf);
    EXPECT_TRUE(MissingStatements(others, damaged).empty());
  }
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<size_t, size_t>>& info) {
  return std::string(kFixtures[std::get<0>(info.param)].name) + "_" + Cases()[std::get<1>(info.param)].name;
}

INSTANTIATE_TEST_SUITE_P(Cases, FixtureDamage,
                         ::testing::Combine(::testing::Range<size_t>(0, 2), ::testing::Range<size_t>(0, Cases().size())),
                         CaseName);

}  // namespace
}  // namespace vesk::damage
