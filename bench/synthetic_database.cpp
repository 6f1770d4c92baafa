#include "synthetic_database.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "heapbuilder/heap_builder.h"
#include "sampledb/sample_database.h"
#include "sampledb/stored_forms.h"

namespace vesk::bench {
namespace {

namespace hb = heapbuilder;

constexpr hb::Layout kLayout = hb::Layout::k83;
constexpr uint32_t kCustomersFile = 16386;
constexpr size_t kPagesPerBatch = 2048;  // 16 MiB of pages in memory at most

// The sample's customers columns: id, name, email varchar(64),
// balance numeric(10,2), active, rating float8, joined date,
// last_seen timestamp, tags text[].
const std::vector<hb::ColumnSpec>& Columns() {
  static const std::vector<hb::ColumnSpec> columns = {
      {4, true, 'i', 'p'},  {-1, false, 'i', 'x'}, {-1, false, 'i', 'x'}, {-1, false, 'i', 'm'}, {1, true, 'c', 'p'},
      {8, false, 'd', 'p'}, {4, true, 'i', 'p'},   {8, false, 'd', 'p'},  {-1, false, 'i', 'x'}};
  return columns;
}

// A 32-digit hexadecimal word that varies with the row, like bulk's names.
std::string HexWord(uint32_t i) {
  char text[40];
  uint64_t a = i * 0x9E3779B97F4A7C15ull;
  uint64_t b = (a ^ (a >> 29)) * 0xBF58476D1CE4E5B9ull;
  std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(a),
                static_cast<unsigned long long>(b));
  return text;
}

std::vector<hb::Value> Row(uint32_t i) {
  char amount[32];
  std::snprintf(amount, sizeof amount, "%u.%02u", (i / 100) % 100000000, i % 100);
  std::vector<hb::Value> row;
  row.push_back(hb::Int32(static_cast<int32_t>(i)));
  row.push_back(hb::Text("name " + HexWord(i)));
  row.push_back(i % 5 == 0 ? hb::Null() : hb::Text("note " + std::to_string(i)));
  row.push_back(sampledb::Numeric(kLayout, amount, 2));
  row.push_back(hb::Bool(i % 2 == 0));
  row.push_back(hb::Float8(i / 7.0));
  row.push_back(hb::Int32(static_cast<int32_t>(i % 20000)));
  row.push_back(hb::Float8(i * 37.0));
  if (i % 10 == 0) {
    row.push_back(sampledb::TextArray(kLayout, {"t" + std::to_string(i), std::string("x")}));
  } else {
    row.push_back(hb::Null());
  }
  return row;
}

}  // namespace

bool WriteSyntheticDatabase(const std::string& directory, uint32_t rows) {
  std::string dir = directory;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  if (!sampledb::WriteSampleDatabase(83, dir)) return false;
  std::string path = dir + std::to_string(kCustomersFile);
  std::remove(path.c_str());
  std::vector<std::vector<uint8_t>> batch;
  uint64_t firstPage = 0;
  hb::PageBuilder page(kLayout);
  auto flush = [&]() {
    bool ok = hb::WritePagesAt(path, firstPage, batch);
    firstPage += batch.size();
    batch.clear();
    return ok;
  };
  for (uint32_t i = 1; i <= rows; ++i) {
    std::vector<hb::Value> row = Row(i);
    hb::TupleSpec tuple;
    tuple.xmin = 1200 + i;
    auto block = static_cast<uint32_t>(firstPage + batch.size());
    if (page.AddTuple(tuple, Columns(), row, block) < 0) {
      batch.push_back(page.Finish());
      page = hb::PageBuilder(kLayout);
      if (batch.size() == kPagesPerBatch && !flush()) return false;
      block = static_cast<uint32_t>(firstPage + batch.size());
      if (page.AddTuple(tuple, Columns(), row, block) < 0) return false;
    }
  }
  batch.push_back(page.Finish());
  return flush();
}

}  // namespace vesk::bench
