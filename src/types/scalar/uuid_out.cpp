#include "support/scratch.h"
#include "types/scalar/output_guard.h"
#include "types/scalar/text_search_out.h"

namespace vesk {

char* uuid_out(Datum d) {
  const uint8_t* bytes = DatumPointer(d);
  if (bytes == nullptr) return nullptr;
  return scalar::GuardOutput([&] {
    static const char kHex[] = "0123456789abcdef";
    char* text = static_cast<char*>(ScratchAlloc(37));
    char* out = text;
    for (int i = 0; i < 16; ++i) {
      if (i == 4 || i == 6 || i == 8 || i == 10) *out++ = '-';
      *out++ = kHex[bytes[i] >> 4];
      *out++ = kHex[bytes[i] & 0x0F];
    }
    *out = '\0';
    return text;
  });
}

}  // namespace vesk
