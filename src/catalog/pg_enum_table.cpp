#include "catalog/pg_enum_table.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "catalog/catalog_readers.h"
#include "catalog/catalog_values.h"
#include "catalog/static_descriptors.h"
#include "platform/platform.h"
#include "support/logger.h"
#include "support/recovery_run.h"

namespace vesk {
namespace {

constexpr uint32_t kEnumRelid = 3501;

// The catalog's own description is used only when it is the one the
// decoding below expects; a damaged one would misplace every label.
bool HasExpectedColumns(const TableReader& reader) {
  const auto& c = reader.columns;
  return c.size() >= 2 && c[0]->attnum == 1 && c[0]->attlen == 4 && c[0]->attbyval && c[1]->attnum == 2 &&
         c[1]->attlen == static_cast<int16_t>(kNameSize) && !c[1]->attbyval;
}

}  // namespace

pg_enum_Table::pg_enum_Table(pg_attribute_Table* attributes, uint8_t version)
    : reader_(attributes != nullptr ? OpenRelationById(kEnumRelid, this, version) : MakeBareReader(version, this)) {
  if (reader_->path.empty()) reader_->path = Run().databaseDirectory + std::to_string(kEnumRelid);
  if (!HasExpectedColumns(*reader_)) {
    Log("No description of pg_enum's columns, using the built-in one");
    FillStaticColumns(reader_->columns, StaticCatalog::kPgEnum);
    reader_->columnLimit = -1;
  }
  std::strncpy(reader_->tableName, "pg_enum", sizeof reader_->tableName - 1);
  reader_->cacheRows = false;
}

int pg_enum_Table::ReadLabels() {
  if (!platform::FileExists(reader_->path)) {
    LogValue("Cant find pg_enum, enum values will be NULL:", reader_->path.c_str());
    return 0;
  }
  return reader_->ReadTable();
}

int pg_enum_Table::ProcessRow(const RowValues& values, uint32_t oid) {
  const AttrValue* type = ValueAt(values, 0);
  Label label;
  if (oid == 0 || type == nullptr ||
      !CopyName(ValueAt(values, 1), reader_->columns.size() > 1 ? reader_->columns[1] : nullptr,
                label.text.data())) {
    LogNumber("Skip pg_enum row without type or label, Oid", static_cast<int>(oid));
    return 0;
  }
  label.type = DatumU32(type->datum);
  // The first row of an OID wins, as with the other catalogs.
  return byOid_.try_emplace(oid, label).second ? 1 : 0;
}

const char* pg_enum_Table::FindLabel(uint32_t oid) const {
  auto it = byOid_.find(oid);
  return it == byOid_.end() ? nullptr : it->second.text.data();
}

std::vector<const char*> pg_enum_Table::LabelsOf(uint32_t typeOid) const {
  std::vector<std::pair<uint32_t, const char*>> found;
  for (const auto& [oid, label] : byOid_) {
    if (label.type == typeOid) found.emplace_back(oid, label.text.data());
  }
  std::sort(found.begin(), found.end());
  std::vector<const char*> labels;
  for (const auto& entry : found) labels.push_back(entry.second);
  return labels;
}

}  // namespace vesk
