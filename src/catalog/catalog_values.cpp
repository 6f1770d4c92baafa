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

void GenerateName(char* name, const char* pattern, int32_t& counter, const char* logFormat) {
  std::snprintf(name, kNameSize, pattern, counter);
  ++counter;
  LogFormat(logFormat, name);
}

}  // namespace vesk
