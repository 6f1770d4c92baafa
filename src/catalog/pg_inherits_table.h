// The inheritance links of pg_inherits: which table is a child of which
// parent, in the order the child names its parents.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "storage/row_handler.h"
#include "storage/table_reader.h"

namespace vesk {

struct InheritanceLink {
  uint32_t inhrelid = 0;   // the child
  uint32_t inhparent = 0;  // the parent
  int32_t inhseqno = 0;    // 1 for the first parent the child names
};

class pg_inherits_Table : public pg_some_Table {
 public:
  explicit pg_inherits_Table(uint8_t version);
  int ProcessRow(const RowValues& values, uint32_t oid) override;
  // Reads the whole catalog: 0, or -1000 when stopped. A missing file
  // leaves no links (logged).
  int ReadLinks();
  // Every link, grouped by child in the order the children first appear in
  // the file, each child's parents by inhseqno; a repeated (child, parent)
  // pair only once.
  std::vector<InheritanceLink> OrderedLinks() const;
  TableReader& reader() { return *reader_; }

 private:
  std::unique_ptr<TableReader> reader_;
  std::vector<InheritanceLink> links_;
};

}  // namespace vesk
