// Opening a relation whose row layout the server fixes (a catalog read after
// Pass 1, a sequence) through the catalogs of the current run, with the
// built-in description as the fallback for a damaged or lost one.
#pragma once

#include <cstdint>
#include <memory>

#include "catalog/static_descriptors.h"
#include "storage/table_reader.h"

namespace vesk {

// A reader over relation `relid` as the run's catalogs describe it: its file
// by relfilenode where pg_class knows it, else the file named by the OID;
// `tableName` names it in the log. Its rows are not kept: each is taken as
// it is read.
std::unique_ptr<TableReader> OpenCatalogRelation(uint32_t relid, pg_some_Table* owner, uint8_t version,
                                                 const char* tableName);

// A reader over relation `relid`: its file by relfilenode where pg_class
// knows it, else the file named by the OID; its columns from pg_attribute
// when they are the ones `layout` declares (same count at the least, same
// widths, passing and alignment), else the built-in ones. `tableName` names
// it in the log.
std::unique_ptr<TableReader> OpenFixedLayoutRelation(uint32_t relid, StaticCatalog layout, pg_some_Table* owner,
                                                     uint8_t version, const char* tableName);

}  // namespace vesk
