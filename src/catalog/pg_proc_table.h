// Functions, read from pg_proc when index expressions are written back as
// text: the name, whether it returns a set, and the argument types.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "catalog/named_catalog.h"

namespace vesk {

struct FunctionRecord {
  char proname[64] = {};
  uint32_t pronamespace = 0;
  bool proretset = false;
  std::vector<uint8_t> proargtypes;  // oidvector as stored
};

class pg_proc_Table : public NamedCatalog {
 public:
  explicit pg_proc_Table(uint8_t version);
  int ProcessRow(const RowValues& values, uint32_t oid) override;
  const FunctionRecord* Find(uint32_t oid) const;

 private:
  int name_, namespace_, retset_, argtypes_;
  std::unordered_map<uint32_t, FunctionRecord> byOid_;
};

}  // namespace vesk
