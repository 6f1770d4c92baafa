// The steps both layouts share when they rebuild a value: decoding an
// out-of-line pointer, collecting its chunks and decompressing. Results are
// tracked scratch blocks; null means refused, with the reason logged. The
// functions may throw ScratchException.
#pragma once

#include <cstdint>

#include "types/toast/toast_relation.h"

namespace vesk {

inline constexpr uint32_t kMaxVarlenaSize = 0x3FFFFFFF;

// 8.2 pointer: header word (bit 31 set), then raw size, external size, value
// id and relation, 20 bytes in all.
bool ParsePointer82(const uint8_t* value, ExternalPointer& out);
// 8.3 pointer: 0x01, its length 18, then the same four words unaligned.
bool ParsePointer83(const uint8_t* value, ExternalPointer& out);

// The stored bytes of an out-of-line value behind a 4-byte header of the
// layout (flagged compressed when the chunks hold a pglz stream).
uint8_t* FetchExternalValue(const ExternalPointer& pointer, uint8_t version);

// Plain value of `size` bytes (header word in the layout's form) decompressed
// from `compressed` (header, raw size word, pglz stream; `storedLength` bytes).
uint8_t* DecompressValue(const uint8_t* compressed, uint32_t storedLength, uint64_t size, uint8_t version);

// Header word of a plain value of `size` bytes.
inline uint32_t PlainHeader(uint32_t size, uint8_t version) { return version == 83 ? size << 2 : size; }

}  // namespace vesk
