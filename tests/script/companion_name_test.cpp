// The names of a table's dead-version companion and of its added columns
// never meet a name the database already uses, nor outgrow the server's
// 63 bytes (a name the server cuts could meet one after all).
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "script/companion_name.h"

namespace vesk {
namespace {

TEST(CompanionName, FirstFreeNameWithinSixtyThreeBytes) {
  const std::string long62(62, 'a');
  // "é" is two bytes: a cut inside it would leave half a character.
  const std::string accented = std::string(57, 'b') + "\xC3\xA9" + "cc";
  struct Case {
    std::string table;
    std::set<std::string> taken;
    std::string expected;
  };
  const Case cases[] = {
      {"churn", {}, "churn_dead"},
      {"churn", {"churn_dead"}, "churn_dead2"},
      {"churn", {"churn_dead", "churn_dead2"}, "churn_dead3"},
      {long62, {}, std::string(58, 'a') + "_dead"},
      {long62, {std::string(58, 'a') + "_dead"}, std::string(57, 'a') + "_dead2"},
      {accented, {}, std::string(57, 'b') + "_dead"},
      {std::string(56, 'b') + "\xC3\xA9", {}, std::string(56, 'b') + "\xC3\xA9" + "_dead"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    const std::string name = CompanionName(c.table, [&](const std::string& n) { return c.taken.count(n) != 0; });
    EXPECT_EQ(name, c.expected);
    EXPECT_LE(name.size(), 63u);
  }
}

TEST(CompanionName, AddedColumnsStepAsideForTheTablesOwn) {
  EXPECT_EQ(DeadColumnPrefix({"id", "page", "reason"}), "dead_");
  EXPECT_EQ(DeadColumnPrefix({"id", "dead_reason"}), "_dead_");
  EXPECT_EQ(DeadColumnPrefix({"dead_page", "_dead_xmin"}), "__dead_");
}

}  // namespace
}  // namespace vesk
