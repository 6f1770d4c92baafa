// Base of every row handler: the catalog readers and the row-script writer
// receive each decoded record here.
#pragma once

#include <cstdint>

#include "storage/datum.h"

namespace vesk {

class pg_some_Table {
 public:
  virtual ~pg_some_Table() = default;
  // Returns the number of rows taken (0 or 1), or -1000 to stop the scan.
  virtual int ProcessRow(const RowValues& values, uint32_t oid) = 0;
  // A record set aside as implausible, with what of it could be decoded
  // (possibly nothing) and why. Catalog readers simply never see it.
  virtual void QuarantineRow(const RowValues& /*values*/, uint32_t /*page*/, uint32_t /*item*/,
                             const char* /*reason*/) {}
};

}  // namespace vesk
