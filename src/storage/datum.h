// One decoded attribute value and the list of them for one record.
#pragma once

#include <cstdint>
#include <vector>

namespace vesk {

// The value itself for pass-by-value columns of length 1, 2 or 4
// (zero-extended), otherwise the address of the stored bytes (for a
// variable-length value, the address of its length header).
using Datum = uintptr_t;

inline const uint8_t* DatumPointer(Datum d) { return reinterpret_cast<const uint8_t*>(d); }
inline Datum PointerDatum(const void* p) { return reinterpret_cast<Datum>(p); }

struct AttrValue {
  Datum datum = 0;
  bool isnull = true;
};

// Values of one record in column order; may be shorter than the column list
// when decoding stopped early. Pass-by-reference values point into the page
// buffer and are valid only while the row handler runs.
using RowValues = std::vector<AttrValue>;

}  // namespace vesk
