#include "typeimage/type_image_builder.h"

#include <charconv>
#include <map>
#include <sstream>
#include <stdexcept>

#include "catalog/static_descriptors.h"
#include "heapbuilder/heap_builder.h"

namespace vesk::typeimage {
namespace {

namespace hb = heapbuilder;

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

// Undoes the COPY-style escapes a text field may carry.
std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    char c = s[++i];
    out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
  }
  return out;
}

int64_t Number(const std::string& field, int line) {
  int64_t v = 0;
  auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), v);
  if (ec != std::errc() || end != field.data() + field.size()) {
    throw std::runtime_error("line " + std::to_string(line) + ": not a number: " + field);
  }
  return v;
}

hb::Value FieldValue(const CatalogColumnDesc& column, const std::string& field, int line) {
  if (field == "\\N") return hb::Null();
  switch (column.atttypid) {
    case 19: return hb::Name(Unescape(field));
    case 16:
      if (field != "t" && field != "f") throw std::runtime_error("line " + std::to_string(line) + ": bool " + field);
      return hb::Bool(field == "t");
    case 18:
      if (field.size() != 1) throw std::runtime_error("line " + std::to_string(line) + ": char " + field);
      return hb::Char(static_cast<uint8_t>(field[0]));
    case 21: return hb::Int16(static_cast<int16_t>(Number(field, line)));
    case 23: return hb::Int32(static_cast<int32_t>(Number(field, line)));
    case 24:
    case 26: return hb::Oid(static_cast<uint32_t>(Number(field, line)));
    case 25: return hb::Text(Unescape(field));
    default: throw std::runtime_error("column " + std::string(column.attname) + ": unexpected type");
  }
}

}  // namespace

std::vector<uint8_t> BuildTypeImage(int version, const std::string& table) {
  std::span<CatalogColumnDesc> columns = StaticColumns(PgTypeCatalog(version));
  std::vector<CatalogColumnDesc> descs(columns.begin(), columns.end());
  hb::Layout layout = version == 83 ? hb::Layout::k83 : hb::Layout::k82;
  hb::RelationBuilder relation(layout, hb::ColumnsFrom(descs));

  std::istringstream in(table);
  std::string line;
  int number = 0;
  // Leading lines starting with '#' describe the table.
  do {
    if (!std::getline(in, line)) throw std::runtime_error("empty table");
    ++number;
  } while (!line.empty() && line[0] == '#');
  std::vector<std::string> header = SplitTabs(line);
  std::map<std::string, size_t> where;
  for (size_t i = 0; i < header.size(); ++i) where[header[i]] = i;
  if (!where.count("oid")) throw std::runtime_error("no oid column");
  // Columns the table leaves out (typdefaultbin, typdefault) are null.
  std::vector<long> fieldOf(descs.size(), -1);
  for (size_t c = 0; c < descs.size(); ++c) {
    auto it = where.find(descs[c].attname);
    if (it != where.end()) fieldOf[c] = static_cast<long>(it->second);
    else if (descs[c].attnotnull) throw std::runtime_error(std::string("missing column ") + descs[c].attname);
  }

  while (std::getline(in, line)) {
    ++number;
    if (line.empty()) continue;
    std::vector<std::string> fields = SplitTabs(line);
    if (fields.size() != header.size()) throw std::runtime_error("line " + std::to_string(number) + ": field count");
    std::vector<hb::Value> values;
    for (size_t c = 0; c < descs.size(); ++c) {
      values.push_back(fieldOf[c] < 0 ? hb::Null() : FieldValue(descs[c], fields[static_cast<size_t>(fieldOf[c])], number));
    }
    hb::TupleSpec tuple;
    tuple.hasOid = true;
    tuple.oid = static_cast<uint32_t>(Number(fields[where["oid"]], number));
    relation.AddRow(values, tuple);
  }

  std::vector<uint8_t> image = relation.Bytes();
  if (image.size() > kImagePages * hb::kPageSize) throw std::runtime_error("rows do not fit six pages");
  image.resize(kImagePages * hb::kPageSize, 0);  // empty pages hold no records
  return image;
}

}  // namespace vesk::typeimage
