// The scalar tables of the fixture databases printed through the catalogs and
// the dispatch, against the rows the original servers printed. Where this
// system deliberately prints another text that loads to the same value
// (escaped 8.2 texts, true/false, the 8.2 bit literal, 8.3 money without its
// currency symbol) the text is mapped back to the server's before comparing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "api/driver.h"
#include "catalog/catalog_readers.h"
#include "catalog/pg_enum_table.h"
#include "script/writer/script_writer.h"
#include "support/recovery_run.h"
#include "support/scratch.h"
#include "types/registry/type_output.h"

namespace vesk {
namespace {

std::string FixtureRoot() { return std::string(VESK_SHARED_DIR) + "/fixtures/"; }

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

std::string ServerText(uint8_t version, uint32_t typeOid, const char* text) {
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

// One field of a row value as the server's record output quotes it.
std::string RecordField(const std::string& s) {
  bool quote = s.empty();
  for (char c : s) quote = quote || c == '"' || c == '\\' || c == '(' || c == ')' || c == ',' || std::isspace(static_cast<unsigned char>(c));
  if (!quote) return s;
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += c;
    out += c;
  }
  return out + "\"";
}

// Backslashes and control characters as COPY text writes them.
std::string CopyEscaped(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

// The first `fields` fields of a record text "(a,"b,c",d)".
std::string FirstFields(const std::string& row, size_t fields) {
  bool quoted = false;
  size_t count = 0;
  for (size_t i = 1; i < row.size(); ++i) {
    if (row[i] == '"') quoted = !quoted;
    if (!quoted && (row[i] == ',' || row[i] == ')') && ++count == fields) return row.substr(0, i) + ")";
  }
  return row;
}

// Prints the first `fields` live columns of every row; "<null>" marks a
// value the routines could not print, so it never passes for an SQL null.
class RowPrinter : public pg_some_Table {
 public:
  explicit RowPrinter(size_t fields) : fields_(fields) {}
  int ProcessRow(const RowValues& values, uint32_t) override {
    std::string row = "(";
    size_t printed = 0;
    for (size_t i = 0; i < reader->columns.size() && printed < fields_; ++i) {
      const CatalogColumnDesc* column = reader->columns[i];
      if (column->attisdropped) continue;
      if (printed++ > 0) row += ',';
      if (i >= values.size() || values[i].isnull) continue;
      ScratchMark();
      uint8_t version = vesk::Run().version;
      char* text = TypeOutput(version, column->atttypid, values[i].datum, column->atttypmod);
      row += text ? RecordField(ServerText(version, column->atttypid, text)) : "<null>";
      ScratchReleaseToMark();
    }
    rows.push_back(CopyEscaped(row + ")"));
    return 1;
  }
  TableReader* reader = nullptr;
  std::vector<std::string> rows;

 private:
  size_t fields_;
};

// Table name -> relation OID, from the fixture's table list.
std::map<std::string, uint32_t> TableOids(const std::string& cluster) {
  std::ifstream in(FixtureRoot() + cluster + "/expected/tables.tsv");
  std::map<std::string, uint32_t> oids;
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string oid, schema, table;
    std::getline(fields, oid, '\t');
    std::getline(fields, schema, '\t');
    std::getline(fields, table, '\t');
    oids[table] = static_cast<uint32_t>(std::stoul(oid));
  }
  return oids;
}

std::vector<std::string> ExpectedRows(const std::string& cluster, uint32_t relid, size_t fields) {
  std::ifstream in(FixtureRoot() + cluster + "/expected/" + std::to_string(relid) + ".rows");
  std::vector<std::string> rows;
  for (std::string line; std::getline(in, line);) rows.push_back(FirstFields(line, fields));
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
    if (!std::filesystem::exists(FixtureRoot() + "pg83/base")) {
      GTEST_SKIP() << "fixtures not found under " << FixtureRoot();
    }
    script_ = std::tmpfile();
    savedScript_ = Script().script;
    Script().script = script_;
  }
  void TearDown() override {
    RecoveryRun& run = vesk::Run();
    delete run.enums;
    run.enums = nullptr;
    delete run.namespaces;
    delete run.types;
    delete run.attributes;
    delete run.classes;
    run.namespaces = nullptr;
    run.types = nullptr;
    run.attributes = nullptr;
    run.classes = nullptr;
    run.version = 82;
    if (script_) {
      Script().script = savedScript_;
      std::fclose(script_);
    }
  }
  FILE* script_ = nullptr;
  FILE* savedScript_ = nullptr;
};

TEST_P(FixtureScalars, TablesPrintAsTheServerDid) {
  const Cluster& c = GetParam();
  vesk::Run().databaseDirectory = FixtureRoot() + c.name + "/base/" + c.database + "/";
  ASSERT_EQ(ReadCatalogs(), 0);
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
    RowPrinter printer(fields);
    std::unique_ptr<TableReader> reader = OpenRelationById(oids[table], &printer, vesk::Run().version);
    printer.reader = reader.get();
    reader->ReadTable();
    std::sort(printer.rows.begin(), printer.rows.end());
    EXPECT_EQ(printer.rows, ExpectedRows(c.name, oids[table], fields)) << c.name << " table " << table;
  }
}

INSTANTIATE_TEST_SUITE_P(Clusters, FixtureScalars,
                         ::testing::Values(Cluster{"pg82", "16388"}, Cluster{"pg83", "16585"}),
                         [](const ::testing::TestParamInfo<Cluster>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace vesk
