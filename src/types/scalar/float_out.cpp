// float4 and float8, printed as the server prints them with
// extra_float_digits 0.
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>

#include "support/logger.h"
#include "support/scratch.h"
#include "types/scalar/output_guard.h"
#include "types/scalar/scalar_chars.h"
#include "types/scalar/scalar_out.h"
#include "types/toast/varlena.h"

namespace vesk {

using namespace scalar;

namespace {

char* FloatText(double value, int digits, uint32_t blockSize) {
  char* text = static_cast<char*>(ScratchAlloc(blockSize));
  const char* word = nullptr;
  if (std::isnan(value)) {
    word = "NaN";
  } else if (std::isinf(value)) {
    word = value > 0 ? "Infinity" : "-Infinity";
  }
  if (word) {
    std::memcpy(text, word, std::strlen(word) + 1);
    return text;
  }
  FiniteFloatChars(value, digits, text, blockSize);
  return text;
}

}  // namespace

bool Float8Underflows(double value) { return std::isfinite(value) && value != 0.0 && std::fabs(value) < DBL_MIN; }

char* float4out(Datum d) {
  const uint8_t* p = DatumPointer(d);
  if (!p) return nullptr;
  return GuardOutput([p] { return FloatText(static_cast<double>(ReadF32(p)), FLT_DIG, 65); });
}

char* float8out(Datum d) {
  const uint8_t* p = DatumPointer(d);
  if (!p) return nullptr;
  return GuardOutput([p] {
    double value = ReadF64(p);
    if (Float8Underflows(value)) {
      LogFormat("type \"double precision\" value out of range: underflow");
      throw ValueRejected{};
    }
    return FloatText(value, DBL_DIG, 129);
  });
}

}  // namespace vesk
