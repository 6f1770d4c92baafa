// A numeric value unpacked for printing: base-10000 digits with the weight
// of the first one, a sign and the number of decimal places to show.
#pragma once

#include <cstddef>
#include <cstdint>

#include "types/scalar/var_bytes.h"

namespace vesk {

inline constexpr int32_t kNumericPositive = 0x0000;
inline constexpr int32_t kNumericNegative = 0x4000;
inline constexpr int32_t kNumericNaN = 0xC000;

struct NumericVar {
  int32_t ndigits = 0;  // number of base-10000 digits
  int32_t weight = 0;   // power of 10000 of the first digit
  int32_t sign = 0;     // kNumericPositive, kNumericNegative or kNumericNaN
  int32_t dscale = 0;   // decimal digits shown after the point
  const uint8_t* digits = nullptr;  // stored 16-bit digits, possibly unaligned

  // Digit `index`, or 0 outside the stored digits or the range 0..9999.
  int32_t DigitAt(int64_t index) const;
};

// Unpacks a payload (after the length word) of the 8.2 or the 8.3 layout;
// raises ValueRejected when it is too short for its fixed fields.
NumericVar UnpackNumeric(const scalar::VarBytes& bytes, uint8_t version);
// The server's text for a positive or negative value, in a scratch block.
char* NumericText(const NumericVar& var);
// Room WriteNumericText needs for `var`, its terminating NUL included.
size_t NumericTextSize(const NumericVar& var);
// The same text into `text` (NumericTextSize(var) bytes); its length.
size_t WriteNumericText(const NumericVar& var, char* text);

}  // namespace vesk
