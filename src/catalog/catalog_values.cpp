#include "catalog/catalog_values.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "support/logger.h"

namespace vesk {

bool CopyName(const AttrValue* value, const CatalogColumnDesc* column, char* out) {
  std::memset(out, 0, kNameSize);
  if (value == nullptr || value->datum == 0) return false;
  if (column != nullptr && (column->attbyval || column->attlen <= 0)) return false;
  size_t width = column != nullptr ? static_cast<size_t>(column->attlen) : kNameSize;
  std::memcpy(out, DatumPointer(value->datum), std::min(width, kNameSize - 1));
  return true;
}

namespace {

// Total stored size from the header at `p`, or 0 when it cannot be one.
uint32_t StoredSize(const uint8_t* p, uint8_t version) {
  uint32_t word = 0;
  if (version != 83) {
    std::memcpy(&word, p, sizeof word);
    word &= 0x3FFFFFFFu;
    return word >= 4 ? word : 0;
  }
  if (p[0] == 0x01) return p[1] >= 2 ? p[1] : 0;  // TOAST pointer
  if ((p[0] & 0x01) != 0) return p[0] >> 1;       // 1-byte header
  std::memcpy(&word, p, sizeof word);
  word >>= 2;
  return word >= 4 ? word : 0;
}

}  // namespace

std::string StoredVarlena(const AttrValue* value, uint8_t version) {
  if (value == nullptr || value->datum == 0) return {};
  const uint8_t* p = DatumPointer(value->datum);
  const uint32_t size = StoredSize(p, version);
  return std::string(reinterpret_cast<const char*>(p), size);
}

bool PlainVarlenaText(const std::string& stored, uint8_t version, std::string& text) {
  text.clear();
  if (stored.empty()) return false;
  const auto first = static_cast<uint8_t>(stored[0]);
  size_t header = 4;
  if (version == 83) {
    if (first == 0x01) return false;                         // out of line
    if ((first & 0x01) != 0) header = 1;                     // short, never compressed
    else if ((first & 0x03) == 0x02) return false;           // compressed
  } else if (stored.size() < 4 || (static_cast<uint8_t>(stored[3]) & 0xC0) != 0) {  // external or compressed
    return false;
  }
  if (stored.size() < header) return false;
  text.assign(stored, header, std::string::npos);
  return true;
}

void GenerateName(char* name, const char* pattern, int32_t& counter, const char* logFormat) {
  std::snprintf(name, kNameSize, pattern, counter);
  ++counter;
  LogFormat(logFormat, name);
}

}  // namespace vesk
