// The header of a stored array value: dimensions, lower bounds, element type,
// null bitmap and where the element data begin, checked against the value's
// length so that nothing after it reads outside the value.
#pragma once

#include <cstdint>

namespace vesk {

inline constexpr int32_t kArrayMaxDims = 6;
inline constexpr int32_t kArrayMaxItems = 0x0FFFFFFF;

struct ArrayLayout {
  int32_t ndim = 0;
  int32_t dims[kArrayMaxDims] = {};
  int32_t lowerBounds[kArrayMaxDims] = {};
  uint32_t elementType = 0;
  int32_t itemCount = 0;
  const uint8_t* bitmap = nullptr;  // one bit per element, set = present; null when none
  uint32_t dataStart = 0;           // offset of the first element from the value start
};

// Reads the header of the plain (4-byte header) array value `value` of
// `size` bytes. Raises ScratchException (logged) for too many or negative
// dimensions, a refused element count, or a header, bitmap or data offset
// that does not fit in `size`.
ArrayLayout ReadArrayLayout(const uint8_t* value, uint32_t size);

// True when some lower bound is not 1, so the text needs a "[lo:hi]" prefix.
bool NeedsBoundsPrefix(const ArrayLayout& layout);

}  // namespace vesk
