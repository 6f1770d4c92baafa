// bytea in the server's escape format: backslash doubled, bytes outside the
// printable ASCII range as a backslash and three octal digits.
#include "support/scratch.h"
#include "types/scalar/output_guard.h"
#include "types/scalar/scalar_out.h"
#include "types/scalar/var_bytes.h"

namespace vesk {

using namespace scalar;

namespace {

bool Unprintable(uint8_t byte) { return byte < 0x20 || byte > 0x7E; }

char* EscapedBytes(const VarBytes& bytes) {
  uint64_t size = 1;
  for (uint32_t i = 0; i < bytes.size; ++i) {
    uint8_t byte = bytes.data[i];
    size += byte == '\\' ? 2 : (Unprintable(byte) ? 4 : 1);
  }
  if (size > kScratchMaxBlock) throw ScratchException{0};
  char* text = static_cast<char*>(ScratchAlloc(static_cast<uint32_t>(size)));
  char* out = text;
  for (uint32_t i = 0; i < bytes.size; ++i) {
    uint8_t byte = bytes.data[i];
    if (byte == '\\') {
      *out++ = '\\';
      *out++ = '\\';
    } else if (Unprintable(byte)) {
      *out++ = '\\';
      *out++ = static_cast<char>('0' + ((byte >> 6) & 3));
      *out++ = static_cast<char>('0' + ((byte >> 3) & 7));
      *out++ = static_cast<char>('0' + (byte & 7));
    } else {
      *out++ = static_cast<char>(byte);
    }
  }
  *out = '\0';
  return text;
}

char* ByteaText(uint8_t version, Datum d) {
  if (!DatumPointer(d)) return nullptr;
  return GuardOutput([&] { return EscapedBytes(RequireBytes(version, d)); });
}

}  // namespace

char* byteaout82(Datum d) { return ByteaText(82, d); }

char* byteaout83(Datum d) { return ByteaText(83, d); }

}  // namespace vesk
