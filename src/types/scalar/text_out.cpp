// Character strings: text, bpchar, varchar, unknown and cstring. The 8.2
// routines hand back text with backslashes and single quotes already
// escaped (EscapeQuotes); the 8.3 routines return the value as stored.
#include <cstring>

#include "support/scratch.h"
#include "types/scalar/output_guard.h"
#include "types/scalar/scalar_out.h"
#include "types/scalar/utf8_length.h"
#include "types/scalar/var_bytes.h"

namespace vesk {

using namespace scalar;

namespace {

// Header size counted in a varchar's type modifier.
constexpr int32_t kVarHeaderSize = 4;

char* CopyPayload(const VarBytes& bytes) {
  if (bytes.size >= kScratchMaxBlock) throw ScratchException{0};
  char* text = static_cast<char*>(ScratchAlloc(bytes.size + 1));
  if (bytes.size > 0) std::memcpy(text, bytes.data, bytes.size);
  text[bytes.size] = '\0';
  return text;
}

char* PlainText(uint8_t version, Datum d) {
  if (!DatumPointer(d)) return nullptr;
  return GuardOutput([&] {
    char* text = CopyPayload(RequireBytes(version, d));
    return version == 83 ? text : EscapeQuotes(text);
  });
}

// A varchar(n) value holds at most n characters; a longer one is damage
// that would make the whole statement fail to load.
void CheckDeclaredLength(const VarBytes& bytes, int32_t typmod) {
  if (typmod <= kVarHeaderSize) return;
  size_t characters = Utf8Length(bytes.data, bytes.size);
  if (characters > static_cast<size_t>(typmod - kVarHeaderSize)) RejectLength(static_cast<long long>(characters));
}

char* EscapedCString(Datum d) {
  const char* stored = reinterpret_cast<const char*>(DatumPointer(d));
  if (!stored) return nullptr;
  return GuardOutput([&] {
    char* text = ScratchDup(stored);
    return EscapeQuotes(text);
  });
}

}  // namespace

char* textout82(Datum d) { return PlainText(82, d); }

char* textout83(Datum d) { return PlainText(83, d); }

char* bpcharout82(Datum d, int32_t) { return PlainText(82, d); }

char* bpcharout83(Datum d, int32_t) { return PlainText(83, d); }

char* varcharout82(Datum d, int32_t typmod) {
  if (!DatumPointer(d)) return nullptr;
  return GuardOutput([&] {
    VarBytes bytes = RequireBytes(82, d);
    CheckDeclaredLength(bytes, typmod);
    return EscapeQuotes(CopyPayload(bytes));
  });
}

char* varcharout83(Datum d, int32_t) { return PlainText(83, d); }

char* unknownout(Datum d) { return EscapedCString(d); }

char* cstring_out(Datum d) { return EscapedCString(d); }

}  // namespace vesk
