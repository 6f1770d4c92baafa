// Operator classes, read from pg_opclass when the script rebuilds indexes:
// which class an index column uses and whether it is the default one for the
// column's type.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "catalog/named_catalog.h"

namespace vesk {

struct OpclassRecord {
  char opcname[64] = {};
  uint32_t opcnamespace = 0;
  uint32_t method = 0;  // opcamid (8.2), opcmethod (8.3): the access method
  uint32_t opcintype = 0;
  bool opcdefault = false;
};

class pg_opclass_Table : public NamedCatalog {
 public:
  explicit pg_opclass_Table(uint8_t version);
  int ProcessRow(const RowValues& values, uint32_t oid) override;
  const OpclassRecord* Find(uint32_t oid) const;
  // True when some default class of `method` takes `type` itself.
  bool HasDefaultFor(uint32_t method, uint32_t type) const;

 private:
  int name_, namespace_, method_, intype_, default_;
  std::unordered_map<uint32_t, OpclassRecord> byOid_;
};

}  // namespace vesk
