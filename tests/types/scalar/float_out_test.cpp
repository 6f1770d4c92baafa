#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

#include "types/scalar/scalar_out.h"
#include "types/scalar/scalar_test_util.h"

namespace vesk {
namespace {

using testing::BytesOfValue;
using testing::Stored;
using testing::Take;

std::optional<std::string> Float4(float v) { return Take(float4out(Stored(BytesOfValue(v)).datum())); }
std::optional<std::string> Float8(double v) { return Take(float8out(Stored(BytesOfValue(v)).datum())); }

TEST(Float4Out, ServerTexts) {
  EXPECT_EQ(Float4(0.1f), "0.1");
  EXPECT_EQ(Float4(1.5f), "1.5");
  EXPECT_EQ(Float4(-3.4e38f), "-3.4e+38");
  EXPECT_EQ(Float4(0.0f), "0");
  EXPECT_EQ(Float4(123456789.0f), "1.23457e+08");
  EXPECT_EQ(Float4(std::numeric_limits<float>::infinity()), "Infinity");
  EXPECT_EQ(Float4(-std::numeric_limits<float>::infinity()), "-Infinity");
  EXPECT_EQ(Float4(std::numeric_limits<float>::quiet_NaN()), "NaN");
  // float4 makes no range check: its subnormals print.
  EXPECT_EQ(Float4(1e-40f), "9.99995e-41");
}

TEST(Float8Out, ServerTexts) {
  EXPECT_EQ(Float8(1.0 / 3.0), "0.333333333333333");
  EXPECT_EQ(Float8(-1.7976931348623157e308), "-1.79769313486232e+308");
  EXPECT_EQ(Float8(3.14159265358979), "3.14159265358979");
  EXPECT_EQ(Float8(1e20), "1e+20");
  EXPECT_EQ(Float8(0.3), "0.3");
  EXPECT_EQ(Float8(-0.0), "-0");
  EXPECT_EQ(Float8(-std::numeric_limits<double>::infinity()), "-Infinity");
  EXPECT_EQ(Float8(-std::numeric_limits<double>::quiet_NaN()), "NaN");
}

TEST(Float8Out, SubnormalIsRefusedWithUnderflowLine) {
  testing::LogCapture log;
  EXPECT_EQ(Float8(1e-310), std::nullopt);
  EXPECT_TRUE(log.Has("type \"double precision\" value out of range: underflow"));
  EXPECT_TRUE(log.Has("ERROR while out type, MISS value"));
  EXPECT_EQ(Float8(2.2250738585072014e-308), "2.2250738585072e-308");
}

// The texts must be exactly printf's "%.*g", which is what the server runs.
TEST(FloatOut, MatchesPrintfAcrossMagnitudes) {
  std::mt19937_64 random(20261207);
  char expected[64];
  for (int i = 0; i < 20000; ++i) {
    uint64_t bits = random();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    if (!std::isfinite(d) || std::fabs(d) < 2.2250738585072014e-308) continue;
    std::snprintf(expected, sizeof expected, "%.*g", 15, d);
    ASSERT_EQ(Float8(d), expected) << bits;
    float f;
    std::memcpy(&f, &bits, sizeof f);
    if (!std::isfinite(f)) continue;
    std::snprintf(expected, sizeof expected, "%.*g", 6, static_cast<double>(f));
    ASSERT_EQ(Float4(f), expected) << bits;
  }
}

}  // namespace
}  // namespace vesk
