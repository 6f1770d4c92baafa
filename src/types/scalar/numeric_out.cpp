// numeric: base-10000 digits printed with exactly the stored display scale.
#include <array>
#include <cstring>

#include "support/scratch.h"
#include "types/scalar/numeric_var.h"
#include "types/scalar/output_guard.h"
#include "types/scalar/scalar_out.h"
#include "types/toast/varlena.h"

namespace vesk {

using namespace scalar;

namespace {

constexpr int32_t kDecDigits = 4;
constexpr int32_t kNumericBase = 10000;
constexpr int32_t kSignMask = 0xC000;
constexpr int32_t kScaleMask = 0x3FFF;

// "00" to "99": a base-10000 digit is two table lookups, not four divisions.
constexpr auto kPairs = [] {
  std::array<char, 200> pairs{};
  for (int i = 0; i < 100; ++i) {
    pairs[static_cast<size_t>(2 * i)] = static_cast<char>('0' + i / 10);
    pairs[static_cast<size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

// Writes the four decimal characters of a base-10000 digit (0 to 9999);
// with `trim`, leading zeros are left out (the units character always stays).
char* PutDigit(char* out, int32_t digit, bool trim) {
  char four[kDecDigits];
  std::memcpy(four, kPairs.data() + 2 * (digit / 100), 2);
  std::memcpy(four + 2, kPairs.data() + 2 * (digit % 100), 2);
  int32_t skip = 0;
  while (trim && skip < kDecDigits - 1 && four[skip] == '0') ++skip;
  std::memcpy(out, four + skip, static_cast<size_t>(kDecDigits - skip));
  return out + kDecDigits - skip;
}

char* NumericOut(uint8_t version, Datum d) {
  if (!DatumPointer(d)) return nullptr;
  return GuardOutput([&] {
    NumericVar var = UnpackNumeric(RequireBytes(version, d), version);
    // The quote escaping of the text routines would change nothing in digits
    // or "NaN", so the text is handed back as printed.
    if (var.sign == kNumericNaN) return ScratchDup("NaN");
    return NumericText(var);
  });
}

}  // namespace

int32_t NumericVar::DigitAt(int64_t index) const {
  if (index < 0 || index >= ndigits) return 0;
  int16_t digit = ReadI16(digits + index * 2);
  return digit >= 0 && digit < kNumericBase ? digit : 0;
}

NumericVar UnpackNumeric(const VarBytes& bytes, uint8_t version) {
  if (bytes.size < 4) RejectLength(bytes.size);
  int32_t signAndScale = ReadU16(bytes.data + (version == 83 ? 0 : 2));
  NumericVar var;
  var.weight = ReadI16(bytes.data + (version == 83 ? 2 : 0));
  var.ndigits = static_cast<int32_t>((bytes.size - 4) / 2);
  var.dscale = signAndScale & kScaleMask;
  var.digits = bytes.data + 4;
  int32_t sign = signAndScale & kSignMask;
  var.sign = sign == kNumericPositive || sign == kNumericNegative ? sign : kNumericNaN;
  return var;
}

size_t NumericTextSize(const NumericVar& var) {
  int32_t scale = var.dscale < 0 ? 0 : var.dscale;
  int64_t integerRoom = (static_cast<int64_t>(var.weight) + 1) * kDecDigits;
  if (integerRoom < 1) integerRoom = 1;
  return static_cast<size_t>(integerRoom + scale + 6);
}

size_t WriteNumericText(const NumericVar& var, char* text) {
  int32_t scale = var.dscale < 0 ? 0 : var.dscale;
  char* out = text;
  if (var.sign == kNumericNegative) *out++ = '-';
  int64_t index = 0;
  if (var.weight < 0) {
    index = var.weight + 1;
    *out++ = '0';
  } else {
    for (; index <= var.weight; ++index) out = PutDigit(out, var.DigitAt(index), index == 0);
  }
  if (scale > 0) {
    *out++ = '.';
    char* point = out;
    for (int32_t group = 0; group < (scale + kDecDigits - 1) / kDecDigits; ++group, ++index) {
      out = PutDigit(out, var.DigitAt(index), false);
    }
    out = point + scale;
  }
  *out = '\0';
  return static_cast<size_t>(out - text);
}

char* NumericText(const NumericVar& var) {
  char* text = static_cast<char*>(ScratchAlloc(static_cast<uint32_t>(NumericTextSize(var))));
  WriteNumericText(var, text);
  return text;
}

char* numeric_out82(Datum d, int32_t) { return NumericOut(82, d); }

char* numeric_out83(Datum d, int32_t) { return NumericOut(83, d); }

}  // namespace vesk
