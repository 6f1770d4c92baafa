#include <cstring>

#include "support/logger.h"
#include "support/scratch.h"
#include "types/toast/toast.h"
#include "types/toast/toast_rebuild.h"

namespace vesk {

uint8_t* DecompressValue(const uint8_t* compressed, uint32_t storedLength, uint64_t size, uint8_t version) {
  if (size > kMaxVarlenaSize) {
    LogNumber("Too large size for struct varattrib", static_cast<int>(size & kMaxVarlenaSize));
    return nullptr;
  }
  auto* result = static_cast<uint8_t*>(ScratchAlloc(static_cast<uint32_t>(size)));
  uint32_t header = PlainHeader(static_cast<uint32_t>(size), version);
  std::memcpy(result, &header, 4);
  // A value only partly decompressed would print as plausible but wrong data.
  if (!pglz_decompress(compressed, storedLength, result + 4)) {
    ScratchFree(result);
    return nullptr;
  }
  return result;
}

}  // namespace vesk
