#include "catalog/pg_proc_table.h"

#include "support/logger.h"

namespace vesk {
namespace {

constexpr uint32_t kProcRelid = 1255;

}  // namespace

pg_proc_Table::pg_proc_Table(uint8_t version)
    : NamedCatalog(kProcRelid, "pg_proc", version),
      name_(FieldIndex("proname", 64)),
      namespace_(FieldIndex("pronamespace", 4)),
      retset_(FieldIndex("proretset", 1)),
      argtypes_(FieldIndex("proargtypes", -1)) {}

int pg_proc_Table::ProcessRow(const RowValues& values, uint32_t oid) {
  FunctionRecord r;
  if (oid == 0 || !ReadName(values, name_, r.proname) || !ReadU32(values, namespace_, r.pronamespace) ||
      !ReadBool(values, retset_, r.proretset) || !ReadStored(values, argtypes_, r.proargtypes)) {
    LogNumber("Skip pg_proc row without name, schema or argument types, Oid", static_cast<int>(oid));
    return 0;
  }
  return byOid_.try_emplace(oid, std::move(r)).second ? 1 : 0;
}

const FunctionRecord* pg_proc_Table::Find(uint32_t oid) const {
  auto it = byOid_.find(oid);
  return it == byOid_.end() ? nullptr : &it->second;
}

}  // namespace vesk
