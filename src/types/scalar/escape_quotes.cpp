#include <cstring>

#include "support/scratch.h"
#include "types/scalar/scalar_out.h"

namespace vesk {

char* EscapeQuotes(char* text) {
  if (!text) return nullptr;
  size_t length = 0;
  size_t specials = 0;
  for (const char* p = text; *p; ++p, ++length) {
    if (*p == '\\' || *p == '\'') ++specials;
  }
  // Most values hold neither character: hand the block back as it is rather
  // than copy every text once more.
  if (specials == 0) return text;
  size_t size = length + specials + 1;
  if (size > kScratchMaxBlock) throw ScratchException{0};
  char* copy = static_cast<char*>(ScratchAlloc(static_cast<uint32_t>(size)));
  char* out = copy;
  for (const char* p = text; *p; ++p) {
    if (*p == '\\' || *p == '\'') *out++ = '\\';
    *out++ = *p;
  }
  *out = '\0';
  ScratchFree(text);
  return copy;
}

}  // namespace vesk
