// The labels of the 8.3 enum types, read from pg_enum in Pass 1. A stored
// enum value is the OID of its pg_enum row.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "storage/row_handler.h"
#include "storage/table_reader.h"

namespace vesk {

class pg_attribute_Table;

class pg_enum_Table : public pg_some_Table {
 public:
  // Opens pg_enum through the catalogs (its relfilenode and columns), or the
  // file every 8.3 database starts with and the columns every 8.3 server
  // declares when the catalogs lost them.
  pg_enum_Table(pg_attribute_Table* attributes, uint8_t version);
  int ProcessRow(const RowValues& values, uint32_t oid) override;
  // Reads the whole catalog: 0, or -1000 when stopped. A missing file leaves
  // no labels (logged).
  int ReadLabels();

  // The label of the pg_enum row `oid`, or null.
  const char* FindLabel(uint32_t oid) const;
  // The labels of enum type `typeOid` in their sort order (row OID order,
  // as 8.3 assigns them).
  std::vector<const char*> LabelsOf(uint32_t typeOid) const;
  TableReader& reader() { return *reader_; }

 private:
  struct Label {
    uint32_t type = 0;
    std::array<char, 64> text{};
  };
  std::unique_ptr<TableReader> reader_;
  std::unordered_map<uint32_t, Label> byOid_;
};

}  // namespace vesk
