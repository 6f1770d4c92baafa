// The cores of the float routines, writing into a caller's buffer instead of
// a scratch block: the row writer prints the commonest values through them.
#pragma once

#include <cstddef>

namespace vesk {

// The text of a finite `value` with `digits` significant digits, as printf's
// "%.*g" writes it, NUL-terminated in `out`; its length. 32 bytes suffice
// for a double's 17 digits, sign, point and exponent.
size_t FiniteFloatChars(double value, int digits, char* out, size_t capacity);
// printf's "%.*g" with `precision` straight from the exact conversion (the
// slow way FiniteFloatChars takes for ties).
size_t ExactFloatChars(double value, int precision, char* out, size_t capacity);
// The shortest text that reads back to the same bits, spelled as current
// servers print a finite float8 or float4 with extra_float_digits above 0
// ("0.1", "1e+100", "-0", "1.5e-07"), NUL-terminated in `out`, which holds
// kShortestFloatCapacity bytes; its length.
inline constexpr size_t kShortestFloatCapacity = 32;
size_t ShortestFloatChars(double value, char* out);
size_t ShortestFloatChars(float value, char* out);
// A float8 value too small for the type (subnormal), which its routine
// refuses with a log line.
bool Float8Underflows(double value);

}  // namespace vesk
