#include "catalog/pg_depend_table.h"

#include "catalog/catalog_values.h"
#include "catalog/open_catalog.h"
#include "platform/platform.h"
#include "support/logger.h"

namespace vesk {
namespace {

constexpr uint32_t kDependRelid = 2608;

uint64_t ObjectKey(uint32_t classid, uint32_t objid) { return uint64_t{classid} << 32 | objid; }

}  // namespace

pg_depend_Table::pg_depend_Table(uint8_t version)
    : reader_(OpenFixedLayoutRelation(kDependRelid, StaticCatalog::kPgDepend, this, version, "pg_depend")) {}

int pg_depend_Table::ReadDependencies() {
  if (!platform::FileExists(reader_->path)) {
    LogValue("Cant find pg_depend, no sequence owners and no checks of defaults:", reader_->path.c_str());
    return 0;
  }
  return reader_->ReadTable();
}

int pg_depend_Table::ProcessRow(const RowValues& values, uint32_t) {
  for (size_t k = 0; k < 7; ++k) {
    if (ValueAt(values, k) == nullptr) return 0;  // a row missing a field says nothing reliable
  }
  Dependency d;
  d.classid = DatumU32(values[0].datum);
  if (d.classid != kPgClassRelid && d.classid != kPgAttrdefRelid) return 0;
  d.objid = DatumU32(values[1].datum);
  d.objsubid = DatumI32(values[2].datum);
  d.refclassid = DatumU32(values[3].datum);
  d.refobjid = DatumU32(values[4].datum);
  d.refobjsubid = DatumI32(values[5].datum);
  d.deptype = DatumChar(values[6].datum);
  byObject_[ObjectKey(d.classid, d.objid)].push_back(d);
  return 1;
}

std::vector<Dependency> pg_depend_Table::DependenciesOf(uint32_t classid, uint32_t objid) const {
  auto it = byObject_.find(ObjectKey(classid, objid));
  return it == byObject_.end() ? std::vector<Dependency>() : it->second;
}

}  // namespace vesk
