#include <cstring>

#include "support/logger.h"
#include "support/scratch.h"
#include "types/toast/toast.h"
#include "types/toast/toast_rebuild.h"
#include "types/toast/varlena.h"

namespace vesk {
namespace {

constexpr uint8_t kExternalTag = 0x01;
constexpr uint64_t kMinimumSize = 20;

bool IsPlain4Byte(uint8_t first) { return (first & 0x03u) == 0x00; }
bool IsCompressed4Byte(uint8_t first) { return (first & 0x03u) == 0x02; }

uint8_t* WidenShortHeader(const uint8_t* value) {
  uint32_t payload = (value[0] >> 1) - 1u;
  uint32_t size = payload + 4;
  auto* result = static_cast<uint8_t*>(ScratchAlloc(size));
  uint32_t header = PlainHeader(size, 83);
  std::memcpy(result, &header, 4);
  std::memcpy(result + 4, value + 1, payload);
  return result;
}

uint8_t* RebuildInlineCompressed(const uint8_t* value) {
  Log("This is a compressed value inside of the main tuple");
  uint32_t stored = VarSize83(value);
  if (stored < 8) {
    LogNumber("Too small size for struct varattrib", static_cast<int>(stored));
    return nullptr;
  }
  uint64_t size = uint64_t{ReadU32(value + 4)} + 4;
  if (size < kMinimumSize) {
    LogNumber("Too small size for struct varattrib", static_cast<int>(size));
    return nullptr;
  }
  LogNumber("Allocated memory for decompressed result", static_cast<int>(size & kMaxVarlenaSize));
  return DecompressValue(value, stored, size, 83);
}

uint8_t* DecompressFetched(uint8_t* fetched) {
  uint64_t size = uint64_t{ReadU32(fetched + 4)} + 4;
  LogNumber("Allocated memory for decompressed result", static_cast<int>(size & kMaxVarlenaSize));
  uint8_t* result = nullptr;
  try {
    result = DecompressValue(fetched, VarSize83(fetched), size, 83);
  } catch (const ScratchException&) {
    ScratchFree(fetched);
    throw;
  }
  ScratchFree(fetched);
  return result;
}

uint8_t* RebuildExternal(const uint8_t* value) {
  ExternalPointer pointer;
  if (!ParsePointer83(value, pointer)) return nullptr;
  Log(pointer.compressed ? "External stored compressed value" : "This is an external stored plain value");
  uint8_t* fetched = FetchExternalValue(pointer, 83);
  if (!fetched || !pointer.compressed) return fetched;
  // The fetch refuses fewer than 16 stored bytes, so the raw size word is there.
  return DecompressFetched(fetched);
}

uint8_t* Expand(const uint8_t* value) {
  uint8_t first = value[0];
  if (IsPlain4Byte(first)) return const_cast<uint8_t*>(value);
  if (first == kExternalTag) return RebuildExternal(value);
  if (IsCompressed4Byte(first)) return RebuildInlineCompressed(value);
  return WidenShortHeader(value);
}

}  // namespace

uint8_t* ExpandShortVarlena(const uint8_t* value) {
  if (!value) return nullptr;
  try {
    uint8_t* result = Expand(value);
    if (!result) Log("ERROR while process");
    return result;
  } catch (const ScratchException&) {
    Log("ERROR while process");
    return nullptr;
  }
}

}  // namespace vesk
