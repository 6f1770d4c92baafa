#include "catalog/pg_operator_table.h"

#include "support/logger.h"

namespace vesk {
namespace {

constexpr uint32_t kOperatorRelid = 2617;

}  // namespace

pg_operator_Table::pg_operator_Table(uint8_t version)
    : NamedCatalog(kOperatorRelid, "pg_operator", version),
      name_(FieldIndex("oprname", 64)),
      namespace_(FieldIndex("oprnamespace", 4)),
      left_(FieldIndex("oprleft", 4)),
      right_(FieldIndex("oprright", 4)) {}

int pg_operator_Table::ProcessRow(const RowValues& values, uint32_t oid) {
  OperatorRecord r;
  if (oid == 0 || !ReadName(values, name_, r.oprname) || !ReadU32(values, namespace_, r.oprnamespace) ||
      !ReadU32(values, left_, r.oprleft) || !ReadU32(values, right_, r.oprright)) {
    LogNumber("Skip pg_operator row without name, schema or operand types, Oid", static_cast<int>(oid));
    return 0;
  }
  return byOid_.try_emplace(oid, r).second ? 1 : 0;
}

const OperatorRecord* pg_operator_Table::Find(uint32_t oid) const {
  auto it = byOid_.find(oid);
  return it == byOid_.end() ? nullptr : &it->second;
}

}  // namespace vesk
