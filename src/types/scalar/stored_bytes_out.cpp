// The bytes of a value whose type's output routine the engine does not have
// (a C-language type from a library of the user's), as hexadecimal text:
// kept as stored rather than lost, for whoever knows the type's layout.
#include <cstring>

#include "support/scratch.h"
#include "types/scalar/output_guard.h"
#include "types/scalar/scalar_out.h"
#include "types/scalar/var_bytes.h"

namespace vesk {

using namespace scalar;

namespace {

char* HexText(const uint8_t* bytes, uint32_t size) {
  const uint64_t textSize = 3 + 2 * static_cast<uint64_t>(size);
  if (textSize > kScratchMaxBlock) throw ScratchException{0};
  char* text = static_cast<char*>(ScratchAlloc(static_cast<uint32_t>(textSize)));
  static constexpr char kDigits[] = "0123456789abcdef";
  char* out = text;
  *out++ = '\\';
  *out++ = 'x';
  for (uint32_t i = 0; i < size; ++i) {
    *out++ = kDigits[bytes[i] >> 4];
    *out++ = kDigits[bytes[i] & 0xF];
  }
  *out = '\0';
  return text;
}

// A by-value datum holds the stored bytes in its low-order end, least
// significant first, as the little-endian servers wrote them.
char* ValueBytes(Datum d, int16_t length) {
  uint8_t bytes[sizeof(Datum)];
  const uint32_t size = length > 0 && static_cast<size_t>(length) <= sizeof bytes ? static_cast<uint32_t>(length) : 0;
  if (size == 0) return MissedValue();
  for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(static_cast<uint64_t>(d) >> (8 * i));
  return HexText(bytes, size);
}

}  // namespace

char* stored_bytes_out(uint8_t version, int16_t length, bool byValue, Datum d) {
  return GuardOutput([&]() -> char* {
    if (byValue) return ValueBytes(d, length);
    const uint8_t* p = DatumPointer(d);
    if (p == nullptr) return MissedValue();
    // A fixed length is the column's, which the row decoder checked
    // against the row; a variable one has its header.
    if (length > 0) return HexText(p, static_cast<uint32_t>(length));
    if (length == -1) {
      VarBytes bytes = RequireBytes(version, d);
      return HexText(bytes.data, bytes.size);
    }
    return MissedValue();
  });
}

}  // namespace vesk
