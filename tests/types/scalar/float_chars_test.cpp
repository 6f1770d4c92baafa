// Floats are printed from their shortest digits, rounded; the text must be
// printf's "%.*g" of the exact value for every precision the types use.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "types/scalar/scalar_chars.h"

namespace vesk {
namespace {

void ExpectExact(double value, int precision) {
  char fast[64];
  char exact[64];
  FiniteFloatChars(value, precision, fast, sizeof fast);
  ExactFloatChars(value, precision, exact, sizeof exact);
  ASSERT_STREQ(fast, exact) << "precision " << precision;
}

TEST(FloatCharsTest, RandomBitPatternsAtEveryPrecision) {
  std::mt19937_64 random(7);
  for (int i = 0; i < 300000; ++i) {
    uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    if (!std::isfinite(value)) continue;
    ExpectExact(value, DBL_DIG);
    ExpectExact(static_cast<double>(static_cast<float>(value)), FLT_DIG);
    ExpectExact(value, 1 + static_cast<int>(bits % 17));
  }
}

// Values a table holds: decimal fractions, quotients, integers, powers of
// ten and the halves that are ties at short precisions.
TEST(FloatCharsTest, EverydayValuesTiesAndEdges) {
  std::mt19937_64 random(11);
  for (int i = 1; i < 100000; ++i) {
    ExpectExact(i / 7.0, DBL_DIG);
    ExpectExact(i * 0.01, DBL_DIG);
    ExpectExact(-i * 1.1, DBL_DIG);
    ExpectExact(static_cast<double>(static_cast<float>(i * 0.001)), FLT_DIG);
    ExpectExact(static_cast<double>(random() >> 11), DBL_DIG);
  }
  for (int e = -320; e <= 308; ++e) {
    double p = std::pow(10.0, e);
    for (double v : {p, -p, p * 0.999999999999999, p * 9.5, p * 0.5}) {
      ExpectExact(v, DBL_DIG);
      ExpectExact(v, FLT_DIG);
      ExpectExact(v, 1);
    }
  }
  for (double v : {0.0, -0.0, 0.5, 1.5, 2.5, 0.125, 1e15, 1e16, 123456789012345678.0, DBL_MAX, DBL_MIN,
                   5e-324, 999999999999999.5, 0.000099999999999999999}) {
    for (int precision = 1; precision <= 17; ++precision) ExpectExact(v, precision);
  }
}

}  // namespace
}  // namespace vesk
