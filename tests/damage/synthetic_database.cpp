#include "damage/synthetic_database.h"

#include <filesystem>
#include <optional>

#include "sampledb/sample_database.h"
#include "sampledb/stored_forms.h"

namespace vesk::damage {
namespace {

namespace hb = heapbuilder;

hb::ColumnSpec Spec(int16_t len, bool byval, char align, char storage) { return {len, byval, align, storage}; }

std::vector<hb::ColumnSpec> CustomerColumns() {
  return {Spec(4, true, 'i', 'p'),  Spec(-1, false, 'i', 'x'), Spec(-1, false, 'i', 'x'),
          Spec(-1, false, 'i', 'm'), Spec(1, true, 'c', 'p'),   Spec(8, false, 'd', 'p'),
          Spec(4, true, 'i', 'p'),  Spec(8, false, 'd', 'p'),  Spec(-1, false, 'i', 'x')};
}

std::vector<hb::ColumnSpec> ItemColumns() {
  return {Spec(8, false, 'd', 'p'), Spec(-1, false, 'i', 'x'), Spec(-1, false, 'i', 'm'), Spec(4, true, 'i', 'p'),
          Spec(-1, false, 'i', 'x')};
}

std::vector<hb::Value> CustomerRow(hb::Layout layout, const hb::ServerBuild& build, int i) {
  using Tags = std::vector<std::optional<std::string>>;
  return {hb::Int32(i),
          hb::Text("customer " + std::to_string(i)),
          i % 7 == 0 ? hb::Null() : hb::Text("c" + std::to_string(i) + "@example.org"),
          sampledb::Numeric(layout, std::to_string(i) + ".25", 2),
          hb::Bool(i % 2 == 0),
          hb::Float8(i / 4.0),
          sampledb::Date(2000 + i % 20, 1 + i % 12, 1 + i % 28),
          sampledb::Timestamp(2001, 1 + i % 12, 1 + i % 28, i % 24, i % 60, 0, build.integerDatetimes),
          sampledb::TextArray(layout, Tags{"t" + std::to_string(i), std::nullopt, "x y"})};
}

std::vector<hb::Value> ItemRow(hb::Layout layout, const hb::ServerBuild&, int i) {
  std::string note = "note " + std::to_string(i);
  return {hb::Int64(1000000000LL * i),
          hb::Text("item " + std::to_string(i)),
          sampledb::Numeric(layout, std::to_string(i) + ".50", 2),
          hb::Int32(i * 3),
          i % 5 == 0 ? hb::Compressed(std::vector<uint8_t>(300, static_cast<uint8_t>('a' + i % 26)))
                     : hb::Text(note)};
}

bool WriteTable(hb::Layout layout, const hb::ServerBuild& build, const std::string& path, const std::string& file,
                int rows, std::vector<hb::ColumnSpec> columns,
                std::vector<hb::Value> (*make)(hb::Layout, const hb::ServerBuild&, int), const RowEdit& edit) {
  hb::RelationBuilder rel(layout, std::move(columns), build);
  for (int i = 0; i < rows; ++i) {
    std::vector<hb::Value> values = make(layout, build, i);
    if (edit) edit(layout == hb::Layout::k83 ? 83 : 82, file, i, values);
    hb::TupleSpec tuple;
    tuple.xmin = 1000 + static_cast<uint32_t>(i);
    rel.AddRow(values, tuple);
  }
  return rel.WriteFile(path + "/" + file);
}

}  // namespace

bool WriteSyntheticDatabase(int version, const std::string& dir, const RowEdit& edit,
                            const heapbuilder::ServerBuild& build) {
  std::filesystem::create_directories(dir);
  hb::Layout layout = version == 83 ? hb::Layout::k83 : hb::Layout::k82;
  return sampledb::WriteSampleDatabase(version, dir, build) &&
         WriteTable(layout, build, dir, kCustomersFile, kCustomerRows, CustomerColumns(), CustomerRow, edit) &&
         WriteTable(layout, build, dir, kItemsFile, kItemRows, ItemColumns(), ItemRow, edit);
}

}  // namespace vesk::damage
