// Indexes, read from pg_index when the script rebuilds them. The column
// vectors and the stored expression trees are kept as stored.
#pragma once

#include <cstdint>
#include <unordered_set>
#include <vector>

#include "catalog/named_catalog.h"

namespace vesk {

struct IndexRecord {
  uint32_t indexrelid = 0;
  uint32_t indrelid = 0;
  int16_t indnatts = 0;
  bool indisunique = false;
  bool indisprimary = false;
  bool indisvalid = true;          // 8.2 and 8.3; a failed concurrent build leaves it false
  std::vector<uint8_t> indkey;     // int2vector: attnums, 0 for an expression
  std::vector<uint8_t> indclass;   // oidvector: operator classes
  std::vector<uint8_t> indoption;  // int2vector (8.3): DESC and NULLS FIRST bits
  std::vector<uint8_t> indexprs;   // text: the key expressions' trees, empty when none
  std::vector<uint8_t> indpred;    // text: the WHERE condition's tree, empty when none
  bool hasExpressions = false;     // indexprs not null (even when unreadable)
  bool hasPredicate = false;       // indpred not null
};

class pg_index_Table : public NamedCatalog {
 public:
  explicit pg_index_Table(uint8_t version);
  int ProcessRow(const RowValues& values, uint32_t oid) override;
  // In file order, the first row of each index only.
  const std::vector<IndexRecord>& records() const { return records_; }

 private:
  struct Fields {
    int indexrelid, indrelid, indnatts, indisunique, indisprimary, indisvalid, indkey, indclass, indoption, indexprs,
        indpred;
  };
  Fields fields_{};
  std::vector<IndexRecord> records_;
  std::unordered_set<uint32_t> seen_;
};

}  // namespace vesk
