// Writes the seed corpora of the fuzz targets, made with the heap page
// builder so that every seed is input the engine reads as valid:
//   seed_corpus <dir>  ->  <dir>/{record_decoder,pglz,type_output,recovery}/
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "column_menu.h"
#include "heapbuilder/heap_builder.h"
#include "sampledb/stored_forms.h"

namespace {

namespace fs = std::filesystem;
namespace hb = vesk::heapbuilder;
using Bytes = std::vector<uint8_t>;

void Put32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void Write(const fs::path& dir, const std::string& name, const Bytes& bytes) {
  fs::create_directories(dir);
  std::ofstream out(dir / name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

hb::Value ValueOfKind(int kind, int row) {
  std::string text = "value " + std::to_string(row);
  switch (kind) {
    case 0: return hb::Int32(row * 7);
    case 1: return hb::Int16(static_cast<int16_t>(row));
    case 2: return hb::Char(static_cast<uint8_t>('a' + row % 26));
    case 3: return hb::Int64(row * 100000007LL);
    case 4: return row % 4 == 0 ? hb::Compressed(Bytes(200, static_cast<uint8_t>('q'))) : hb::Text(text);
    case 5: return hb::Text(text + text);
    case 6: return hb::CString(text);
    case 7: return hb::Name(text);
    case 8: return hb::Text(text);
    default: return hb::Fixed(Bytes(16, static_cast<uint8_t>(row)));
  }
}

// Input: flags, kMaxColumns kind bytes, then the pages.
void RecordDecoderSeeds(const fs::path& dir) {
  const std::vector<std::vector<int>> menus = {{0, 4, 1, 6, 3}, {7, 2, 5, 9, 8, 0}, {4, 4, 4}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}};
  int n = 0;
  for (bool is83 : {false, true}) {
    for (const auto& kinds : menus) {
      std::vector<hb::ColumnSpec> specs;
      for (int k : kinds) specs.push_back(hb::ColumnSpec::From(vesk::fuzz::ColumnOfKind(static_cast<uint8_t>(k))));
      hb::RelationBuilder rel(is83 ? hb::Layout::k83 : hb::Layout::k82, specs);
      for (int row = 0; row < 40; ++row) {
        std::vector<hb::Value> values;
        for (size_t c = 0; c < kinds.size(); ++c) {
          values.push_back((row + static_cast<int>(c)) % 9 == 0 ? hb::Null() : ValueOfKind(kinds[c], row));
        }
        hb::TupleSpec tuple;
        if (row % 11 == 3) tuple.xmax = 900;  // deleted
        rel.AddRow(values, tuple);
      }
      Bytes input{static_cast<uint8_t>(((kinds.size() - 1) << 1) | (is83 ? 1 : 0))};
      for (int i = 0; i < vesk::fuzz::kMaxColumns; ++i) {
        input.push_back(static_cast<uint8_t>(i < static_cast<int>(kinds.size()) ? kinds[static_cast<size_t>(i)] : 0));
      }
      Bytes pages = rel.Bytes();
      input.insert(input.end(), pages.begin(), pages.end());
      Write(dir, "seed" + std::to_string(n++), input);
    }
  }
}

void PglzSeeds(const fs::path& dir) {
  const std::vector<std::string> texts = {"abcdefgh", std::string(300, 'a'),
                                          "the quick brown fox, the quick brown fox, the quick brown dog",
                                          std::string(5000, 'z') + "tail"};
  int n = 0;
  for (const std::string& text : texts) {
    for (uint8_t mode : {uint8_t{0}, uint8_t{1}, uint8_t{2}}) {
      Bytes input{static_cast<uint8_t>(text.size()), static_cast<uint8_t>(text.size() >> 8), mode};
      Bytes stream = hb::PglzCompress(Bytes(text.begin(), text.end()));
      input.insert(input.end(), stream.begin(), stream.end());
      Write(dir, "seed" + std::to_string(n++), input);
    }
  }
}

// Input: layout, type OID, typmod, stored bytes.
void TypeOutputSeeds(const fs::path& dir) {
  int n = 0;
  for (bool is83 : {false, true}) {
    hb::Layout layout = is83 ? hb::Layout::k83 : hb::Layout::k82;
    auto seed = [&](uint32_t oid, int32_t typmod, const Bytes& stored) {
      Bytes input{static_cast<uint8_t>(is83 ? 1 : 0)};
      Put32(input, oid);
      Put32(input, static_cast<uint32_t>(typmod));
      input.insert(input.end(), stored.begin(), stored.end());
      Write(dir, "seed" + std::to_string(n++), input);
    };
    auto varlena = [&](const hb::Value& v) { return hb::EncodeVarlena(layout, v, 'p'); };
    auto word = [](uint32_t v) {
      Bytes b;
      Put32(b, v);
      return b;
    };
    seed(23, -1, word(123456));
    seed(16, -1, word(1));
    seed(25, -1, varlena(hb::Text("hello, world")));
    seed(1043, 14, varlena(hb::Text("varchar")));
    seed(1042, 9, varlena(hb::Text("bpchar   ")));
    seed(17, -1, varlena(hb::Varlena({0, 1, 2, '\\', '\'', 200})));
    seed(1700, -1, varlena(vesk::sampledb::Numeric(layout, "-1234.5678", 4)));
    seed(1009, -1, varlena(vesk::sampledb::TextArray(layout, {"a b", std::nullopt, "{x}"})));
    seed(1082, -1, vesk::sampledb::Date(2024, 2, 29).bytes);
    seed(1114, -1, vesk::sampledb::Timestamp(1999, 12, 31, 23, 59, 59.5).bytes);
    seed(1184, -1, vesk::sampledb::Timestamp(2008, 3, 14, 15, 9, 26.5).bytes);
    seed(701, -1, hb::Float8(3.25).bytes);
    seed(700, -1, hb::Float4(-0.5f).bytes);
    seed(20, -1, hb::Int64(-9000000000LL).bytes);
    seed(19, -1, hb::Name("a name").bytes);
    seed(790, -1, is83 ? hb::Int64(123456).bytes : word(123456));
    Bytes interval = hb::Float8(3600.5).bytes;
    for (uint32_t w : {3u, 14u}) Put32(interval, w);
    seed(1186, -1, interval);
    Bytes point = hb::Float8(1.5).bytes;
    Bytes y = hb::Float8(-2).bytes;
    point.insert(point.end(), y.begin(), y.end());
    seed(600, -1, point);
    seed(869, -1, varlena(hb::Varlena({2, 24, 0, 4, 192, 168, 1, 0})));
    seed(1560, 12, varlena(hb::Varlena({12, 0, 0, 0, 0xAC, 0xF0})));
    seed(1562, -1, varlena(hb::Varlena({4, 0, 0, 0, 0x50})));
    seed(2950, -1, Bytes(16, 0xAB));
  }
}

// Input: layout, then edits (none in most seeds: the sample as it is).
void RecoverySeeds(const fs::path& dir) {
  Write(dir, "sample82", {0});
  Write(dir, "sample83", {1});
  // One byte of a user table's tuple data and one line pointer changed.
  Write(dir, "edit82", {0, 7, 0x00, 0x1F, 0x00, 2, 0xFF, 0x7F});
  Write(dir, "edit83", {1, 3, 0x18, 0x00, 0x00, 4, 0x10, 0x9F, 0xFF, 0xFF});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: seed_corpus DIR\n");
    return 2;
  }
  fs::path root(argv[1]);
  RecordDecoderSeeds(root / "record_decoder");
  PglzSeeds(root / "pglz");
  TypeOutputSeeds(root / "type_output");
  RecoverySeeds(root / "recovery");
  return 0;
}
