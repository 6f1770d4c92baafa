// Integers, object and transaction identifiers, tuple identifiers.
#include <charconv>
#include <cstring>

#include "support/scratch.h"
#include "types/scalar/output_guard.h"
#include "types/scalar/scalar_out.h"
#include "types/toast/varlena.h"

namespace vesk {

using namespace scalar;

namespace {

// Prints `value` in decimal into a block sized for the text.
template <typename Int>
char* DecimalText(Int value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  size_t length = static_cast<size_t>(result.ptr - buffer);
  char* text = static_cast<char*>(ScratchAlloc(static_cast<uint32_t>(length + 1)));
  std::memcpy(text, buffer, length);
  text[length] = '\0';
  return text;
}

template <typename Int>
char* GuardedDecimal(Int value) {
  return GuardOutput([value] { return DecimalText(value); });
}

uint32_t Word32(Datum d) { return static_cast<uint32_t>(d & 0xFFFFFFFFu); }

}  // namespace

char* int2out(Datum d) { return GuardedDecimal(static_cast<int16_t>(static_cast<uint16_t>(d & 0xFFFFu))); }

char* int4out(Datum d) { return GuardedDecimal(static_cast<int32_t>(Word32(d))); }

char* int8out(Datum d) {
  const uint8_t* p = DatumPointer(d);
  if (!p) return nullptr;
  return GuardedDecimal(ReadI64(p));
}

char* oidout(Datum d) { return GuardedDecimal(Word32(d)); }

char* xidout(Datum d) { return GuardedDecimal(Word32(d)); }

char* cidout(Datum d) { return GuardedDecimal(Word32(d)); }

char* tidout(Datum d) {
  const uint8_t* p = DatumPointer(d);
  if (!p) return nullptr;
  return GuardOutput([p] {
    uint32_t block = (static_cast<uint32_t>(ReadU16(p)) << 16) | ReadU16(p + 2);
    uint16_t item = ReadU16(p + 4);
    char buffer[32];
    char* out = buffer;
    *out++ = '(';
    out = std::to_chars(out, buffer + sizeof buffer, block).ptr;
    *out++ = ',';
    out = std::to_chars(out, buffer + sizeof buffer, item).ptr;
    *out++ = ')';
    *out = '\0';
    return ScratchDup(buffer);
  });
}

}  // namespace vesk
