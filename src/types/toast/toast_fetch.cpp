#include <cstring>

#include "support/logger.h"
#include "support/scratch.h"
#include "types/toast/toast.h"
#include "types/toast/toast_cache.h"
#include "types/toast/toast_rebuild.h"
#include "types/toast/varlena.h"

namespace vesk {
namespace {

constexpr uint32_t kPointerSize82 = 20;
constexpr uint8_t kPointerSize83 = 18;
constexpr uint32_t kMinimumResult = 20;

uint32_t StoredHeader(uint32_t size, bool compressed, uint8_t version) {
  if (version == 83) return (size << 2) | (compressed ? 0x02u : 0u);
  return size | (compressed ? 0x40000000u : 0u);
}

// Fills `result` (header included) from the chunks; false when the value is
// not all there.
bool CollectChunks(const ExternalPointer& pointer, uint8_t version, uint8_t* result) {
  ToastRelation* relation = ToastRelationFor(pointer.toastRelid, version);
  if (!relation) return false;  // scan stopped
  if (!relation->usable()) {
    LogFormat("No TOAST relation %u for toast value %u", pointer.toastRelid, pointer.valueId);
    return false;
  }
  Log(">>> Start collect chunks by cashed attrs");
  return relation->Assemble(pointer.valueId, pointer.extSize, result + 4);
}

}  // namespace

bool ParsePointer82(const uint8_t* value, ExternalPointer& out) {
  uint32_t header = ReadU32(value);
  // A shorter stored length would put the pointer's words outside the value.
  if ((header & kMaxVarlenaSize) < kPointerSize82) {
    LogNumber("Wrong size of external pointer", static_cast<int>(header & kMaxVarlenaSize));
    return false;
  }
  out.rawSize = ReadU32(value + 4);
  out.extSize = ReadU32(value + 8);
  out.valueId = ReadU32(value + 12);
  out.toastRelid = ReadU32(value + 16);
  out.compressed = (header & 0x40000000u) != 0;
  return true;
}

bool ParsePointer83(const uint8_t* value, ExternalPointer& out) {
  if (value[1] != kPointerSize83) {
    LogNumber("Wrong size of external pointer", value[1]);
    return false;
  }
  out.rawSize = ReadU32(value + 2);
  out.extSize = ReadU32(value + 6);
  out.valueId = ReadU32(value + 10);
  out.toastRelid = ReadU32(value + 14);
  // The raw size counts the 4-byte header; fewer stored bytes than the payload
  // means the chunks hold it compressed.
  out.compressed = int64_t{out.extSize} < int64_t{out.rawSize} - 4;
  return true;
}

uint8_t* FetchExternalValue(const ExternalPointer& pointer, uint8_t version) {
  Log("toast_fetch_datum() >>>");
  uint64_t size = uint64_t{pointer.extSize} + 4;
  if (size < kMinimumResult) {
    LogNumber("Too small size for struct varattrib", static_cast<int>(pointer.extSize));
    return nullptr;
  }
  LogNumber("Allocated memory for detoasted result", static_cast<int>(size));
  if (size > kMaxVarlenaSize) {
    LogNumber("Too large size for struct varattrib", static_cast<int>(pointer.extSize));
    return nullptr;
  }
  auto* result = static_cast<uint8_t*>(ScratchAlloc(static_cast<uint32_t>(size)));
  uint32_t header = StoredHeader(static_cast<uint32_t>(size), pointer.compressed, version);
  std::memcpy(result, &header, 4);
  if (!CollectChunks(pointer, version, result)) {
    ScratchFree(result);
    return nullptr;
  }
  return result;
}

uint8_t* toast_fetch_datum(const uint8_t* pointer) {
  if (!pointer) return nullptr;
  try {
    ExternalPointer parsed;
    uint8_t* result = ParsePointer82(pointer, parsed) ? FetchExternalValue(parsed, 82) : nullptr;
    if (!result) Log("ERROR while process");
    return result;
  } catch (const ScratchException&) {
    Log("ERROR while process");
    return nullptr;
  }
}

}  // namespace vesk
