#include "types/array/element_text.h"

#include <cstring>

#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/scratch.h"
#include "types/registry/type_output.h"
#include "types/scalar/scalar_out.h"

namespace vesk {
namespace {

constexpr uint32_t kAbstimeOid = 702;
constexpr uint32_t kAbstimeInvalid = 0x7FFFFFFE;

}  // namespace

char kNullElementText[] = "NULL";

char* NestedValueText(uint8_t version, uint32_t typeOid, Datum d, int32_t typmod) {
  // The column routines print true and false, and 8.2 bit as a complete
  // X'..'::bit(n) literal; nested values are printed as the server does.
  switch (ResolveDomainType(typeOid)) {
    case 16:
      return ScratchDup((d & 0xFF) != 0 ? "t" : "f");
    case 1560:
      if (version == 82) return varbit_out82(d, -1);
      break;
    case kAbstimeOid:
      if (static_cast<uint32_t>(d) == kAbstimeInvalid && Run().options.targetServer == VESK_TARGET_CURRENT) {
        Log("abstime value 'invalid' inside an array or row value has no timestamp with time zone equivalent, "
            "NULL in its place");
        return kNullElementText;
      }
      break;
    default:
      break;
  }
  return UnescapeElementText(version, typeOid, TypeOutput(version, typeOid, d, typmod));
}

char* UnescapeElementText(uint8_t version, uint32_t elementType, char* text) {
  if (!text || !std::strchr(text, '\\') || !OutputIsEscaped(version, elementType)) return text;
  size_t length = std::strlen(text);
  char* plain = static_cast<char*>(ScratchAlloc(static_cast<uint32_t>(length + 1)));
  char* out = plain;
  for (const char* p = text; *p; ++p) {
    // Every backslash was added in front of the character it escapes.
    if (*p == '\\' && p[1] != '\0') ++p;
    *out++ = *p;
  }
  *out = '\0';
  ScratchFree(text);
  return plain;
}

}  // namespace vesk
