#include "types/array/array_text.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/scratch.h"
#include "types/array/element_text.h"
#include "types/toast/varlena.h"

namespace vesk {
namespace {

[[noreturn]] void Unreadable() {
  LogError("Error while try attempt array data");
  throw ScratchException{0};
}

uint32_t AlignmentOf(char align) {
  switch (align) {
    case 'c':
      return 1;
    case 's':
      return 2;
    case 'i':
      return 4;
    case 'd':
      // 4 on the 32-bit servers, whose double is aligned like an int.
      return Run().settings.doubleAlign == 4 ? 4 : 8;
    default:
      LogErrorNumber("Invalid element alignment", align);
      throw ScratchException{0};
  }
}

// Stored size of a variable-length element at `p`, with `room` bytes left in
// the array; 0 when its header does not fit.
uint32_t VarlenaSize(const uint8_t* p, uint32_t room, uint8_t version) {
  if (version != 83) return room >= 4 ? ReadU32(p) & 0x3FFFFFFFu : 0;
  if (p[0] == 0x01) return room >= 2 ? p[1] : 0;
  if ((p[0] & 1) == 0) return room >= 4 ? ReadU32(p) >> 2 : 0;
  return p[0] >> 1u;
}

// Bytes the element at offset `pos` takes, checked to lie inside the value.
uint32_t ElementSize(const uint8_t* value, uint32_t size, uint32_t pos, const ElementStorage& s) {
  if (pos >= size) Unreadable();
  const uint8_t* p = value + pos;
  uint32_t room = size - pos;
  uint32_t length = 0;
  if (s.length > 0) {
    length = static_cast<uint32_t>(s.length);
  } else if (s.length == -1) {
    length = VarlenaSize(p, room, s.version);
  } else if (s.length == -2) {
    const void* end = std::memchr(p, 0, room);
    if (end) length = static_cast<uint32_t>(static_cast<const uint8_t*>(end) - p) + 1;
  }
  if (length == 0 || length > room) Unreadable();
  return length;
}

Datum ElementDatum(const uint8_t* p, const ElementStorage& s) {
  if (!s.byValue) return PointerDatum(p);
  switch (s.length) {
    case 4:
      return ReadU32(p);
    case 2:
      return ReadU16(p);
    case 1:
      return p[0];
    default:
      // Wider by-value types are handed over by address, as columns are.
      return PointerDatum(p);
  }
}

bool IsArraySpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsNullWord(const char* text) {
  static const char kNull[] = "null";
  for (int i = 0; i < 4; ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kNull[i]) return false;
  }
  return text[4] == '\0';
}

bool NeedsQuotes(const char* text, char delimiter) {
  if (text[0] == '\0' || IsNullWord(text)) return true;
  for (const char* p = text; *p; ++p) {
    char c = *p;
    if (c == '"' || c == '\\' || c == '{' || c == '}' || c == delimiter || IsArraySpace(c)) return true;
  }
  return false;
}

void AppendElement(std::string& out, const char* text, char delimiter) {
  if (!NeedsQuotes(text, delimiter)) {
    out += text;
    return;
  }
  out += '"';
  for (const char* p = text; *p; ++p) {
    if (*p == '"' || *p == '\\') out += '\\';
    out += *p;
  }
  out += '"';
}

void AppendBoundsPrefix(std::string& out, const ArrayLayout& a) {
  char bounds[32];
  for (int32_t i = 0; i < a.ndim; ++i) {
    // Summed wide: a damaged bound near the integer limit must not overflow.
    int64_t upper = int64_t{a.lowerBounds[i]} + a.dims[i] - 1;
    std::snprintf(bounds, sizeof bounds, "[%d:%lld]", a.lowerBounds[i], static_cast<long long>(upper));
    out += bounds;
  }
  out += '=';
}

bool IsPresent(const ArrayLayout& a, int32_t item) {
  return !a.bitmap || (a.bitmap[item / 8] >> (item % 8)) & 1;
}

}  // namespace

char* ArrayText(const uint8_t* value, uint32_t size, const ArrayLayout& a, const ElementStorage& s,
                const ElementPrinter& print) {
  if (a.itemCount == 0) return ScratchDup("{}");
  uint32_t alignment = AlignmentOf(s.align);
  std::string out;
  if (NeedsBoundsPrefix(a)) AppendBoundsPrefix(out, a);
  int32_t index[kArrayMaxDims] = {};
  uint32_t pos = a.dataStart;
  int32_t open = 0;  // the outermost dimension whose braces must be reopened
  for (int32_t item = 0; item < a.itemCount; ++item) {
    out.append(static_cast<size_t>(a.ndim - open), '{');
    if (IsPresent(a, item)) {
      uint32_t length = ElementSize(value, size, pos, s);
      char* text = print(ElementDatum(value + pos, s));
      if (!text) throw ScratchException{0};
      if (text == kNullElementText) {
        out += "NULL";
      } else {
        AppendElement(out, text, s.delimiter);
        ScratchFree(text);
      }
      pos += length;
      pos = (pos + alignment - 1) / alignment * alignment;
    } else {
      out += "NULL";
    }
    if (out.size() >= kScratchMaxBlock) {
      LogErrorNumber("Is too march size allocated", static_cast<int>(out.size()));
      throw ScratchException{0};
    }
    // Advance the subscripts from the last dimension: each one that wraps
    // closes its braces; the first that does not takes a delimiter.
    int32_t d = a.ndim - 1;
    for (; d >= 0; --d) {
      index[d] = (index[d] + 1) % a.dims[d];
      if (index[d] != 0) {
        out += s.delimiter;
        break;
      }
      out += '}';
    }
    open = d + 1;
  }
  return ScratchDup(out.c_str());
}

}  // namespace vesk
