// int2vector and oidvector: one-dimensional arrays printed as numbers
// separated by blanks.
#include <charconv>
#include <cstring>

#include "support/recovery_run.h"
#include "support/scratch.h"
#include "types/scalar/output_guard.h"
#include "types/scalar/scalar_out.h"
#include "types/scalar/var_bytes.h"
#include "types/toast/varlena.h"

namespace vesk {

using namespace scalar;

namespace {

// Offsets within the payload (after the length word): dimension count, then
// data offset and element type, then the length and lower bound of the one
// dimension, then the elements.
constexpr uint32_t kNdimOffset = 0;
constexpr uint32_t kCountOffset = 12;
constexpr uint32_t kValuesOffset = 20;

// Number of elements, checked against the stored size.
int32_t ElementCount(const VarBytes& bytes, uint32_t elementSize) {
  if (bytes.size < kValuesOffset) {
    // An empty vector may be stored without dimensions.
    if (bytes.size >= 4 && ReadI32(bytes.data + kNdimOffset) == 0) return 0;
    RejectLength(bytes.size);
  }
  int32_t count = ReadI32(bytes.data + kCountOffset);
  uint64_t room = (bytes.size - kValuesOffset) / elementSize;
  if (count < 0 || static_cast<uint64_t>(count) > room) RejectLength(count);
  return count;
}

template <typename Element, int kMaxDigits>
char* VectorText(Datum d) {
  if (!DatumPointer(d)) return nullptr;
  return GuardOutput([&] {
    VarBytes bytes = RequireBytes(Run().version, d);
    int32_t count = ElementCount(bytes, sizeof(Element));
    uint64_t size = static_cast<uint64_t>(count) * (kMaxDigits + 1) + 1;
    if (size > kScratchMaxBlock) RejectLength(count);
    char* text = static_cast<char*>(ScratchAlloc(static_cast<uint32_t>(size)));
    char* out = text;
    const uint8_t* values = bytes.data + kValuesOffset;
    for (int32_t i = 0; i < count; ++i) {
      Element value;
      std::memcpy(&value, values + static_cast<size_t>(i) * sizeof(Element), sizeof(Element));
      if (i > 0) *out++ = ' ';
      out = std::to_chars(out, text + size, value).ptr;
    }
    *out = '\0';
    return text;
  });
}

}  // namespace

char* int2vectorout(Datum d) { return VectorText<int16_t, 6>(d); }

char* oidvectorout(Datum d) { return VectorText<uint32_t, 10>(d); }

}  // namespace vesk
