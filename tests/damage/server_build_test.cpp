// The synthetic database written as each server build would have written it
// (32-bit alignment, integer date/time storage, both), recovered with that
// build named in the options, gives exactly the statements of the common
// 64-bit float build: every page, catalog row, array and date/time value.
#include <gtest/gtest.h>

#include <string>

#include "damage/damage_harness.h"
#include "damage/synthetic_database.h"
#include "support/temp_dir.h"
#include "vesk/veskdll.h"

namespace vesk::damage {
namespace {

namespace hb = heapbuilder;

struct Variant {
  const char* name;
  hb::ServerBuild build;
};

VeskOptions OptionsFor(const hb::ServerBuild& build) {
  VeskOptions options{};
  options.size = sizeof options;
  options.version = VESK_OPTIONS_VERSION;
  options.maxAlign = static_cast<int32_t>(build.maxAlign);
  options.datetimeStorage = build.integerDatetimes ? VESK_DATETIME_INTEGER : VESK_DATETIME_FLOAT;
  return options;
}

TEST(ServerBuildRecovery, EveryBuildGivesTheStatementsOfTheCommonOne) {
  const Variant variants[] = {{"32-bit", hb::ServerBuild::Bits32()},
                              {"integer date/time", hb::ServerBuild{8, 8, true}},
                              {"32-bit integer date/time", hb::ServerBuild{4, 4, true}}};
  testing::TempDir work;
  testing::ScopedTmpDir tmp(work.path());
  for (int version : {82, 83}) {
    const std::string common = work.path() + "/common" + std::to_string(version);
    ASSERT_TRUE(WriteSyntheticDatabase(version, common));
    const Recovery expected = RecoverDirectory(common, work.path());
    ASSERT_EQ(expected.status, VESK_OK);
    ASSERT_EQ(expected.InsertCount(kCustomers), static_cast<size_t>(kCustomerRows));
    for (const Variant& v : variants) {
      const std::string dir = work.path() + "/" + std::to_string(version) + v.name;
      ASSERT_TRUE(WriteSyntheticDatabase(version, dir, nullptr, v.build));
      const VeskOptions options = OptionsFor(v.build);
      const Recovery got = RecoverDirectory(dir, work.path(), 120, &options);
      EXPECT_EQ(got.status, VESK_OK) << version << " " << v.name;
      EXPECT_EQ(got.inserts, expected.inserts) << version << " " << v.name;
    }
  }
}

}  // namespace
}  // namespace vesk::damage
