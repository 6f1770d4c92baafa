#include "types/array/array_layout.h"

#include "support/logger.h"
#include "support/scratch.h"
#include "types/array/array_out.h"
#include "types/toast/varlena.h"

namespace vesk {
namespace {

constexpr uint32_t kFixedHeader = 16;  // length, ndim, data offset, element type

[[noreturn]] void Unreadable() {
  LogError("Error while try attempt array data");
  throw ScratchException{0};
}

}  // namespace

int32_t ArrayGetNItems(int32_t ndim, const int32_t* dims) {
  if (ndim <= 0) return 0;
  int64_t count = 1;
  for (int32_t i = 0; i < ndim; ++i) {
    // Checking after every step keeps the product far from overflowing.
    if (dims[i] < 0 || (count *= dims[i]) > kArrayMaxItems) {
      LogFormat("ArrayGetNItems: array size exceeds the maximum allowed (%d)", kArrayMaxItems);
      throw ScratchException{0};
    }
  }
  return static_cast<int32_t>(count);
}

ArrayLayout ReadArrayLayout(const uint8_t* value, uint32_t size) {
  ArrayLayout a;
  if (size < kFixedHeader) Unreadable();
  a.ndim = ReadI32(value + 4);
  if (a.ndim < 0 || a.ndim > kArrayMaxDims) {
    LogErrorNumber("Invalid number of array dimensions", a.ndim);
    throw ScratchException{0};
  }
  uint32_t dimsEnd = kFixedHeader + 8u * static_cast<uint32_t>(a.ndim);
  if (size < dimsEnd) Unreadable();
  for (int32_t i = 0; i < a.ndim; ++i) {
    a.dims[i] = ReadI32(value + kFixedHeader + 4 * i);
    a.lowerBounds[i] = ReadI32(value + kFixedHeader + 4 * (a.ndim + i));
  }
  a.elementType = ReadU32(value + 12);
  a.itemCount = ArrayGetNItems(a.ndim, a.dims);
  int32_t dataOffset = ReadI32(value + 8);
  if (dataOffset == 0) {
    a.dataStart = dimsEnd;
    return a;
  }
  // The bitmap lies between the bounds and the data, and the data start
  // inside the value.
  uint32_t bitmapBytes = (static_cast<uint32_t>(a.itemCount) + 7) / 8;
  if (dataOffset < 0 || static_cast<uint32_t>(dataOffset) < dimsEnd + bitmapBytes ||
      static_cast<uint32_t>(dataOffset) > size) {
    Unreadable();
  }
  a.bitmap = value + dimsEnd;
  a.dataStart = static_cast<uint32_t>(dataOffset);
  return a;
}

bool NeedsBoundsPrefix(const ArrayLayout& layout) {
  for (int32_t i = 0; i < layout.ndim; ++i) {
    if (layout.lowerBounds[i] != 1) return true;
  }
  return false;
}

}  // namespace vesk
