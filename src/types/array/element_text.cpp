#include "types/array/element_text.h"

#include <cstring>

#include "support/scratch.h"
#include "types/registry/type_output.h"

namespace vesk {

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
