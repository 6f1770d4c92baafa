// The dependencies of pg_depend that tie sequences to the columns that own
// them and defaults to the objects their expressions name. Only rows whose
// dependent object is a relation or a default are kept: the catalog holds
// one row per dependency of every object in the database.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "storage/row_handler.h"
#include "storage/table_reader.h"

namespace vesk {

inline constexpr uint32_t kPgClassRelid = 1259;
inline constexpr uint32_t kPgAttrdefRelid = 2604;
inline constexpr uint32_t kPgTypeRelid = 1247;

struct Dependency {
  uint32_t classid = 0;
  uint32_t objid = 0;
  int32_t objsubid = 0;
  uint32_t refclassid = 0;
  uint32_t refobjid = 0;
  int32_t refobjsubid = 0;
  char deptype = 0;  // 'n' normal, 'a' automatic, 'i' internal, 'p' pinned
};

class pg_depend_Table : public pg_some_Table {
 public:
  explicit pg_depend_Table(uint8_t version);
  int ProcessRow(const RowValues& values, uint32_t oid) override;
  // Reads the whole catalog: 0, or -1000 when stopped. A missing file
  // leaves no dependencies (logged).
  int ReadDependencies();
  // The kept rows whose dependent object is (classid, objid), in file order.
  std::vector<Dependency> DependenciesOf(uint32_t classid, uint32_t objid) const;
  TableReader& reader() { return *reader_; }

 private:
  std::unique_ptr<TableReader> reader_;
  // (classid, objid) -> its rows in file order
  std::unordered_map<uint64_t, std::vector<Dependency>> byObject_;
};

}  // namespace vesk
