// The description of one column, laid out like a row of pg_attribute: used
// for the static catalog descriptors, for the rows read from pg_attribute, and
// (by pointer) as the column list of every table reader.
#pragma once

#include <cstdint>

namespace vesk {

struct CatalogColumnDesc {
  uint32_t attrelid = 0;
  char attname[64] = {};
  uint32_t atttypid = 0;  // 0xFFFFFFFF once the definition writer found no type
  int32_t attstattarget = -1;
  int16_t attlen = 0;  // -1 varlena, -2 NUL-terminated string
  int16_t attnum = 0;
  int32_t attndims = 0;
  int32_t attcacheoff = -1;  // memoised offset from the data start; -1 unknown
  int32_t atttypmod = -1;
  bool attbyval = false;
  char attstorage = 'p';
  char attalign = 'c';
  bool attnotnull = false;
  bool atthasdef = false;
  bool attisdropped = false;
  bool attislocal = true;
  int32_t attinhcount = 0;
};

inline constexpr uint32_t kLostColumnType = 0xFFFFFFFFu;

}  // namespace vesk
