#include <cstring>

#include "catalog/catalog_readers.h"
#include "catalog/catalog_values.h"
#include "support/logger.h"
#include "support/scratch.h"

namespace vesk {
namespace {

// reltuples is a float4, stored by reference in both layouts; a descriptor
// that says otherwise carries the bits in the datum itself.
float ReadFloat4(const AttrValue& value, const CatalogColumnDesc* column) {
  uint32_t bits = 0;
  if (column != nullptr && column->attbyval) {
    bits = DatumU32(value.datum);
  } else if (value.datum != 0) {
    std::memcpy(&bits, DatumPointer(value.datum), sizeof bits);
  }
  float f = 0;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

void SetClassField(RecoveredTable& t, size_t k, const AttrValue& v, const CatalogColumnDesc* column) {
  Datum d = v.datum;
  switch (k) {
    case 1: t.relnamespace = DatumU32(d); break;
    case 2: t.reltype = DatumU32(d); break;
    case 3: t.relowner = DatumU32(d); break;
    case 4: t.relam = DatumU32(d); break;
    case 5: t.relfilenode = DatumU32(d); break;
    case 6: t.reltablespace = DatumU32(d); break;
    case 7: t.relpages = DatumI32(d); break;
    case 8: t.reltuples = ReadFloat4(v, column); break;
    case 9: t.reltoastrelid = DatumU32(d); break;
    case 10: t.reltoastidxid = DatumU32(d); break;
    case 11: t.relhasindex = DatumBool(d); break;
    case 12: t.relisshared = DatumBool(d); break;
    case 13: t.relkind = DatumChar(d); break;
    case 14: t.relnatts = DatumI16(d); break;
    case 15: t.relchecks = DatumI16(d); break;
    case 16: t.reltriggers = DatumI16(d); break;
    case 17: t.relukeys = DatumI16(d); break;
    case 18: t.relfkeys = DatumI16(d); break;
    case 19: t.relrefs = DatumI16(d); break;
    case 20: t.relhasoids = DatumBool(d); break;
    case 21: t.relhaspkey = DatumBool(d); break;
    case 22: t.relhasrules = DatumBool(d); break;
    case 23: t.relhassubclass = DatumBool(d); break;
    case 24: t.relfrozenxid = DatumU32(d); break;
    default: break;
  }
}

}  // namespace

pg_class_Table::pg_class_Table(const char* fileName, uint8_t version)
    : reader_(MakeReader(version, fileName, this)) {
  std::strncpy(reader_->tableName, "pg_class", sizeof reader_->tableName - 1);
  reader_->cacheRows = false;
}

int pg_class_Table::ProcessRow(const RowValues& values, uint32_t oid) {
  const auto& columns = reader_->columns;
  auto column = [&](size_t k) { return k < columns.size() ? columns[k] : nullptr; };

  // A relname the decoder could not locate leaves nothing to name the row by.
  if (!values.empty() && !values[0].isnull && values[0].datum == 0) return 0;

  RecoveredTable* t = ScratchNew<RecoveredTable>();
  t->oid = oid;
  CopyName(ValueAt(values, 0), column(0), t->relname);
  // relacl and reloptions (25, 26) are not kept.
  for (size_t k = 1; k < values.size() && k <= 24; ++k) {
    if (const AttrValue* v = ValueAt(values, k)) SetClassField(*t, k, *v, column(k));
  }
  reader_->AddRow(t);
  byType_.try_emplace(t->reltype, t);
  LogFormat("Found table: name ={%s} owner = 0x%X reltype = 0x%X ", t->relname, t->relowner, t->reltype);
  return 1;
}

const RecoveredTable* pg_class_Table::FindTableByType(uint32_t typeOid) {
  auto it = byType_.find(typeOid);
  return it == byType_.end() ? nullptr : it->second;
}

}  // namespace vesk
