// The array, geometric and network columns of the fixture databases, printed
// through the catalogs and the output dispatch, against the rows the original
// servers printed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "api/driver.h"
#include "catalog/catalog_readers.h"
#include "script/writer/script_writer.h"
#include "support/recovery_run.h"
#include "support/scratch.h"
#include "types/registry/type_output.h"

namespace vesk {
namespace {

std::string FixtureRoot() { return std::string(VESK_SHARED_DIR) + "/fixtures/"; }

// One field of a row value as the server's record output quotes it.
std::string RecordField(const char* text) {
  std::string s = text;
  bool quote = s.empty();
  for (char c : s) {
    quote = quote || c == '"' || c == '\\' || c == '(' || c == ')' || c == ',' || c == ' ' || c == '\t' || c == '\n';
  }
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
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      out += c;
    }
  }
  return out;
}

// Prints every row of a table as "(f1,f2,...)"; unprintable values show as
// "<null>" so that they never pass for SQL nulls.
class RowPrinter : public pg_some_Table {
 public:
  int ProcessRow(const RowValues& values, uint32_t) override {
    std::string row = "(";
    for (size_t i = 0; i < reader->columns.size(); ++i) {
      if (i > 0) row += ',';
      if (i >= values.size() || values[i].isnull) continue;
      const CatalogColumnDesc* column = reader->columns[i];
      ScratchMark();
      char* text = TypeOutput(vesk::Run().version, column->atttypid, values[i].datum, column->atttypmod);
      row += text ? RecordField(text) : "<null>";
      ScratchReleaseToMark();
    }
    rows.push_back(CopyEscaped(row + ")"));
    return 1;
  }
  TableReader* reader = nullptr;
  std::vector<std::string> rows;
};

class FixtureValues : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(FixtureRoot() + "pg83/base")) GTEST_SKIP() << "fixtures not found under " << FixtureRoot();
    script_ = std::tmpfile();
    savedScript_ = Script().script;
    Script().script = script_;
  }
  void TearDown() override {
    RecoveryRun& run = vesk::Run();
    delete run.namespaces;
    delete run.types;
    delete run.attributes;
    delete run.classes;
    run.namespaces = nullptr;
    run.types = nullptr;
    run.attributes = nullptr;
    run.classes = nullptr;
    if (script_) {
      Script().script = savedScript_;
      std::fclose(script_);
    }
  }
  FILE* script_ = nullptr;
  FILE* savedScript_ = nullptr;
};

std::vector<std::string> ExpectedRows(const std::string& cluster, uint32_t relid) {
  std::ifstream in(FixtureRoot() + cluster + "/expected/" + std::to_string(relid) + ".rows");
  std::vector<std::string> rows;
  for (std::string line; std::getline(in, line);) rows.push_back(line);
  std::sort(rows.begin(), rows.end());
  return rows;
}

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
  vesk::Run().databaseDirectory = FixtureRoot() + cluster + "/base/" + f.database + "/";
  ASSERT_EQ(ReadCatalogs(), 0);
  ASSERT_EQ(vesk::Run().version, cluster == "pg82" ? 82 : 83);
  for (uint32_t relid : {f.geometry, f.network, f.arrays}) {
    RowPrinter printer;
    std::unique_ptr<TableReader> reader = OpenRelationById(relid, &printer, vesk::Run().version);
    printer.reader = reader.get();
    reader->ReadTable();
    std::sort(printer.rows.begin(), printer.rows.end());
    EXPECT_EQ(printer.rows, ExpectedRows(cluster, relid)) << cluster << " table " << relid;
  }
}

INSTANTIATE_TEST_SUITE_P(Clusters, FixtureValues, ::testing::Values("pg82", "pg83"));

}  // namespace
}  // namespace vesk
