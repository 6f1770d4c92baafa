#include <cstring>

#include "catalog/catalog_readers.h"
#include "catalog/catalog_values.h"
#include "support/logger.h"
#include "support/scratch.h"

namespace vesk {
namespace {

void SetAttributeField(CatalogColumnDesc& c, size_t k, Datum d) {
  switch (k) {
    case 0: c.attrelid = DatumU32(d); break;
    case 2: c.atttypid = DatumU32(d); break;
    case 3: c.attstattarget = DatumI32(d); break;
    case 4: c.attlen = DatumI16(d); break;
    case 5: c.attnum = DatumI16(d); break;
    case 6: c.attndims = DatumI32(d); break;
    // 7, attcacheoff: the server always stores -1; a damaged stored value
    // would be taken as the column's offset in every row, so it is not read.
    case 8: c.atttypmod = DatumI32(d); break;
    case 9: c.attbyval = DatumBool(d); break;
    case 10: c.attstorage = DatumChar(d); break;
    case 11: c.attalign = DatumChar(d); break;
    case 12: c.attnotnull = DatumBool(d); break;
    case 13: c.atthasdef = DatumBool(d); break;
    case 14: c.attisdropped = DatumBool(d); break;
    case 15: c.attislocal = DatumBool(d); break;
    case 16: c.attinhcount = DatumI32(d); break;
    default: break;
  }
}

// A record with every member zero, as a row without values would leave it,
// except for attcacheoff, which must start unknown.
CatalogColumnDesc* NewColumnRecord() {
  CatalogColumnDesc* c = ScratchNew<CatalogColumnDesc>();
  c->attstattarget = 0;
  c->atttypmod = 0;
  c->attstorage = 0;
  c->attalign = 0;
  c->attislocal = false;
  c->attcacheoff = -1;
  return c;
}

}  // namespace

pg_attribute_Table::pg_attribute_Table(const char* fileName, uint8_t version)
    : reader_(MakeReader(version, fileName, this)) {
  std::strncpy(reader_->tableName, "pg_attribute", sizeof reader_->tableName - 1);
  reader_->cacheRows = false;
}

int pg_attribute_Table::ProcessRow(const RowValues& values, uint32_t) {
  const auto& columns = reader_->columns;
  CatalogColumnDesc* c = NewColumnRecord();
  CopyName(ValueAt(values, 1), columns.size() > 1 ? columns[1] : nullptr, c->attname);
  for (size_t k = 0; k < values.size() && k <= 16; ++k) {
    if (k == 1) continue;
    if (const AttrValue* v = ValueAt(values, k)) SetAttributeField(*c, k, v->datum);
  }
  if (IsEmptyName(c->attname)) {
    GenerateName(c->attname, "some_recov_attr_%i", nameCounter_, "Get NULL attr name, replace with %s");
  }
  reader_->AddRow(c);
  if (c->attnum > 0) byRelation_[c->attrelid].push_back(c);
  return 1;
}

int32_t pg_attribute_Table::CollectColumns(uint32_t relid, std::vector<CatalogColumnDesc*>& columns) {
  columns.clear();
  auto it = byRelation_.find(relid);
  if (it == byRelation_.end()) return -1;
  const std::vector<CatalogColumnDesc*>& collected = it->second;
  const size_t n = collected.size();

  // Each column goes to the slot of its attnum (a later duplicate replaces an
  // earlier one); an attnum beyond the count goes behind the slots.
  columns.assign(n, nullptr);
  for (CatalogColumnDesc* r : collected) {
    if (static_cast<size_t>(r->attnum) <= n) {
      columns[static_cast<size_t>(r->attnum) - 1] = r;
    } else {
      LogFormat("Wrong attnum (%i) for table with Oid %i. Lost column!", r->attnum, static_cast<int>(relid));
      columns.push_back(r);
    }
  }

  // Close the gaps; the first one is where decoding has to stop, because the
  // offsets of every later column depend on the missing column's width.
  int32_t firstMissing = -1;
  size_t kept = 0;
  for (CatalogColumnDesc* r : columns) {
    if (r == nullptr) {
      if (firstMissing < 0) firstMissing = static_cast<int32_t>(kept) + 1;
      continue;
    }
    columns[kept++] = r;
    LogFormat("Column\t%s\t N\t%i ", r->attname, r->attnum);
  }
  columns.resize(kept);
  if (firstMissing < 0) return -1;
  LogFormat("Find miss column for table %i in position %i. By this we lost at least %i columns!",
            static_cast<int>(relid), firstMissing, static_cast<int>(n) - firstMissing);
  return firstMissing;
}

}  // namespace vesk
