// Exact floats: the shortest text that reads back to the same bits, spelled
// as current servers print it, through the routines and the row writer's
// direct path alike.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

#include "support/recovery_run.h"
#include "types/registry/direct_text.h"
#include "types/scalar/scalar_chars.h"
#include "types/scalar/scalar_out.h"
#include "types/scalar/scalar_test_util.h"

namespace vesk {
namespace {

using testing::BytesOfValue;
using testing::Stored;
using testing::Take;

class ExactFloats : public ::testing::Test {
 protected:
  void SetUp() override { vesk::Run().options.floatText = VESK_FLOATS_EXACT; }
  void TearDown() override { vesk::Run().options.floatText = saved_; }

  // The routine's text, after checking the direct path gives the same (or
  // leaves the value to the routine).
  template <typename Float>
  std::optional<std::string> Text(Float value) {
    const bool single = sizeof(Float) == 4;
    auto stored = Stored(BytesOfValue(value));
    std::optional<std::string> routine = Take(single ? float4out(stored.datum()) : float8out(stored.datum()));
    DirectBuffer buffer;
    std::string_view direct;
    if (FindDirectText(83, single ? 700 : 701)(stored.datum(), -1, buffer, direct)) {
      EXPECT_EQ(std::string(direct), routine.value_or("<null>"));
    }
    return routine;
  }

 private:
  int32_t saved_ = vesk::Run().options.floatText;
};

TEST_F(ExactFloats, ShortestTextInTheCurrentServersSpelling) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double value;
    const char* text;
  } doubles[] = {
      // Fifteen digits lose these.
      {0.1 + 0.2, "0.30000000000000004"},
      {100 / 7.0, "14.285714285714286"},
      {1.0 / 3, "0.3333333333333333"},
      {0.3, "0.3"},
      // Plain notation from 1e-4 up to 15 integer digits, as the servers
      // switch; exponents have two digits at least.
      {0.0001, "0.0001"},
      {0.00001, "1e-05"},
      {123456789012345.0, "123456789012345"},
      {1e15, "1e+15"},
      {1234567890123456789.0, "1.2345678901234568e+18"},
      {1e100, "1e+100"},
      {-2.5e-7, "-2.5e-07"},
      // Extremes, and the subnormals 8.x refused but current servers read.
      {DBL_MAX, "1.7976931348623157e+308"},
      {DBL_MIN, "2.2250738585072014e-308"},
      {5e-324, "5e-324"},
      {0.0, "0"},
      {-0.0, "-0"},
      {inf, "Infinity"},
      {-inf, "-Infinity"},
      {std::numeric_limits<double>::quiet_NaN(), "NaN"},
  };
  for (const auto& c : doubles) EXPECT_EQ(Text(c.value), c.text) << c.text;
  const struct {
    float value;
    const char* text;
  } floats[] = {
      {0.1f, "0.1"},
      {0.3f, "0.3"},
      {1.0f / 3, "0.33333334"},
      {123456.0f, "123456"},
      {1e6f, "1e+06"},
      {16777217.0f, "1.6777216e+07"},
      {FLT_MAX, "3.4028235e+38"},
      {1e-45f, "1e-45"},
      {-0.0f, "-0"},
      {std::numeric_limits<float>::infinity(), "Infinity"},
      {std::numeric_limits<float>::quiet_NaN(), "NaN"},
  };
  for (const auto& c : floats) EXPECT_EQ(Text(c.value), c.text) << c.text;
}

// Whatever the bits, the text reads back to them.
TEST_F(ExactFloats, RandomBitsReadBackExactly) {
  std::mt19937_64 random(19);
  char text[kShortestFloatCapacity];
  for (int i = 0; i < 200000; ++i) {
    const uint64_t bits = random();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    if (std::isfinite(d)) {
      ShortestFloatChars(d, text);
      const double back = std::strtod(text, nullptr);
      ASSERT_EQ(std::memcmp(&back, &d, sizeof d), 0) << text;
    }
    if (std::isfinite(f)) {
      ShortestFloatChars(f, text);
      const float back = std::strtof(text, nullptr);
      ASSERT_EQ(std::memcmp(&back, &f, sizeof f), 0) << text;
    }
  }
}

}  // namespace
}  // namespace vesk
