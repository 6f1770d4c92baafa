#include "script/sql_literal.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "script/base_type.h"

namespace vesk {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads over the text like a C string: past the end is a NUL.
struct Cursor {
  std::string_view text;
  size_t at = 0;
  char Peek() const { return at < text.size() ? text[at] : '\0'; }
  bool AtEnd() const { return at >= text.size(); }
};

void SkipDigits(Cursor& c, bool& any) {
  while (IsDigit(c.Peek())) {
    ++c.at;
    any = true;
  }
}

// A number exactly as the numeric output routines print one: sign, digits
// with an optional point, optional exponent; blanks around it. Stricter than
// a character set: "--1" would start an SQL comment and swallow the rest of
// the statement.
bool IsPlainNumber(std::string_view text) {
  Cursor c{text};
  while (c.Peek() == ' ') ++c.at;
  if (c.Peek() == '+' || c.Peek() == '-') ++c.at;
  bool digits = false;
  SkipDigits(c, digits);
  if (c.Peek() == '.') {
    ++c.at;
    SkipDigits(c, digits);
  }
  if (!digits) return false;
  if (c.Peek() == 'e' || c.Peek() == 'E') {
    ++c.at;
    if (c.Peek() == '+' || c.Peek() == '-') ++c.at;
    bool exponent = false;
    SkipDigits(c, exponent);
    if (!exponent) return false;
  }
  while (c.Peek() == ' ') ++c.at;
  return c.AtEnd();
}

bool IsSpecialFloat(std::string_view text) { return text == "NaN" || text == "Infinity" || text == "-Infinity"; }

bool IsBinaryDigits(std::string_view text) {
  for (char c : text) {
    if (c != '0' && c != '1') return false;
  }
  return true;
}

// Whether any byte of the 64-bit word `x` equals `c` (the classic test for a
// zero byte, applied to x ^ c repeated).
constexpr uint64_t kOnes = 0x0101010101010101ull;
bool WordHolds(uint64_t x, uint8_t c) {
  const uint64_t y = x ^ (kOnes * c);
  return ((y - kOnes) & ~y & (kOnes << 7)) != 0;
}

// Eight bytes at a time: most texts are a few dozen bytes, too short for
// two memchr calls to pay off, too long for a byte loop.
bool Holds(std::string_view text, char a, char b) {
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    if (WordHolds(word, static_cast<uint8_t>(a)) || WordHolds(word, static_cast<uint8_t>(b))) return true;
  }
  for (; i < text.size(); ++i) {
    if (text[i] == a || text[i] == b) return true;
  }
  return false;
}

bool IsUpperHex(char c) { return IsDigit(c) || (c >= 'A' && c <= 'F'); }

// X'<hex>'::bit(<n>), the 8.2 bit routine's own literal.
bool IsHexBitLiteral(std::string_view text) {
  if (!text.starts_with("X'")) return false;
  Cursor c{text, 2};
  while (IsUpperHex(c.Peek())) ++c.at;
  constexpr std::string_view kCast = "'::bit(";
  if (!text.substr(c.at).starts_with(kCast)) return false;
  c.at += kCast.size();
  bool digits = false;
  SkipDigits(c, digits);
  return digits && c.Peek() == ')' && c.at + 1 == text.size();
}

// 'text' when it holds neither a backslash nor a quote, else E'...' with both
// escaped: the one spelling every server reads the same way. An escaped text
// has its escaping undone first, a backslash before anything else standing
// for itself.
void AppendQuoted(std::string& out, std::string_view text, bool escaped) {
  // Undoing the escapes never makes or removes a backslash or a quote, so the
  // stored text tells whether the value holds one; most values hold neither
  // and go out in one piece.
  if (!Holds(text, '\\', '\'')) {
    out += '\'';
    out += text;
    out += '\'';
    return;
  }
  out += "E'";
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (escaped && c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '\'')) c = text[++i];
    if (c == '\\' || c == '\'') out += c;
    out += c;
  }
  out += '\'';
}

void AppendBinary(std::string& out, std::string_view text) {
  out += "B'";
  out += text;
  out += '\'';
}

// The stored value was finite, but its text, rounded to the type's output
// digits, can lie beyond the type's range (-1.79769313486232e+308), which no
// server reads back. The nearest value the type holds is its largest.
bool AppendClampedFloat(std::string& out, LiteralKind kind, std::string_view text) {
  // Without an exponent a number needs more than 38 digits to pass either
  // limit; the routines print no such text, so most values skip the parse.
  if (!Holds(text, 'e', 'E') && text.size() < 39) return false;
  double limit = kind == LiteralKind::kFloat4 ? FLT_MAX : DBL_MAX;
  double value = std::strtod(std::string(text).c_str(), nullptr);
  if (!(std::fabs(value) > limit)) return false;
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.*g", kind == LiteralKind::kFloat4 ? 9 : 17,
                std::copysign(limit, value));
  out += buffer;
  return true;
}

// A number as it stands; a float's special word (or NaN for an unreadable
// text) in quotes for SQL (`quoted`), bare for a COPY field.
bool AppendNumber(std::string& out, LiteralKind kind, std::string_view text, bool quoted) {
  if (IsPlainNumber(text)) {
    if ((kind == LiteralKind::kFloat4 || kind == LiteralKind::kFloat8) && AppendClampedFloat(out, kind, text)) {
      return true;
    }
    out += text;
    return true;
  }
  // An integer column reads no word: NaN there would lose the row.
  if (kind == LiteralKind::kInteger) return false;
  if (quoted) out += '\'';
  out += IsSpecialFloat(text) ? text : "NaN";
  if (quoted) out += '\'';
  return true;
}

bool EscapesItsText(uint8_t version, uint32_t oid) {
  switch (oid) {
    case 705:   // unknown
    case 2275:  // cstring
      return true;
    case 25:    // text
    case 1042:  // bpchar
    case 1043:  // varchar
      return version != 83;
    default:
      return false;
  }
}

// Whether any byte of `x` is below 0x20 (exact for the word as a whole).
bool WordHasControl(uint64_t x) { return ((x - kOnes * 0x20) & ~x & (kOnes << 7)) != 0; }

// Whether COPY text needs a backslash anywhere in `text`: a backslash, or a
// control character (only some of which are escaped; the rest are looked
// at one by one).
bool NeedsCopyEscapes(std::string_view text) {
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    if (WordHasControl(word) || WordHolds(word, '\\')) return true;
  }
  for (; i < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) < 0x20 || text[i] == '\\') return true;
  }
  return false;
}

// The letter COPY writes after a backslash for `c`, or 0 when `c` goes out
// as it is. The other control characters are not special to COPY, and
// pg_dump writes them unescaped too.
char CopyEscapeLetter(char c) {
  switch (c) {
    case '\\': return '\\';
    case '\b': return 'b';
    case '\f': return 'f';
    case '\n': return 'n';
    case '\r': return 'r';
    case '\t': return 't';
    case '\v': return 'v';
    default: return 0;
  }
}

// `escaped`: the 8.2 text routines put a backslash before every backslash
// and quote; that is undone first, as for a literal.
void AppendCopyText(std::string& out, std::string_view text, bool escaped) {
  if (!NeedsCopyEscapes(text)) {
    out += text;
    return;
  }
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (escaped && c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '\'')) c = text[++i];
    if (const char letter = CopyEscapeLetter(c)) {
      out += '\\';
      out += letter;
    } else {
      out += c;
    }
  }
}

int HexValue(char c) { return IsDigit(c) ? c - '0' : c - 'A' + 10; }

// X'<hex>'::bit(<n>) as the n binary digits the cast gives: the hex digits'
// bits cut or padded with zeros on the right. The literal was checked.
void AppendHexBitsAsBinary(std::string& out, std::string_view literal) {
  const size_t hexEnd = literal.find('\'', 2);
  const std::string_view hex = literal.substr(2, hexEnd - 2);
  const std::string_view length = literal.substr(hexEnd + 7, literal.size() - hexEnd - 8);
  // The routine prints every bit it has, so a longer cast would only pad:
  // no more is written than the digits hold, however long the length.
  const size_t most = 4 * hex.size();
  size_t bits = 0;
  for (size_t i = 0; i < length.size() && bits <= most; ++i) bits = bits * 10 + static_cast<size_t>(length[i] - '0');
  bits = bits < most ? bits : most;
  for (size_t i = 0; i < bits; ++i) {
    const size_t digit = i / 4;
    const bool set = digit < hex.size() && ((HexValue(hex[digit]) >> (3 - i % 4)) & 1) != 0;
    out += set ? '1' : '0';
  }
}

}  // namespace

bool AppendCopyValue(std::string& out, LiteralKind kind, std::string_view text) {
  switch (kind) {
    case LiteralKind::kInteger:
    case LiteralKind::kFloat4:
    case LiteralKind::kFloat8:
    case LiteralKind::kNumeric:
      return AppendNumber(out, kind, text, false);
    case LiteralKind::kBit:
      if (IsHexBitLiteral(text)) {
        AppendHexBitsAsBinary(out, text);
        return true;
      }
      break;
    case LiteralKind::kEscapedText:
      AppendCopyText(out, text, true);
      return true;
    case LiteralKind::kVarbit:
    case LiteralKind::kText:
      break;
  }
  AppendCopyText(out, text, false);
  return true;
}

void AppendCopyEscaped(std::string& out, std::string_view text) { AppendCopyText(out, text, false); }

LiteralKind LiteralKindFor(uint8_t version, uint32_t typeOid) {
  int32_t typmod = -1;
  if (const TypeRecord* type = LookupType(typeOid)) {
    if (const TypeRecord* base = ResolveDomain(type, typmod)) typeOid = base->oid;
  }
  switch (typeOid) {
    case 20:
    case 21:
    case 23:
    case 26:
      return LiteralKind::kInteger;
    case 700:
      return LiteralKind::kFloat4;
    case 701:
      return LiteralKind::kFloat8;
    case 1700:
      return LiteralKind::kNumeric;
    case 1560:
      return LiteralKind::kBit;
    case 1562:
      return LiteralKind::kVarbit;
    default:
      return EscapesItsText(version, typeOid) ? LiteralKind::kEscapedText : LiteralKind::kText;
  }
}

bool AppendLiteral(std::string& out, LiteralKind kind, std::string_view text) {
  switch (kind) {
    case LiteralKind::kInteger:
    case LiteralKind::kFloat4:
    case LiteralKind::kFloat8:
    case LiteralKind::kNumeric:
      return AppendNumber(out, kind, text, true);
    case LiteralKind::kBit:
      if (IsHexBitLiteral(text)) {
        out += text;
        return true;
      }
      [[fallthrough]];
    case LiteralKind::kVarbit:
      if (IsBinaryDigits(text)) {
        AppendBinary(out, text);
        return true;
      }
      AppendQuoted(out, text, false);
      return true;
    case LiteralKind::kEscapedText:
      AppendQuoted(out, text, true);
      return true;
    case LiteralKind::kText:
      break;
  }
  AppendQuoted(out, text, false);
  return true;
}

bool AppendLiteral(std::string& out, LiteralKind kind, const char* text) {
  return AppendLiteral(out, kind, std::string_view(text));
}

}  // namespace vesk
