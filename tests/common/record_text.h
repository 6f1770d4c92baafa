// Row values in the text the original servers printed for the fixtures:
// record output "(a,"b c",)" with each line COPY-escaped.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <iterator>
#include <string>
#include <utility>

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

// The control characters COPY text writes as a backslash and a letter.
inline constexpr std::pair<char, char> kCopyEscapes[] = {
    {'\b', 'b'}, {'\f', 'f'}, {'\n', 'n'}, {'\r', 'r'}, {'\t', 't'}, {'\v', 'v'}};

// Backslashes and control characters as COPY text writes them.
inline std::string CopyEscaped(const std::string& s) {
  std::string out;
  for (char c : s) {
    const auto* escape = std::find_if(std::begin(kCopyEscapes), std::end(kCopyEscapes),
                                      [c](const auto& e) { return e.first == c; });
    if (escape != std::end(kCopyEscapes)) {
      out += '\\';
      out += escape->second;
    } else {
      if (c == '\\') out += c;
      out += c;
    }
  }
  return out;
}

// Undoes COPY text escaping of one line; any other escaped character stands
// for itself.
inline std::string CopyUnescaped(const std::string& line) {
  std::string out;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] != '\\' || i + 1 == line.size()) {
      out += line[i];
      continue;
    }
    char c = line[++i];
    const auto* escape = std::find_if(std::begin(kCopyEscapes), std::end(kCopyEscapes),
                                      [c](const auto& e) { return e.second == c; });
    out += escape != std::end(kCopyEscapes) ? escape->first : c;
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
