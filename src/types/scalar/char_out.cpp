// Booleans, "char" and name.
#include <cstring>

#include "support/scratch.h"
#include "types/scalar/output_guard.h"
#include "types/scalar/scalar_out.h"

namespace vesk {

using namespace scalar;

namespace {

// Stored size of a name; the text ends at its first NUL, which a damaged
// value may lack.
constexpr size_t kNameDataLength = 64;

}  // namespace

char* boolout(Datum d) {
  static char kTrue[] = "true";
  static char kFalse[] = "false";
  return d != 0 ? kTrue : kFalse;
}

char* charout(Datum d) {
  return GuardOutput([&] {
    char* text = static_cast<char*>(ScratchAlloc(2));
    text[0] = static_cast<char>(d & 0xFFu);
    text[1] = '\0';
    return text;
  });
}

char* nameout(Datum d) {
  const uint8_t* p = DatumPointer(d);
  if (!p) return nullptr;
  return GuardOutput([&] {
    const void* end = std::memchr(p, '\0', kNameDataLength);
    size_t length = end ? static_cast<size_t>(static_cast<const uint8_t*>(end) - p) : kNameDataLength;
    // A name that fills its whole slot has lost its terminator: the server
    // never stores more than 63 characters.
    if (length == kNameDataLength) length = kNameDataLength - 1;
    char* text = static_cast<char*>(ScratchAlloc(static_cast<uint32_t>(length + 1)));
    std::memcpy(text, p, length);
    text[length] = '\0';
    return text;
  });
}

}  // namespace vesk
