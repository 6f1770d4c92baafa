#include "types/datetime/date_text.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace vesk {

void DateText::AppendInt(int64_t v) { AppendPadded(v, 0); }

void DateText::AppendPadded(int64_t v, int width) {
  // Month, day, hour, minute, second and most years: the common case.
  if (v >= 0 && v < 10000 && width >= 2 && width <= 4) {
    const auto u = static_cast<unsigned>(v);
    const char digits[4] = {static_cast<char>('0' + u / 1000), static_cast<char>('0' + u / 100 % 10),
                            static_cast<char>('0' + u / 10 % 10), static_cast<char>('0' + u % 10)};
    size_t n = u >= 1000 ? 4 : u >= 100 ? 3 : 2;
    if (n < static_cast<size_t>(width)) n = static_cast<size_t>(width);
    Append(std::string_view(digits + 4 - n, n));
    return;
  }
  // Digits from the magnitude as unsigned, so INT64_MIN needs no negation.
  uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + mag % 10);
    mag /= 10;
  } while (mag != 0);
  char out[48];
  int len = 0;
  if (v < 0) out[len++] = '-';
  for (int pad = width - len - n; pad > 0 && len < 24; --pad) out[len++] = '0';
  while (n > 0) out[len++] = digits[--n];
  Append(std::string_view(out, static_cast<size_t>(len)));
}

void DateText::AppendFixed(double v, int width, int precision) {
  if (!std::isfinite(v)) {
    cut_ = true;
    return;
  }
  // Room for any finite double in fixed notation.
  char out[400];
  char* end = out + sizeof out;
  bool negative = std::signbit(v);
  char* p = out;
  if (negative) *p++ = '-';
  auto res = std::to_chars(p, end, std::fabs(v), std::chars_format::fixed, precision);
  if (res.ec != std::errc()) {
    cut_ = true;
    return;
  }
  size_t digits = static_cast<size_t>(res.ptr - p);
  size_t used = static_cast<size_t>(res.ptr - out);
  size_t want = width > 0 ? static_cast<size_t>(width) : 0;
  if (used < want) {
    size_t pad = want - used;
    std::memmove(p + pad, p, digits);
    std::memset(p, '0', pad);
    used = want;
  }
  Append(std::string_view(out, used));
}

void DateText::TrimTrailingZeros(size_t from) {
  while (len_ >= from + 3 && text_[len_ - 1] == '0' && text_[len_ - 3] != '.') {
    text_[--len_] = '\0';
  }
}

}  // namespace vesk
