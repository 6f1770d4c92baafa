// Table and domain constraints, read from pg_constraint when the script
// rebuilds keys and checks. Key and text columns are kept as stored; the
// script side rebuilds them.
#pragma once

#include <cstdint>
#include <unordered_set>
#include <vector>

#include "catalog/named_catalog.h"

namespace vesk {

struct ConstraintRecord {
  uint32_t oid = 0;
  char conname[64] = {};
  uint32_t connamespace = 0;
  char contype = 0;  // 'p' primary key, 'u' unique, 'c' check, 'f' foreign key
  bool condeferrable = false;
  bool condeferred = false;
  uint32_t conrelid = 0;  // 0 for a domain constraint
  uint32_t contypid = 0;  // the domain, else 0
  uint32_t confrelid = 0;
  char confupdtype = 0;
  char confdeltype = 0;
  char confmatchtype = 0;
  std::vector<uint8_t> conkey;   // int2[] as stored, empty when null
  std::vector<uint8_t> confkey;  // int2[]
  std::vector<uint8_t> conbin;   // text: the expression's node tree
  std::vector<uint8_t> consrc;   // text: the expression as written back then
};

class pg_constraint_Table : public NamedCatalog {
 public:
  explicit pg_constraint_Table(uint8_t version);
  int ProcessRow(const RowValues& values, uint32_t oid) override;
  // In file order, the first row of each OID only.
  const std::vector<ConstraintRecord>& records() const { return records_; }

 private:
  struct Fields {
    int conname, connamespace, contype, condeferrable, condeferred, conrelid, contypid, confrelid, confupdtype,
        confdeltype, confmatchtype, conkey, confkey, conbin, consrc;
  };
  Fields fields_{};
  std::vector<ConstraintRecord> records_;
  std::unordered_set<uint32_t> seen_;
};

}  // namespace vesk
