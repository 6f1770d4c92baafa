#include "catalog/pg_attrdef_table.h"

#include "catalog/catalog_values.h"
#include "catalog/open_catalog.h"
#include "platform/platform.h"
#include "support/logger.h"

namespace vesk {
namespace {

constexpr uint32_t kAttrdefRelid = 2604;
constexpr size_t kAdsrc = 3;

}  // namespace

pg_attrdef_Table::pg_attrdef_Table(uint8_t version)
    : reader_(OpenFixedLayoutRelation(kAttrdefRelid, StaticCatalog::kPgAttrdef, this, version, "pg_attrdef")),
      version_(version) {}

int pg_attrdef_Table::ReadDefaults() {
  if (!platform::FileExists(reader_->path)) {
    LogValue("Cant find pg_attrdef, no column defaults:", reader_->path.c_str());
    return 0;
  }
  return reader_->ReadTable();
}

int pg_attrdef_Table::ProcessRow(const RowValues& values, uint32_t oid) {
  const AttrValue* relid = ValueAt(values, 0);
  const AttrValue* adnum = ValueAt(values, 1);
  ColumnDefault d;
  d.storedText = StoredVarlena(ValueAt(values, kAdsrc), version_);
  if (relid == nullptr || adnum == nullptr || d.storedText.empty()) {
    LogNumber("Skip pg_attrdef row without table, column or text, Oid", static_cast<int>(oid));
    return 0;
  }
  d.oid = oid;
  d.adrelid = DatumU32(relid->datum);
  d.adnum = DatumI16(adnum->datum);
  defaults_.push_back(std::move(d));
  return 1;
}

}  // namespace vesk
