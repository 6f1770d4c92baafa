#include "catalog/named_catalog.h"

#include <cstring>

#include "catalog/catalog_readers.h"
#include "catalog/catalog_values.h"
#include "catalog/open_catalog.h"
#include "platform/platform.h"
#include "support/logger.h"

namespace vesk {
namespace {

// Total stored size of a variable-length value, header included, as the
// decoder measured it when it accepted the record; 0 when the header cannot
// be one.
uint32_t StoredSize(const uint8_t* p, bool is83) {
  uint32_t word = 0;
  if (!is83 || (p[0] & 0x01) == 0) std::memcpy(&word, p, sizeof word);
  if (!is83) {
    const uint32_t size = word & 0x3FFFFFFFu;
    return size >= 4 ? size : 0;
  }
  if (p[0] == 0x01) return p[1] >= 2 ? p[1] : 0;
  if ((p[0] & 0x01) != 0) return p[0] >> 1;
  const uint32_t size = word >> 2;
  return size >= 4 ? size : 0;
}

}  // namespace

NamedCatalog::NamedCatalog(uint32_t relid, const char* name, uint8_t version)
    : version_(version), reader_(OpenCatalogRelation(relid, this, version, name)), name_(name) {}

int NamedCatalog::ReadCatalog() {
  if (reader_->columns.empty()) {
    LogValue("No description of the catalog's columns, its objects are lost:", name_.c_str());
    return 0;
  }
  if (!platform::FileExists(reader_->path)) {
    LogValue("Cant find the catalog, its objects are lost:", reader_->path.c_str());
    return 0;
  }
  return reader_->ReadTable();
}

int NamedCatalog::FieldIndex(const char* name, int16_t length) const {
  const auto& columns = reader_->columns;
  for (size_t i = 0; i < columns.size(); ++i) {
    const CatalogColumnDesc& c = *columns[i];
    if (std::strcmp(c.attname, name) != 0 || c.attisdropped) continue;
    const bool byval = length > 0 && length <= 4;
    if (c.attlen != length || c.attbyval != byval) {
      LogFormat("Column %s of %s has an unexpected width (%i), not read", name, name_.c_str(), c.attlen);
      return -1;
    }
    return static_cast<int>(i);
  }
  return -1;
}

int NamedCatalog::FieldIndex(const char* name82, const char* name83, int16_t length) const {
  const int index = FieldIndex(name82, length);
  return index >= 0 ? index : FieldIndex(name83, length);
}

bool NamedCatalog::ReadU32(const RowValues& values, int index, uint32_t& out) {
  const AttrValue* v = index < 0 ? nullptr : ValueAt(values, static_cast<size_t>(index));
  if (v == nullptr) return false;
  out = DatumU32(v->datum);
  return true;
}

bool NamedCatalog::ReadI16(const RowValues& values, int index, int16_t& out) {
  const AttrValue* v = index < 0 ? nullptr : ValueAt(values, static_cast<size_t>(index));
  if (v == nullptr) return false;
  out = DatumI16(v->datum);
  return true;
}

bool NamedCatalog::ReadChar(const RowValues& values, int index, char& out) {
  const AttrValue* v = index < 0 ? nullptr : ValueAt(values, static_cast<size_t>(index));
  if (v == nullptr) return false;
  out = DatumChar(v->datum);
  return true;
}

bool NamedCatalog::ReadBool(const RowValues& values, int index, bool& out) {
  const AttrValue* v = index < 0 ? nullptr : ValueAt(values, static_cast<size_t>(index));
  if (v == nullptr) return false;
  out = DatumBool(v->datum);
  return true;
}

bool NamedCatalog::ReadName(const RowValues& values, int index, char* out) const {
  if (index < 0) {
    std::memset(out, 0, kNameSize);
    return false;
  }
  return CopyName(ValueAt(values, static_cast<size_t>(index)), reader_->columns[static_cast<size_t>(index)], out);
}

bool NamedCatalog::ReadStored(const RowValues& values, int index, std::vector<uint8_t>& out) const {
  const AttrValue* v = index < 0 ? nullptr : ValueAt(values, static_cast<size_t>(index));
  if (v == nullptr || v->datum == 0) return false;
  const uint8_t* p = DatumPointer(v->datum);
  const uint32_t size = StoredSize(p, version_ == 83);
  if (size == 0) return false;
  out.assign(p, p + size);
  return true;
}

}  // namespace vesk
