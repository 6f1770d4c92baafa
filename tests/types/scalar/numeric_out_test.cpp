#include <gtest/gtest.h>

#include "types/scalar/scalar_out.h"
#include "types/scalar/scalar_test_util.h"

namespace vesk {
namespace {

using testing::PlainOf;
using testing::PutU16;
using testing::Stored;
using testing::Take;

constexpr uint16_t kNegative = 0x4000;
constexpr uint16_t kNaN = 0xC000;

// Stored numeric: weight and sign-and-scale words in the layout's order,
// then the base-10000 digits.
std::vector<uint8_t> NumericPayload(uint8_t version, int16_t weight, uint16_t signAndScale,
                                    const std::vector<int16_t>& digits) {
  std::vector<uint8_t> payload;
  if (version == 83) {
    PutU16(payload, signAndScale);
    PutU16(payload, static_cast<uint16_t>(weight));
  } else {
    PutU16(payload, static_cast<uint16_t>(weight));
    PutU16(payload, signAndScale);
  }
  for (int16_t digit : digits) PutU16(payload, static_cast<uint16_t>(digit));
  return payload;
}

struct NumericCase {
  const char* name;
  int16_t weight;
  uint16_t signAndScale;
  std::vector<int16_t> digits;
  const char* text;
};

class NumericOut : public ::testing::TestWithParam<std::tuple<uint8_t, NumericCase>> {};

TEST_P(NumericOut, PrintsTheServerText) {
  auto [version, c] = GetParam();
  Stored value(PlainOf(version, NumericPayload(version, c.weight, c.signAndScale, c.digits)));
  auto routine = version == 83 ? numeric_out83 : numeric_out82;
  EXPECT_EQ(Take(routine(value.datum(), -1)), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, NumericOut,
    ::testing::Combine(
        ::testing::Values(82, 83),
        ::testing::Values(NumericCase{"Zero", 0, 0, {}, "0"}, NumericCase{"ZeroWithScale", 0, 2, {}, "0.00"},
                          NumericCase{"OnePointFifty", 0, 2, {1, 5000}, "1.50"},
                          NumericCase{"NegativeThousandth", -1, kNegative | 3, {10}, "-0.001"},
                          NumericCase{"TenThousand", 1, 0, {1}, "10000"},
                          NumericCase{"LeadingZerosOnlyInFirstGroup", 1, 0, {12, 34}, "120034"},
                          NumericCase{"ScaleCutsTheLastGroup", 0, 1, {7, 1234}, "7.1"},
                          NumericCase{"TinyFraction", -5, 20, {1}, "0.00000000000000000001"},
                          NumericCase{"Long",
                                      7,
                                      9,
                                      {12, 3456, 7890, 1234, 5678, 9012, 3456, 7890, 1234, 5678, 9000},
                                      "123456789012345678901234567890.123456789"},
                          NumericCase{"NaN", 0, kNaN, {}, "NaN"},
                          NumericCase{"OtherSignBitsAreNaN", 0, 0x8000, {1}, "NaN"},
                          NumericCase{"DigitOutOfRangeCountsAsZero", 0, 0, {10000}, "0"})),
    [](const ::testing::TestParamInfo<std::tuple<uint8_t, NumericCase>>& param) {
      return std::get<1>(param.param).name + std::string(std::get<0>(param.param) == 83 ? "83" : "82");
    });

TEST(NumericOutDamage, TooShortForItsFixedFieldsIsRefused) {
  Stored tiny(PlainOf(82, {1, 0}));
  EXPECT_EQ(numeric_out82(tiny.datum(), -1), nullptr);
}

TEST(NumericOutDamage, ExtremeWeightAndScaleStayInsideTheBlock) {
  for (uint8_t version : {uint8_t{82}, uint8_t{83}}) {
    auto routine = version == 83 ? numeric_out83 : numeric_out82;
    auto high = Take(routine(Stored(PlainOf(version, NumericPayload(version, 32767, 0x3FFF, {9999}))).datum(), -1));
    ASSERT_TRUE(high);
    EXPECT_EQ(high->size(), 4 + 32767 * 4 + 1 + 0x3FFF);
    auto low = Take(routine(Stored(PlainOf(version, NumericPayload(version, -32768, 0x3FFF, {1}))).datum(), -1));
    ASSERT_TRUE(low);
    EXPECT_EQ(*low, "0." + std::string(0x3FFF, '0'));
  }
}

}  // namespace
}  // namespace vesk
