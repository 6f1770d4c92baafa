// Writing an output routine's text as an SQL literal that loads back into
// the same value on old and current servers, whatever
// standard_conforming_strings is set to, or as a field of a COPY block.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vesk {

enum class LiteralKind : uint8_t {
  kInteger,      // int2, int4, int8, oid: bare digits
  kFloat4,       // float4, float8, numeric: bare digits, or a quoted special word
  kFloat8,
  kNumeric,
  kBit,          // bit: 8.2's complete X'..'::bit(n) literal, or bare binary digits
  kVarbit,       // varbit: binary digits
  kText,         // everything else: the server's text as it is
  kEscapedText,  // text whose routine already put a backslash before every
                 // backslash and single quote (the 8.2 text-like routines)
};

// The literal kind of a column of `typeOid` in a database of layout
// `version`; a domain takes its base type's kind.
LiteralKind LiteralKindFor(uint8_t version, uint32_t typeOid);

// Appends the literal for `text` to `out`. False, with nothing appended, when
// the text cannot stand for a value of its kind (the caller writes NULL).
bool AppendLiteral(std::string& out, LiteralKind kind, const char* text);
bool AppendLiteral(std::string& out, LiteralKind kind, std::string_view text);

// The same texts as a field of COPY's text format: unquoted, a backslash
// before backslashes and the control characters COPY reads specially, as
// pg_dump writes them; 8.2's hexadecimal bit literal as binary digits. False,
// with nothing appended, as for AppendLiteral (the caller writes \N).
bool AppendCopyValue(std::string& out, LiteralKind kind, std::string_view text);
// `text` with only COPY's escapes, for texts known to stand as they are.
void AppendCopyEscaped(std::string& out, std::string_view text);

}  // namespace vesk
