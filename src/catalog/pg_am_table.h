// Index access methods, read from pg_am when the script rebuilds indexes:
// only their names are needed.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "catalog/named_catalog.h"

namespace vesk {

class pg_am_Table : public NamedCatalog {
 public:
  explicit pg_am_Table(uint8_t version);
  int ProcessRow(const RowValues& values, uint32_t oid) override;
  // The method's name, or null.
  const char* FindName(uint32_t oid) const;

 private:
  struct Name {
    char text[64] = {};
  };
  int name_;
  std::unordered_map<uint32_t, Name> byOid_;
};

}  // namespace vesk
