// Row values in the text the original servers printed for the fixtures:
// record output "(a,"b c",)" with each line COPY-escaped.
#pragma once

#include <cctype>
#include <cstddef>
#include <string>

namespace vesk::testing {

// One field of a row value, quoted as the server's record output quotes it.
inline std::string RecordField(const std::string& s) {
  bool quote = s.empty();
  for (char c : s) {
    quote = quote || c == '"' || c == '\\' || c == '(' || c == ')' || c == ',' ||
            std::isspace(static_cast<unsigned char>(c));
  }
  if (!quote) return s;
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += c;
    out += c;
  }
  return out + "\"";
}

// Backslashes and control characters as COPY text writes them.
inline std::string CopyEscaped(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\v': out += "\\v"; break;
      default: out += c;
    }
  }
  return out;
}

// The first `fields` fields of a record text "(a,"b,c",d)"; the whole text
// when it has no more.
inline std::string FirstFields(const std::string& row, size_t fields) {
  bool quoted = false;
  size_t count = 0;
  for (size_t i = 1; i < row.size(); ++i) {
    if (row[i] == '"') quoted = !quoted;
    if (!quoted && (row[i] == ',' || row[i] == ')') && ++count == fields) return row.substr(0, i) + ")";
  }
  return row;
}

}  // namespace vesk::testing
