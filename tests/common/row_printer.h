// Prints a relation of the database in Run() through the catalogs and the
// output dispatch, in the text the original server printed for it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "catalog/catalog_readers.h"
#include "common/record_text.h"
#include "storage/row_handler.h"
#include "storage/table_reader.h"
#include "support/recovery_run.h"
#include "support/scratch.h"
#include "types/registry/type_output.h"

namespace vesk::testing {

// Each row becomes "(f1,f2,...)" over the first `fields` live columns,
// COPY-escaped. A value the output routines could not print shows as
// "<null>", so that it never passes for an SQL null.
class RowPrinter : public pg_some_Table {
 public:
  static constexpr size_t kAllFields = std::numeric_limits<size_t>::max();

  explicit RowPrinter(size_t fields = kAllFields) : fields_(fields) {}

  // Every row of the relation, sorted (heap order is no contract); none when
  // the relation cannot be opened.
  std::vector<std::string> PrintRelation(uint32_t relid) {
    rows_.clear();
    std::unique_ptr<TableReader> reader = OpenRelationById(relid, this, Run().version);
    if (!reader) return {};
    reader_ = reader.get();
    reader->ReadTable();
    reader_ = nullptr;
    std::sort(rows_.begin(), rows_.end());
    return rows_;
  }

  int ProcessRow(const RowValues& values, uint32_t) override {
    std::string row = "(";
    size_t printed = 0;
    for (size_t i = 0; i < reader_->columns.size() && printed < fields_; ++i) {
      const CatalogColumnDesc* column = reader_->columns[i];
      if (column->attisdropped) continue;
      if (printed++ > 0) row += ',';
      if (i >= values.size() || values[i].isnull) continue;
      ScratchMark();
      char* text = TypeOutput(Run().version, column->atttypid, values[i].datum, column->atttypmod);
      row += text ? RecordField(ServerText(column->atttypid, text)) : "<null>";
      ScratchReleaseToMark();
    }
    rows_.push_back(CopyEscaped(row + ")"));
    return 1;
  }

 protected:
  // The text the original server printed for a value this system prints as
  // `text`; the same text unless a test knows of a deliberate difference.
  virtual std::string ServerText(uint32_t /*typeOid*/, const char* text) const { return text; }

 private:
  size_t fields_;
  TableReader* reader_ = nullptr;
  std::vector<std::string> rows_;
};

}  // namespace vesk::testing
