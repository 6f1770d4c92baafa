// bit and bit varying. The stored form: a 32-bit bit count, then the bits
// packed eight to a byte, most significant bit first.
#include <cstdio>
#include <cstring>

#include "support/scratch.h"
#include "types/scalar/output_guard.h"
#include "types/scalar/scalar_out.h"
#include "types/scalar/var_bytes.h"
#include "types/toast/varlena.h"

namespace vesk {

using namespace scalar;

namespace {

struct BitString {
  int32_t count = 0;
  const uint8_t* bits = nullptr;
};

// The bit count, checked against the bytes actually stored.
BitString ReadBits(uint8_t version, Datum d) {
  VarBytes bytes = RequireBytes(version, d);
  if (bytes.size < 4) RejectLength(bytes.size);
  BitString value{ReadI32(bytes.data), bytes.data + 4};
  if (value.count < 0 || (static_cast<uint64_t>(value.count) + 7) / 8 > bytes.size - 4) RejectLength(value.count);
  return value;
}

char* BinaryDigits(const BitString& value) {
  char* text = static_cast<char*>(ScratchAlloc(static_cast<uint32_t>(value.count) + 1));
  for (int32_t i = 0; i < value.count; ++i) {
    bool set = (value.bits[i / 8] >> (7 - i % 8)) & 1;
    text[i] = set ? '1' : '0';
  }
  text[value.count] = '\0';
  return text;
}

// bit(n) holds exactly n bits.
void CheckExactLength(const BitString& value, int32_t typmod) {
  if (value.count <= 0 || (typmod > 0 && value.count != typmod)) RejectLength(value.count);
}

// A hexadecimal literal with a cast to the exact length: X'ACF'::bit(12).
char* HexLiteral(const BitString& value) {
  static const char kHex[] = "0123456789ABCDEF";
  char cast[32];
  int castLength = std::snprintf(cast, sizeof cast, "::bit(%i)", static_cast<int>(value.count));
  uint32_t digits = (static_cast<uint32_t>(value.count) + 3) / 4;
  uint32_t size = digits + static_cast<uint32_t>(castLength) + 4;
  char* text = static_cast<char*>(ScratchAlloc(size));
  char* out = text;
  *out++ = 'X';
  *out++ = '\'';
  for (uint32_t i = 0; i < digits; ++i) {
    uint8_t byte = value.bits[i / 2];
    *out++ = kHex[i % 2 == 0 ? byte >> 4 : byte & 0x0F];
  }
  *out++ = '\'';
  std::memcpy(out, cast, static_cast<size_t>(castLength) + 1);
  return text;
}

template <typename Body>
char* BitText(Datum d, Body body) {
  if (!DatumPointer(d)) return nullptr;
  return GuardOutput(body);
}

}  // namespace

char* bit_out82(Datum d, int32_t typmod) {
  return BitText(d, [&] {
    BitString value = ReadBits(82, d);
    CheckExactLength(value, typmod);
    return HexLiteral(value);
  });
}

char* bit_out83(Datum d, int32_t) {
  return BitText(d, [&] { return BinaryDigits(ReadBits(83, d)); });
}

char* varbit_out82(Datum d, int32_t typmod) {
  return BitText(d, [&] {
    BitString value = ReadBits(82, d);
    // varbit(n) is a maximum: shorter and empty strings are valid values.
    if (typmod > 0 && value.count > typmod) RejectLength(value.count);
    return BinaryDigits(value);
  });
}

char* varbit_out83(Datum d, int32_t) {
  return BitText(d, [&] { return BinaryDigits(ReadBits(83, d)); });
}

}  // namespace vesk
