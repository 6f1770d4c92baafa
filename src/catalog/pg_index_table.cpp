#include "catalog/pg_index_table.h"

#include "catalog/catalog_values.h"
#include "support/logger.h"

namespace vesk {
namespace {

constexpr uint32_t kIndexRelid = 2610;

bool Present(const RowValues& values, int index) {
  return index >= 0 && ValueAt(values, static_cast<size_t>(index)) != nullptr;
}

}  // namespace

pg_index_Table::pg_index_Table(uint8_t version) : NamedCatalog(kIndexRelid, "pg_index", version) {
  fields_ = {FieldIndex("indexrelid", 4), FieldIndex("indrelid", 4),   FieldIndex("indnatts", 2),
             FieldIndex("indisunique", 1), FieldIndex("indisprimary", 1), FieldIndex("indisvalid", 1),
             FieldIndex("indkey", -1),    FieldIndex("indclass", -1),  FieldIndex("indoption", -1),
             FieldIndex("indexprs", -1),  FieldIndex("indpred", -1)};
}

int pg_index_Table::ProcessRow(const RowValues& values, uint32_t) {
  IndexRecord r;
  if (!ReadU32(values, fields_.indexrelid, r.indexrelid) || !ReadU32(values, fields_.indrelid, r.indrelid) ||
      !ReadStored(values, fields_.indkey, r.indkey)) {
    Log("Skip pg_index row without index, table or columns");
    return 0;
  }
  if (!seen_.insert(r.indexrelid).second) return 0;  // the first row of an index wins
  ReadI16(values, fields_.indnatts, r.indnatts);
  ReadBool(values, fields_.indisunique, r.indisunique);
  ReadBool(values, fields_.indisprimary, r.indisprimary);
  ReadBool(values, fields_.indisvalid, r.indisvalid);
  ReadStored(values, fields_.indclass, r.indclass);
  ReadStored(values, fields_.indoption, r.indoption);
  r.hasExpressions = Present(values, fields_.indexprs);
  r.hasPredicate = Present(values, fields_.indpred);
  ReadStored(values, fields_.indexprs, r.indexprs);
  ReadStored(values, fields_.indpred, r.indpred);
  records_.push_back(std::move(r));
  return 1;
}

}  // namespace vesk
