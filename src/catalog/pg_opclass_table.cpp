#include "catalog/pg_opclass_table.h"

#include "support/logger.h"

namespace vesk {
namespace {

constexpr uint32_t kOpclassRelid = 2616;

}  // namespace

pg_opclass_Table::pg_opclass_Table(uint8_t version)
    : NamedCatalog(kOpclassRelid, "pg_opclass", version),
      name_(FieldIndex("opcname", 64)),
      namespace_(FieldIndex("opcnamespace", 4)),
      method_(FieldIndex("opcamid", "opcmethod", 4)),
      intype_(FieldIndex("opcintype", 4)),
      default_(FieldIndex("opcdefault", 1)) {}

int pg_opclass_Table::ProcessRow(const RowValues& values, uint32_t oid) {
  OpclassRecord r;
  if (oid == 0 || !ReadName(values, name_, r.opcname) || !ReadU32(values, method_, r.method)) {
    LogNumber("Skip pg_opclass row without name or method, Oid", static_cast<int>(oid));
    return 0;
  }
  ReadU32(values, namespace_, r.opcnamespace);
  ReadU32(values, intype_, r.opcintype);
  ReadBool(values, default_, r.opcdefault);
  return byOid_.try_emplace(oid, r).second ? 1 : 0;
}

const OpclassRecord* pg_opclass_Table::Find(uint32_t oid) const {
  auto it = byOid_.find(oid);
  return it == byOid_.end() ? nullptr : &it->second;
}

bool pg_opclass_Table::HasDefaultFor(uint32_t method, uint32_t type) const {
  for (const auto& [oid, r] : byOid_) {
    if (r.opcdefault && r.method == method && r.opcintype == type) return true;
  }
  return false;
}

}  // namespace vesk
