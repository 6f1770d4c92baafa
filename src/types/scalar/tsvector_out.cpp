// tsvector, 8.3 layout: int32 lexeme count, then one 32-bit entry per lexeme
// (bit 0: positions stored; bits 1-11: length; bits 12-31: offset of the
// lexeme in the string area), then the string area. A lexeme with positions
// is followed, at the next even offset, by a 16-bit count and that many
// 16-bit positions (weight in the top two bits).
#include <string>

#include "support/scratch.h"
#include "types/scalar/output_guard.h"
#include "types/scalar/text_search_out.h"
#include "types/scalar/var_bytes.h"
#include "types/toast/varlena.h"

namespace vesk {

using namespace scalar;

namespace {

struct Lexemes {
  const uint8_t* strings;
  uint32_t size;
};

// Quoted as the text search parser reads it back: quotes and backslashes
// doubled.
void AppendQuotedLexeme(std::string& out, const uint8_t* text, uint32_t length) {
  out += '\'';
  for (uint32_t i = 0; i < length; ++i) {
    const char c = static_cast<char>(text[i]);
    if (c == '\'' || c == '\\') out += c;
    out += c;
  }
  out += '\'';
}

char WeightLetter(uint16_t position) {
  switch (position >> 14) {
    case 3: return 'A';
    case 2: return 'B';
    case 1: return 'C';
    default: return '\0';
  }
}

void AppendPositions(std::string& out, const Lexemes& area, uint32_t end) {
  const uint32_t at = (end + 1) & ~1u;
  if (static_cast<uint64_t>(at) + 2 > area.size) RejectLength(at);
  const uint16_t count = ReadU16(area.strings + at);
  if (static_cast<uint64_t>(at) + 2 + 2ull * count > area.size) RejectLength(count);
  if (count == 0) return;
  out += ':';
  for (uint16_t k = 0; k < count; ++k) {
    const uint16_t position = ReadU16(area.strings + at + 2 + 2 * k);
    if (k > 0) out += ',';
    out += std::to_string(position & 0x3FFF);
    if (char weight = WeightLetter(position)) out += weight;
  }
}

char* TsvectorText(Datum d) {
  const VarBytes bytes = RequireBytes(83, d);
  if (bytes.size < 4) RejectLength(bytes.size);
  const int32_t count = ReadI32(bytes.data);
  const uint64_t entriesEnd = 4 + 4ull * static_cast<uint32_t>(count);
  if (count < 0 || entriesEnd > bytes.size) RejectLength(count);
  const Lexemes area{bytes.data + entriesEnd, static_cast<uint32_t>(bytes.size - entriesEnd)};
  std::string out;
  for (int32_t i = 0; i < count; ++i) {
    const uint32_t entry = ReadU32(bytes.data + 4 + 4 * static_cast<uint32_t>(i));
    const uint32_t length = (entry >> 1) & 0x7FF;
    const uint32_t offset = entry >> 12;
    if (static_cast<uint64_t>(offset) + length > area.size) RejectLength(offset + length);
    if (i > 0) out += ' ';
    AppendQuotedLexeme(out, area.strings + offset, length);
    if ((entry & 1) != 0) AppendPositions(out, area, offset + length);
  }
  return ScratchDup(out.c_str());
}

}  // namespace

char* tsvectorout(Datum d) {
  if (!DatumPointer(d)) return nullptr;
  return GuardOutput([&] { return TsvectorText(d); });
}

}  // namespace vesk
