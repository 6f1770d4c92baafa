// Row values of composite types are printed once per stored value; their
// column lists come from the catalog and do not change during a run.
#include "catalog/catalog_readers.h"

namespace vesk {

const pg_attribute_Table::RowTypeColumns& pg_attribute_Table::ColumnsOfRowType(uint32_t relid) {
  auto [it, inserted] = rowTypes_.try_emplace(relid);
  if (inserted) it->second.columnLimit = CollectColumns(relid, it->second.columns);
  return it->second;
}

}  // namespace vesk
