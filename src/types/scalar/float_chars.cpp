// printf's "%.*g" of a finite double, the text the server prints floats with.
//
// The precision form of std::to_chars is exact but slow; its shortest form
// is several times faster. The shortest digits S that read back as the
// value x round to the same P digits as x itself, except when S is a tie
// (P + 1 digits ending in 5): were a rounding boundary between x and S, that
// boundary, no longer than S and nearer to x, would have been the shortest
// form. When S has P digits or fewer it is x's P-digit rounding as long as
// half a unit of the P-th digit exceeds half a unit in the last place of a
// normal double, which holds up to 15 digits (DBL_DIG, the widest the types
// use).
// So the shortest digits are rounded here; ties and longer precisions go
// the exact way.
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>

#include "types/scalar/scalar_chars.h"

namespace vesk {
namespace {

// The server's extra_float_digits; fixed at its default.
constexpr int kExtraFloatDigits = 0;

struct Decimal {
  bool negative = false;
  char digits[32];  // significant digits, no point
  int count = 0;
  int exponent = 0;  // of the first digit
};

// The shortest digits of `value` from its scientific form "-d.ddde+XX"; a
// float gives the digits that read back to the same float.
template <typename Float>
bool ShortestDigits(Float value, Decimal& d) {
  char text[40];
  auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
  if (result.ec != std::errc()) return false;
  const char* p = text;
  if (*p == '-') {
    d.negative = true;
    ++p;
  }
  for (; p < result.ptr && *p != 'e'; ++p) {
    if (*p != '.') d.digits[d.count++] = *p;
  }
  if (p == result.ptr) return false;
  auto exponent = std::from_chars(p + (p[1] == '+' ? 2 : 1), result.ptr, d.exponent);
  return exponent.ec == std::errc();
}

// Rounds to `precision` digits; false on a tie, which only the exact
// digits can settle.
bool RoundTo(Decimal& d, int precision) {
  if (d.count <= precision) return true;
  if (d.count == precision + 1 && d.digits[precision] == '5') return false;
  const bool up = d.digits[precision] >= '5';
  d.count = precision;
  if (!up) return true;
  int i = precision - 1;
  while (i >= 0 && d.digits[i] == '9') d.digits[i--] = '0';
  if (i >= 0) {
    ++d.digits[i];
  } else {
    d.digits[0] = '1';
    ++d.exponent;
  }
  return true;
}

char* PutExponent(char* out, int exponent) {
  *out++ = 'e';
  *out++ = exponent < 0 ? '-' : '+';
  unsigned magnitude = static_cast<unsigned>(exponent < 0 ? -exponent : exponent);
  if (magnitude < 10) *out++ = '0';
  return std::to_chars(out, out + 4, magnitude).ptr;
}

// %g's layout: plain notation for exponents from -4 to precision - 1,
// scientific otherwise; no trailing zeros after the point.
size_t Layout(const Decimal& d, int precision, char* out) {
  char* start = out;
  int count = d.count;
  while (count > 1 && d.digits[count - 1] == '0') --count;
  if (d.negative) *out++ = '-';
  if (d.exponent < -4 || d.exponent >= precision) {
    *out++ = d.digits[0];
    if (count > 1) {
      *out++ = '.';
      std::memcpy(out, d.digits + 1, static_cast<size_t>(count - 1));
      out += count - 1;
    }
    out = PutExponent(out, d.exponent);
  } else if (d.exponent < 0) {
    *out++ = '0';
    *out++ = '.';
    for (int i = -1; i > d.exponent; --i) *out++ = '0';
    std::memcpy(out, d.digits, static_cast<size_t>(count));
    out += count;
  } else {
    for (int i = 0; i <= d.exponent; ++i) *out++ = i < count ? d.digits[i] : '0';
    if (count > d.exponent + 1) {
      *out++ = '.';
      std::memcpy(out, d.digits + d.exponent + 1, static_cast<size_t>(count - d.exponent - 1));
      out += count - d.exponent - 1;
    }
  }
  *out = '\0';
  return static_cast<size_t>(out - start);
}

// Current servers print the shortest digits in plain notation for decimal
// exponents from -4 up to these limits, in scientific notation beyond.
constexpr int kShortestPlainDouble = 15;
constexpr int kShortestPlainFloat = 6;

}  // namespace

size_t ExactFloatChars(double value, int precision, char* out, size_t capacity) {
  auto result = std::to_chars(out, out + capacity - 1, value, std::chars_format::general, precision);
  *result.ptr = '\0';
  return static_cast<size_t>(result.ptr - out);
}

size_t ShortestFloatChars(double value, char* out) {
  Decimal d;
  if (!ShortestDigits(value, d)) return ExactFloatChars(value, 17, out, kShortestFloatCapacity);
  return Layout(d, kShortestPlainDouble, out);
}

size_t ShortestFloatChars(float value, char* out) {
  Decimal d;
  if (!ShortestDigits(value, d)) return ExactFloatChars(value, 9, out, kShortestFloatCapacity);
  return Layout(d, kShortestPlainFloat, out);
}

size_t FiniteFloatChars(double value, int digits, char* out, size_t capacity) {
  int precision = digits + kExtraFloatDigits;
  if (precision < 1) precision = 1;
  Decimal d;
  // 17 digits, sign, point, "e-308" and the NUL fit in 32 bytes.
  // Subnormal values have too few bits for the argument above.
  const bool normal = value == 0 || std::fabs(value) >= DBL_MIN;
  if (capacity >= 32 && precision <= 15 && normal && ShortestDigits(value, d) && RoundTo(d, precision)) {
    return Layout(d, precision, out);
  }
  return ExactFloatChars(value, precision, out, capacity);
}

}  // namespace vesk
