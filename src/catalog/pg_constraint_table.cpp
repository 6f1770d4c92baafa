#include "catalog/pg_constraint_table.h"

#include "support/logger.h"

namespace vesk {
namespace {

constexpr uint32_t kConstraintRelid = 2606;

}  // namespace

pg_constraint_Table::pg_constraint_Table(uint8_t version) : NamedCatalog(kConstraintRelid, "pg_constraint", version) {
  fields_ = {FieldIndex("conname", 64),       FieldIndex("connamespace", 4), FieldIndex("contype", 1),
               FieldIndex("condeferrable", 1),  FieldIndex("condeferred", 1),  FieldIndex("conrelid", 4),
               FieldIndex("contypid", 4),       FieldIndex("confrelid", 4),    FieldIndex("confupdtype", 1),
               FieldIndex("confdeltype", 1),    FieldIndex("confmatchtype", 1), FieldIndex("conkey", -1),
               FieldIndex("confkey", -1),       FieldIndex("conbin", -1),      FieldIndex("consrc", -1)};
}

int pg_constraint_Table::ProcessRow(const RowValues& values, uint32_t oid) {
  ConstraintRecord r;
  r.oid = oid;
  if (oid == 0 || !ReadName(values, fields_.conname, r.conname) || !ReadChar(values, fields_.contype, r.contype)) {
    LogNumber("Skip pg_constraint row without name or kind, Oid", static_cast<int>(oid));
    return 0;
  }
  if (!seen_.insert(oid).second) return 0;  // the first row of an OID wins
  ReadU32(values, fields_.connamespace, r.connamespace);
  ReadBool(values, fields_.condeferrable, r.condeferrable);
  ReadBool(values, fields_.condeferred, r.condeferred);
  ReadU32(values, fields_.conrelid, r.conrelid);
  ReadU32(values, fields_.contypid, r.contypid);
  ReadU32(values, fields_.confrelid, r.confrelid);
  ReadChar(values, fields_.confupdtype, r.confupdtype);
  ReadChar(values, fields_.confdeltype, r.confdeltype);
  ReadChar(values, fields_.confmatchtype, r.confmatchtype);
  ReadStored(values, fields_.conkey, r.conkey);
  ReadStored(values, fields_.confkey, r.confkey);
  ReadStored(values, fields_.conbin, r.conbin);
  ReadStored(values, fields_.consrc, r.consrc);
  records_.push_back(std::move(r));
  return 1;
}

}  // namespace vesk
