// array_out82 and array_out83: header form, element type and element
// printing per layout around the shared walk of array_text.
#include "types/array/array_out.h"

#include "support/logger.h"
#include "support/scratch.h"
#include "types/array/array_layout.h"
#include "types/array/array_text.h"
#include "types/array/element_text.h"
#include "types/geometric/output_guard.h"
#include "types/registry/nesting_guard.h"
#include "types/registry/type_output.h"
#include "types/scalar/scalar_out.h"
#include "types/toast/toast.h"
#include "types/toast/varlena.h"

namespace vesk {
namespace {

// An element type that is itself printed as an array (oidvector, int2vector)
// nests one level; anything deeper is a damaged catalog, and following it
// would only burn stack.
constexpr int kMaxNesting = 2;
thread_local int nesting = 0;

// The value in its plain 4-byte-header form; a rebuilt copy is released
// when the conversion ends, however it ends.
class PlainArray {
 public:
  PlainArray(const uint8_t* stored, uint8_t version)
      : stored_(stored), bytes_(version == 83 ? ExpandShortVarlena(stored) : pg_detoast_datum(stored)) {
    if (bytes_) size_ = version == 83 ? VarSize83(bytes_) : VarSize82(bytes_);
  }
  ~PlainArray() {
    if (bytes_ != stored_) ScratchFree(bytes_);
  }
  PlainArray(const PlainArray&) = delete;
  PlainArray& operator=(const PlainArray&) = delete;

  const uint8_t* bytes() const { return bytes_; }
  uint32_t size() const { return size_; }

 private:
  const uint8_t* stored_;
  const uint8_t* bytes_;
  uint32_t size_ = 0;
};

char* PrintElement(uint8_t version, uint32_t elementType, Datum element) {
  return NestedValueText(version, elementType, element, -1);
}

char* ArrayOut(Datum d, uint8_t version) {
  if (nesting >= kMaxNesting) {
    Log("Array nested too deep, return NULL");
    return nullptr;
  }
  NestingGuard scope(nesting);
  PlainArray value(DatumPointer(d), version);
  if (!value.bytes()) return nullptr;
  ArrayLayout layout = ReadArrayLayout(value.bytes(), value.size());
  const TypeRecord* type = FindTypeByOid(layout.elementType);
  if (!type) return nullptr;
  ElementStorage storage{type->typlen, type->typbyval, type->typalign, type->typdelim, version};
  uint32_t elementType = layout.elementType;
  return ArrayText(value.bytes(), value.size(), layout, storage,
                   [&](Datum element) { return PrintElement(version, elementType, element); });
}

}  // namespace

char* array_out82(Datum d) {
  if (!d) return nullptr;
  return GuardedOutput([&] { return ArrayOut(d, 82); });
}

char* array_out83(Datum d) {
  if (!d) return nullptr;
  return GuardedOutput([&] { return ArrayOut(d, 83); });
}

}  // namespace vesk
