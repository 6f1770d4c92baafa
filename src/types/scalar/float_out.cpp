// float4 and float8, printed as the 8.x servers display them (15 and 6
// significant digits), or, when the run asks for exact floats, in the
// shortest text that reads back to the same bits, as current servers print
// them for pg_dump.
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>

#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/scratch.h"
#include "types/scalar/output_guard.h"
#include "types/scalar/scalar_chars.h"
#include "types/scalar/scalar_out.h"
#include "types/toast/varlena.h"

namespace vesk {

using namespace scalar;

namespace {

bool ExactFloats() { return Run().options.floatText == VESK_FLOATS_EXACT; }

// The special values are spelled alike by every server.
const char* SpecialWord(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  return nullptr;
}

template <typename Float>
char* ShortestText(Float value) {
  char* text = static_cast<char*>(ScratchAlloc(kShortestFloatCapacity));
  if (const char* word = SpecialWord(value)) {
    std::memcpy(text, word, std::strlen(word) + 1);
  } else {
    ShortestFloatChars(value, text);
  }
  return text;
}

char* FloatText(double value, int digits, uint32_t blockSize) {
  char* text = static_cast<char*>(ScratchAlloc(blockSize));
  if (const char* word = SpecialWord(value)) {
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
  return GuardOutput([p] {
    const float value = ReadF32(p);
    return ExactFloats() ? ShortestText(value) : FloatText(static_cast<double>(value), FLT_DIG, 65);
  });
}

char* float8out(Datum d) {
  const uint8_t* p = DatumPointer(d);
  if (!p) return nullptr;
  return GuardOutput([p] {
    double value = ReadF64(p);
    // Current servers read and print the subnormal values that 8.x refused.
    if (ExactFloats()) return ShortestText(value);
    if (Float8Underflows(value)) {
      LogFormat("type \"double precision\" value out of range: underflow");
      throw ValueRejected{};
    }
    return FloatText(value, DBL_DIG, 129);
  });
}

}  // namespace vesk
