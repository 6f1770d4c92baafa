#include "script/sql_literal.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "script/base_type.h"

namespace vesk {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

const char* SkipDigits(const char* p, bool& any) {
  while (IsDigit(*p)) {
    ++p;
    any = true;
  }
  return p;
}

// A number exactly as the numeric output routines print one: sign, digits
// with an optional point, optional exponent; blanks around it. Stricter than
// a character set: "--1" would start an SQL comment and swallow the rest of
// the statement.
bool IsPlainNumber(const char* p) {
  while (*p == ' ') ++p;
  if (*p == '+' || *p == '-') ++p;
  bool digits = false;
  p = SkipDigits(p, digits);
  if (*p == '.') p = SkipDigits(p + 1, digits);
  if (!digits) return false;
  if (*p == 'e' || *p == 'E') {
    ++p;
    if (*p == '+' || *p == '-') ++p;
    bool exponent = false;
    p = SkipDigits(p, exponent);
    if (!exponent) return false;
  }
  while (*p == ' ') ++p;
  return *p == '\0';
}

bool IsSpecialFloat(const char* text) {
  return std::strcmp(text, "NaN") == 0 || std::strcmp(text, "Infinity") == 0 ||
         std::strcmp(text, "-Infinity") == 0;
}

bool IsBinaryDigits(const char* p) {
  for (; *p != '\0'; ++p) {
    if (*p != '0' && *p != '1') return false;
  }
  return true;
}

bool IsUpperHex(char c) { return IsDigit(c) || (c >= 'A' && c <= 'F'); }

// X'<hex>'::bit(<n>), the 8.2 bit routine's own literal.
bool IsHexBitLiteral(const char* p) {
  if (p[0] != 'X' || p[1] != '\'') return false;
  p += 2;
  while (IsUpperHex(*p)) ++p;
  const char cast[] = "'::bit(";
  if (std::strncmp(p, cast, sizeof cast - 1) != 0) return false;
  bool digits = false;
  p = SkipDigits(p + sizeof cast - 1, digits);
  return digits && p[0] == ')' && p[1] == '\0';
}

// Calls `emit` with each character of the value `text` stands for: an
// escaped text has its escaping undone, a backslash before anything else
// standing for itself.
template <typename Emit>
void ForEachValueChar(const char* text, bool escaped, Emit emit) {
  for (const char* p = text; *p != '\0'; ++p) {
    if (escaped && *p == '\\' && (p[1] == '\\' || p[1] == '\'')) ++p;
    emit(*p);
  }
}

// 'text' when it holds neither a backslash nor a quote, else E'...' with both
// escaped: the one spelling every server reads the same way.
void AppendQuoted(std::string& out, const char* text, bool escaped) {
  // Undoing the escapes never makes or removes a backslash or a quote, so the
  // stored text tells whether the value holds one; most values hold neither
  // and go out in one piece.
  if (std::strpbrk(text, "\\'") == nullptr) {
    out += '\'';
    out += text;
    out += '\'';
    return;
  }
  out += 'E';
  out += '\'';
  ForEachValueChar(text, escaped, [&](char c) {
    if (c == '\\' || c == '\'') out += c;
    out += c;
  });
  out += '\'';
}

void AppendBinary(std::string& out, const char* text) {
  out += "B'";
  out += text;
  out += '\'';
}

// The stored value was finite, but its text, rounded to the type's output
// digits, can lie beyond the type's range (-1.79769313486232e+308), which no
// server reads back. The nearest value the type holds is its largest.
bool AppendClampedFloat(std::string& out, LiteralKind kind, const char* text) {
  // Without an exponent a number needs more than 38 digits to pass either
  // limit; the routines print no such text, so most values skip the parse.
  if (std::strpbrk(text, "eE") == nullptr && std::strlen(text) < 39) return false;
  double limit = kind == LiteralKind::kFloat4 ? FLT_MAX : DBL_MAX;
  double value = std::strtod(text, nullptr);
  if (!(std::fabs(value) > limit)) return false;
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.*g", kind == LiteralKind::kFloat4 ? 9 : 17,
                std::copysign(limit, value));
  out += buffer;
  return true;
}

bool AppendNumber(std::string& out, LiteralKind kind, const char* text) {
  if (IsPlainNumber(text)) {
    if ((kind == LiteralKind::kFloat4 || kind == LiteralKind::kFloat8) && AppendClampedFloat(out, kind, text)) {
      return true;
    }
    out += text;
    return true;
  }
  // An integer column reads no quoted word: NaN there would lose the row.
  if (kind == LiteralKind::kInteger) return false;
  out += '\'';
  out += IsSpecialFloat(text) ? text : "NaN";
  out += '\'';
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

}  // namespace

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

bool AppendLiteral(std::string& out, LiteralKind kind, const char* text) {
  switch (kind) {
    case LiteralKind::kInteger:
    case LiteralKind::kFloat4:
    case LiteralKind::kFloat8:
    case LiteralKind::kNumeric:
      return AppendNumber(out, kind, text);
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

}  // namespace vesk
