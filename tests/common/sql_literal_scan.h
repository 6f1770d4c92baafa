// Reading recovered scripts as text: where a '...' or E'...' literal ends,
// so that a semicolon, quote or line break inside a value is not taken for
// the end of a statement.
#pragma once

#include <cstddef>
#include <string>

namespace vesk::testing {

// `quoteAt` is the opening quote of a literal; returns the position of its
// closing quote, or the script's size when the literal is cut off. An E
// before the quote makes backslashes escape the next character; a doubled
// quote stands for one quote in either form.
inline size_t SkipSqlLiteral(const std::string& script, size_t quoteAt) {
  const bool escapes = quoteAt > 0 && script[quoteAt - 1] == 'E';
  for (size_t i = quoteAt + 1; i < script.size(); ++i) {
    if (escapes && script[i] == '\\') {
      ++i;
    } else if (script[i] == '\'') {
      if (i + 1 < script.size() && script[i + 1] == '\'') {
        ++i;
      } else {
        return i;
      }
    }
  }
  return script.size();
}

}  // namespace vesk::testing
