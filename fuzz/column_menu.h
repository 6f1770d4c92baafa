// The column kinds a record-decoder fuzz input picks from, one byte each:
// every physical shape the decoder handles (by-value widths, fixed by
// reference, variable-length, NUL-terminated, all four alignments).
#pragma once

#include <cstdint>

#include "storage/column_desc.h"

namespace vesk::fuzz {

inline constexpr int kColumnKinds = 10;
inline constexpr int kMaxColumns = 12;

inline CatalogColumnDesc ColumnOfKind(uint8_t kind) {
  struct Shape {
    int16_t len;
    bool byval;
    char align;
    char storage;
  };
  static const Shape shapes[kColumnKinds] = {
      {4, true, 'i', 'p'},   {2, true, 's', 'p'},  {1, true, 'c', 'p'},   {8, false, 'd', 'p'},
      {-1, false, 'i', 'x'}, {-1, false, 'd', 'x'}, {-2, false, 'c', 'p'}, {64, false, 'i', 'p'},
      {-1, false, 'c', 'p'}, {16, false, 'd', 'p'}};
  const Shape& s = shapes[kind % kColumnKinds];
  CatalogColumnDesc d;
  d.attlen = s.len;
  d.attbyval = s.byval;
  d.attalign = s.align;
  d.attstorage = s.storage;
  d.atttypid = 25;
  return d;
}

}  // namespace vesk::fuzz
