#include "support/logger.h"
#include "support/scratch.h"
#include "types/toast/toast.h"
#include "types/toast/toast_rebuild.h"
#include "types/toast/varlena.h"

namespace vesk {
namespace {

constexpr uint32_t kExternal = 0x80000000u;
constexpr uint32_t kCompressed = 0x40000000u;
constexpr uint64_t kMinimumSize = 20;

uint8_t* UntoastExternalCompressed(const uint8_t* value) {
  Log("External stored compressed value");
  uint8_t* fetched = toast_fetch_datum(value);
  if (!fetched) return nullptr;
  // The fetch refuses fewer than 16 stored bytes, so the raw size word is there.
  uint64_t size = uint64_t{ReadU32(fetched + 4)} + 4;
  LogNumber("Allocated memory for decompressed result", static_cast<int>(size & kMaxVarlenaSize));
  uint8_t* result = nullptr;
  try {
    result = DecompressValue(fetched, VarSize82(fetched), size, 82);
  } catch (const ScratchException&) {
    ScratchFree(fetched);
    throw;
  }
  ScratchFree(fetched);
  return result;
}

uint8_t* UntoastInlineCompressed(const uint8_t* value) {
  Log("This is a compressed value inside of the main tuple");
  uint32_t stored = VarSize82(value);
  if (stored < 8) {
    LogNumber("Too small size for struct varattrib", static_cast<int>(stored));
    Log("ERROR while process");
    return nullptr;
  }
  uint64_t size = uint64_t{ReadU32(value + 4)} + 4;
  if (size < kMinimumSize) {
    LogNumber("Too small size for struct varattrib", static_cast<int>(size));
    Log("ERROR while process");
    return nullptr;
  }
  LogNumber("Allocated memory for decompressed result", static_cast<int>(size & kMaxVarlenaSize));
  return DecompressValue(value, stored, size, 82);
}

uint8_t* Untoast(const uint8_t* value) {
  uint32_t header = ReadU32(value);
  Log("heap_tuple_untoast_attr() >>>");
  LogFormat("Size of untoasted source %i", static_cast<int>(header & kMaxVarlenaSize));
  if ((header & kExternal) && (header & kCompressed)) return UntoastExternalCompressed(value);
  if (header & kExternal) {
    Log("This is an external stored plain value");
    return toast_fetch_datum(value);
  }
  if (header & kCompressed) return UntoastInlineCompressed(value);
  return const_cast<uint8_t*>(value);
}

}  // namespace

uint8_t* heap_tuple_untoast_attr(const uint8_t* value) {
  if (!value) return nullptr;
  try {
    return Untoast(value);
  } catch (const ScratchException&) {
    Log("ERROR while process");
    return nullptr;
  }
}

uint8_t* pg_detoast_datum(const uint8_t* value) {
  if (!value) return nullptr;
  if (ReadU32(value) & (kExternal | kCompressed)) return heap_tuple_untoast_attr(value);
  return const_cast<uint8_t*>(value);
}

}  // namespace vesk
