#include "catalog/pg_am_table.h"

#include "support/logger.h"

namespace vesk {
namespace {

constexpr uint32_t kAmRelid = 2601;

}  // namespace

pg_am_Table::pg_am_Table(uint8_t version) : NamedCatalog(kAmRelid, "pg_am", version), name_(FieldIndex("amname", 64)) {}

int pg_am_Table::ProcessRow(const RowValues& values, uint32_t oid) {
  Name name;
  if (oid == 0 || !ReadName(values, name_, name.text)) {
    LogNumber("Skip pg_am row without name, Oid", static_cast<int>(oid));
    return 0;
  }
  return byOid_.try_emplace(oid, name).second ? 1 : 0;
}

const char* pg_am_Table::FindName(uint32_t oid) const {
  auto it = byOid_.find(oid);
  return it == byOid_.end() ? nullptr : it->second.text;
}

}  // namespace vesk
