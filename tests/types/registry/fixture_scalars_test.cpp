// The scalar tables of the fixture databases printed through the catalogs and
// the dispatch, against the rows the original servers printed. Where this
// system deliberately prints another text that loads to the same value
// (escaped 8.2 texts, true/false, the 8.2 bit literal, 8.3 money without its
// currency symbol) the text is mapped back to the server's before comparing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/fixture_files.h"
#include "common/pass_one_fixture.h"
#include "common/record_text.h"
#include "common/row_printer.h"
#include "support/recovery_run.h"
#include "types/registry/type_output.h"

namespace vesk {
namespace {

using testing::FirstFields;
using testing::FixtureDir;
using testing::PassOne;

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) ++i;
    out += text[i];
  }
  return out;
}

// X'ACF'::bit(12) -> 101011001111
std::string BitsOfHexLiteral(const std::string& text) {
  size_t close = text.find('\'', 2);
  int count = std::stoi(text.substr(text.find("bit(") + 4));
  std::string bits;
  for (size_t i = 2; i < close; ++i) {
    int nibble = std::stoi(text.substr(i, 1), nullptr, 16);
    for (int b = 3; b >= 0; --b) bits += (nibble >> b) & 1 ? '1' : '0';
  }
  return bits.substr(0, static_cast<size_t>(count));
}

// Maps the texts this system prints on purpose back to the server's.
class ServerTextPrinter : public testing::RowPrinter {
 public:
  using RowPrinter::RowPrinter;

 protected:
  std::string ServerText(uint32_t typeOid, const char* text) const override {
    uint8_t version = vesk::Run().version;
    std::string s = text;
    if (OutputIsEscaped(version, typeOid)) s = Unescape(s);
    switch (ResolveDomainType(typeOid)) {
      case 16:
        return s == "true" ? "t" : "f";
      case 1560:
        return version == 83 ? s : BitsOfHexLiteral(s);
      case 790:
        return version == 83 ? (s[0] == '-' ? "-$" + s.substr(1) : "$" + s) : s;
      default:
        return s;
    }
  }
};

// Table name -> relation OID, from the fixture's table list.
std::map<std::string, uint32_t> TableOids(const std::string& cluster) {
  std::map<std::string, uint32_t> oids;
  for (const testing::FixtureTable& t : testing::FixtureTables(cluster)) oids[t.table] = t.oid;
  return oids;
}

std::vector<std::string> ExpectedRows(const std::string& cluster, uint32_t relid, size_t fields) {
  std::vector<std::string> rows = testing::ExpectedRows(cluster, relid);
  for (std::string& row : rows) row = FirstFields(row, fields);
  std::sort(rows.begin(), rows.end());
  return rows;
}

struct Cluster {
  const char* name;
  const char* database;
};

class FixtureScalars : public ::testing::TestWithParam<Cluster> {
 protected:
  void SetUp() override {
    if (!testing::HaveFixtures()) {
      GTEST_SKIP() << "fixtures not found under " << testing::SharedDir() << "/fixtures/";
    }
  }
};

TEST_P(FixtureScalars, TablesPrintAsTheServerDid) {
  const Cluster& c = GetParam();
  PassOne pass(FixtureDir(c.name, c.database));
  ASSERT_EQ(pass.status, 0);
  std::map<std::string, uint32_t> oids = TableOids(c.name);
  // Columns compared per table.
  std::vector<std::pair<std::string, size_t>> tables = {
      {"scalars", 99}, {"Odd \"Quoted\" Name", 99}, {"orders", 99}, {"Pg_x", 99}, {"evolved", 99},
      {"churn", 99},   {"with_oids", 99},           {"sysvals", 99}, {"bulk", 99}, {"unknown_col", 99},
      {"domains", 99}};
  if (std::string(c.name) == "pg83") {
    for (const char* table : {"wide_money", "enums", "newtypes"}) tables.push_back({table, 99});
  }
  for (const auto& [table, fields] : tables) {
    ASSERT_TRUE(oids.count(table)) << table;
    ServerTextPrinter printer(fields);
    EXPECT_EQ(printer.PrintRelation(oids[table]), ExpectedRows(c.name, oids[table], fields))
        << c.name << " table " << table;
  }
}

INSTANTIATE_TEST_SUITE_P(Clusters, FixtureScalars,
                         ::testing::Values(Cluster{"pg82", "16388"}, Cluster{"pg83", "16585"}),
                         [](const ::testing::TestParamInfo<Cluster>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace vesk
