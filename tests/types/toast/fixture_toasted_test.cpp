// Every value of table `toasted` in the real fixture databases (inline
// compressed, out of line plain and compressed, a 5000-byte bytea) rebuilt
// through the catalogs and compared with what the original server printed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "catalog/catalog_readers.h"
#include "common/fixture_files.h"
#include "common/log_capture.h"
#include "common/pass_one_fixture.h"
#include "common/record_text.h"
#include "support/recovery_run.h"
#include "support/scratch.h"
#include "types/toast/toast.h"
#include "types/toast/varlena.h"

namespace vesk {
namespace {

constexpr int kTextColumns[] = {1, 2, 3, 5};
constexpr int kByteaColumn = 4;
constexpr int kColumns = 6;

using Row = std::vector<std::string>;  // column values; "\x01NULL" for null

const std::string kNull = "\x01NULL";

// Splits a row value "(a,"b",,...)" into its fields.
Row ParseRecord(const std::string& text) {
  Row fields;
  size_t i = 1;  // after '('
  while (i < text.size()) {
    std::string field;
    bool quoted = text[i] == '"';
    if (quoted) {
      for (++i; i < text.size(); ++i) {
        if (text[i] == '\\') {
          field += text[++i];
        } else if (text[i] == '"' && i + 1 < text.size() && text[i + 1] == '"') {
          field += '"';
          ++i;
        } else if (text[i] == '"') {
          ++i;
          break;
        } else {
          field += text[i];
        }
      }
    } else {
      while (i < text.size() && text[i] != ',' && text[i] != ')') field += text[i++];
    }
    fields.push_back(!quoted && field.empty() ? kNull : field);
    ++i;  // the ',' or ')'
  }
  return fields;
}

// bytea escape output back to bytes.
std::string ByteaUnescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
      out += '\\';
      ++i;
    } else if (text[i] == '\\' && i + 3 < text.size()) {
      out += static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0'));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::map<int, Row> ExpectedRows(const std::string& path) {
  std::map<int, Row> rows;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    Row row = ParseRecord(testing::CopyUnescaped(line));
    if (row.size() != kColumns) continue;
    row[kByteaColumn] = row[kByteaColumn] == kNull ? kNull : ByteaUnescape(row[kByteaColumn]);
    rows[std::stoi(row[0])] = row;
  }
  return rows;
}

// Collects every row of the table with its values rebuilt.
class RebuiltRows : public pg_some_Table {
 public:
  explicit RebuiltRows(uint8_t version) : version_(version) {}

  int ProcessRow(const RowValues& values, uint32_t) override {
    if (values.size() != kColumns || values[0].isnull) return 0;
    Row row(kColumns, kNull);
    row[0] = std::to_string(static_cast<int32_t>(values[0].datum));
    for (int c = 1; c < kColumns; ++c) {
      if (values[c].isnull) continue;
      const uint8_t* stored = DatumPointer(values[c].datum);
      uint8_t* plain = version_ == 83 ? ExpandShortVarlena(stored) : pg_detoast_datum(stored);
      row[c] = plain ? std::string(reinterpret_cast<const char*>(Payload(plain)), PayloadLength(plain, version_))
                     : "\x01LOST";
      ScratchFree(plain);
    }
    rows[std::stoi(row[0])] = row;
    return 1;
  }

  std::map<int, Row> rows;

 private:
  uint8_t version_;
};

struct FixtureCase {
  const char* cluster;
  const char* database;
  uint32_t tableOid;
  uint8_t version;
  uint32_t maxAlign;  // of the server that wrote it
};

class FixtureToasted : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(FixtureToasted, EveryValueIsRebuiltExactly) {
  const FixtureCase& c = GetParam();
  std::string directory = testing::FixtureDir(c.cluster, c.database);
  if (!std::filesystem::exists(directory)) GTEST_SKIP() << "fixtures not found at " << directory;
  std::map<int, Row> expected =
      ExpectedRows(testing::ClusterDir(c.cluster) + "/expected/" + std::to_string(c.tableOid) + ".rows");
  ASSERT_EQ(expected.size(), 12u);

  ResetToastCache();
  vesk::Run().settings.maxAlign = vesk::Run().settings.doubleAlign = c.maxAlign;
  testing::LogCapture log;
  testing::PassOne pass(directory);
  ASSERT_EQ(pass.status, 0);
  ASSERT_EQ(vesk::Run().version, c.version);
  RebuiltRows handler(c.version);
  std::unique_ptr<TableReader> reader = OpenRelationById(c.tableOid, &handler, c.version);
  reader->cacheRows = false;
  ASSERT_EQ(reader->ReadTable(), 0);
  ResetToastCache();
  vesk::Run().settings = DatabaseSettings{};
  // The chunks are cut as the build's chunk size says.
  EXPECT_FALSE(log.Has("of the server build")) << log.Text();

  ASSERT_EQ(handler.rows.size(), expected.size());
  for (const auto& [id, want] : expected) {
    const Row& got = handler.rows[id];
    for (int col : kTextColumns) {
      EXPECT_EQ(got[col].size(), want[col].size()) << "row " << id << " column " << col;
      EXPECT_TRUE(got[col] == want[col]) << "row " << id << " column " << col;
    }
    EXPECT_EQ(got[kByteaColumn].size(), want[kByteaColumn].size()) << "row " << id;
    EXPECT_TRUE(got[kByteaColumn] == want[kByteaColumn]) << "row " << id;
  }
}

INSTANTIATE_TEST_SUITE_P(Databases, FixtureToasted,
                         ::testing::Values(FixtureCase{"pg82", "16388", 16412, 82, 8},
                                           FixtureCase{"pg83", "16585", 16618, 83, 8},
                                           FixtureCase{"pg83-32", "16384", 16417, 83, 4}),
                         [](const ::testing::TestParamInfo<FixtureCase>& p) {
                           std::string name = p.param.cluster;
                           for (char& ch : name) {
                             if (ch == '-') ch = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace vesk
