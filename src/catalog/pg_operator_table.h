// Operators, read from pg_operator when index expressions and predicates
// are written back as text: the name and operand types of each.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "catalog/named_catalog.h"

namespace vesk {

struct OperatorRecord {
  char oprname[64] = {};
  uint32_t oprnamespace = 0;
  uint32_t oprleft = 0;  // 0 for a prefix operator
  uint32_t oprright = 0;
};

class pg_operator_Table : public NamedCatalog {
 public:
  explicit pg_operator_Table(uint8_t version);
  int ProcessRow(const RowValues& values, uint32_t oid) override;
  const OperatorRecord* Find(uint32_t oid) const;

 private:
  int name_, namespace_, left_, right_;
  std::unordered_map<uint32_t, OperatorRecord> byOid_;
};

}  // namespace vesk
