// The texts of every date/time value stored in the real fixture databases,
// compared row by row with what the original servers printed. The page walk
// here is the least needed to find the values of these two tables (all rows
// live, fixed-length columns only).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "datetime_test_util.h"
#include "support/recovery_run.h"
#include "types/datetime/datetime_out.h"
#include "types/datetime/zone_rules.h"
#include "types/toast/varlena.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using testing::Text;

constexpr size_t kPage = 8192;

enum class Col { Int4, Date, Time, TimeTz, Timestamp, TimestampTz, Interval, Abstime, Reltime, Tinterval };

struct ColumnShape {
  size_t align, length;
};

// `doubleAlign` is the server build's alignment of 8-byte quantities.
ColumnShape Shape(Col c, size_t doubleAlign) {
  switch (c) {
    case Col::Int4:
    case Col::Date:
    case Col::Abstime:
    case Col::Reltime:
      return {4, 4};
    case Col::Tinterval:
      return {4, 12};
    case Col::TimeTz:
      return {doubleAlign, 12};
    case Col::Interval:
      return {doubleAlign, 16};
    default:
      return {doubleAlign, 8};
  }
}

std::optional<std::string> ValueText(Col c, const uint8_t* p) {
  Datum byRef = PointerDatum(p);
  Datum byVal = ReadU32(p);
  switch (c) {
    case Col::Int4:
      return std::to_string(ReadI32(p));
    case Col::Date:
      return Text(date_out(byVal));
    case Col::Time:
      return Text(time_out(byRef, -1));
    case Col::TimeTz:
      return Text(timetz_out(byRef, -1));
    case Col::Timestamp:
      return Text(timestamp_out(byRef, -1));
    case Col::TimestampTz:
      return Text(timestamptz_out(byRef, -1));
    case Col::Interval:
      return Text(interval_out(byRef, -1));
    case Col::Abstime:
      return Text(abstime_out(byVal));
    case Col::Reltime:
      return Text(reltime_out(byVal));
    case Col::Tinterval:
      return Text(tinterval_out(byRef));
  }
  return std::nullopt;
}

// A field of a row value as the server prints it.
std::string RowField(const std::string& v) {
  if (!v.empty() && v.find_first_of(" ,\"()\\") == std::string::npos) return v;
  std::string out = "\"";
  for (char ch : v) out += ch == '"' ? std::string("\"\"") : std::string(1, ch);
  return out + "\"";
}

struct Layout {
  size_t linePointers;  // first line pointer
  size_t tupleShift;    // extra bytes of the tuple header before t_infomask
  size_t doubleAlign = 8;
};

std::set<std::string> DecodeRows(const std::vector<uint8_t>& file, Layout layout, const std::vector<Col>& cols) {
  std::set<std::string> rows;
  for (size_t pg = 0; pg + kPage <= file.size(); pg += kPage) {
    const uint8_t* page = file.data() + pg;
    size_t lower = std::min<size_t>(ReadU16(page + 12), kPage);
    for (size_t lp = layout.linePointers; lp + 4 <= lower; lp += 4) {
      uint32_t item = ReadU32(page + lp);
      size_t off = item & 0x7FFF;
      size_t len = item >> 17;
      if (((item >> 15) & 1) == 0 || len == 0 || off + len > kPage) continue;
      const uint8_t* tuple = page + off;
      uint16_t infomask = ReadU16(tuple + 20 + layout.tupleShift);
      size_t pos = tuple[22 + layout.tupleShift];
      const uint8_t* nulls = (infomask & 1) ? tuple + 23 + layout.tupleShift : nullptr;
      std::string row = "(";
      for (size_t i = 0; i < cols.size(); ++i) {
        if (i) row += ",";
        if (nulls && !(nulls[i / 8] & (1u << (i % 8)))) continue;
        ColumnShape s = Shape(cols[i], layout.doubleAlign);
        pos = (pos + s.align - 1) / s.align * s.align;
        if (pos + s.length > len) break;
        auto text = ValueText(cols[i], tuple + pos);
        pos += s.length;
        row += text ? RowField(*text) : "<missed>";
      }
      rows.insert(row + ")");
    }
  }
  return rows;
}

std::vector<uint8_t> ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::set<std::string> ReadLines(const fs::path& p) {
  std::ifstream in(p);
  std::set<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.insert(line);
  return lines;
}

struct FixtureTable {
  const char* cluster;
  const char* database;
  const char* relation;
  Layout layout;
  std::vector<Col> columns;
  bool integerDatetimes = false;
};

TEST(DatetimeFixtures, EveryValuePrintsAsTheOriginalServerPrintedIt) {
  fs::path shared = VESK_SHARED_DIR;
  if (!fs::exists(shared / "fixtures")) GTEST_SKIP() << "no fixtures at " << shared;
  // Without a zone file the built-in UTC zone applies, as on the servers.
  vesk::Run().moduleDirectory = "/nonexistent/vesk-datetime-fixture";
  ResetUtcZoneForTest();
  const std::vector<Col> datetimes = {Col::Int4,     Col::Date,      Col::Time,        Col::Time,
                                      Col::TimeTz,   Col::Timestamp, Col::Timestamp,   Col::TimestampTz,
                                      Col::Interval, Col::Interval,  Col::Interval};
  const std::vector<Col> legacy = {Col::Int4, Col::Abstime, Col::Reltime, Col::Tinterval};
  const Layout v82{20, 4}, v83{24, 0}, v83bits32{24, 0, 4};
  const FixtureTable tables[] = {
      {"pg82", "16388", "16396", v82, datetimes},
      {"pg82", "16388", "16398", v82, legacy},
      {"pg83", "16585", "16594", v83, datetimes},
      {"pg83", "16585", "16597", v83, legacy},
      {"pg83i", "16384", "16393", v83, datetimes, true},
      {"pg83i", "16384", "16396", v83, legacy, true},
      {"pg83-32", "16384", "16393", v83bits32, datetimes},
      {"pg83-32", "16384", "16396", v83bits32, legacy},
  };
  for (const FixtureTable& t : tables) {
    vesk::Run().settings.integerDatetimes = t.integerDatetimes;
    fs::path cluster = shared / "fixtures" / t.cluster;
    auto heap = ReadAll(cluster / "base" / t.database / t.relation);
    ASSERT_FALSE(heap.empty()) << t.cluster << "/" << t.relation;
    auto expected = ReadLines(cluster / "expected" / (std::string(t.relation) + ".rows"));
    EXPECT_EQ(DecodeRows(heap, t.layout, t.columns), expected) << t.cluster << "/" << t.relation;
  }
  vesk::Run().settings = DatabaseSettings{};
  ResetUtcZoneForTest();
}

}  // namespace
}  // namespace vesk
