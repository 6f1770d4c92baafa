#include "types/array/element_text.h"

#include <cstring>

#include "support/scratch.h"

namespace vesk {
namespace {

bool EscapedBy82Routine(uint32_t type) {
  switch (type) {
    case 25:    // text
    case 705:   // unknown
    case 1042:  // bpchar
    case 1043:  // varchar
    case 1700:  // numeric
    case 2275:  // cstring
      return true;
    default:
      return false;
  }
}

}  // namespace

char* UnescapeElementText82(uint32_t elementType, char* text) {
  if (!text || !EscapedBy82Routine(elementType) || !std::strchr(text, '\\')) return text;
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
