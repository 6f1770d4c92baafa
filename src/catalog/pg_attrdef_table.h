// The column defaults of pg_attrdef, read after the data for the objects
// that follow it. 8.x keeps each default's text (adsrc) beside its node
// tree; only the text is kept here, in its stored form.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "storage/row_handler.h"
#include "storage/table_reader.h"

namespace vesk {

struct ColumnDefault {
  uint32_t oid = 0;  // the pg_attrdef row's own: what pg_depend rows name
  uint32_t adrelid = 0;
  int16_t adnum = 0;
  std::string storedText;  // adsrc as stored (see StoredVarlena)
};

class pg_attrdef_Table : public pg_some_Table {
 public:
  explicit pg_attrdef_Table(uint8_t version);
  int ProcessRow(const RowValues& values, uint32_t oid) override;
  // Reads the whole catalog: 0, or -1000 when stopped. A missing file
  // leaves no defaults (logged).
  int ReadDefaults();
  // In file order; the first row of a column is its default.
  const std::vector<ColumnDefault>& defaults() const { return defaults_; }
  TableReader& reader() { return *reader_; }

 private:
  std::unique_ptr<TableReader> reader_;
  uint8_t version_;
  std::vector<ColumnDefault> defaults_;
};

}  // namespace vesk
