#include <gtest/gtest.h>

#include "types/scalar/scalar_out.h"
#include "types/scalar/scalar_test_util.h"

namespace vesk {
namespace {

using testing::PlainOf;
using testing::PutU32;
using testing::Stored;
using testing::Take;

// Stored bit string of the given digits ("1010..."), with the stored count
// overridden where given.
std::vector<uint8_t> BitPayload(const std::string& digits, std::optional<int32_t> count = std::nullopt) {
  std::vector<uint8_t> payload;
  PutU32(payload, static_cast<uint32_t>(count.value_or(static_cast<int32_t>(digits.size()))));
  std::vector<uint8_t> bits((digits.size() + 7) / 8, 0);
  for (size_t i = 0; i < digits.size(); ++i) {
    if (digits[i] == '1') bits[i / 8] = static_cast<uint8_t>(bits[i / 8] | (0x80 >> (i % 8)));
  }
  payload.insert(payload.end(), bits.begin(), bits.end());
  return payload;
}

std::optional<std::string> Out(char* (*routine)(Datum, int32_t), uint8_t version, const std::string& digits,
                               int32_t typmod) {
  return Take(routine(Stored(PlainOf(version, BitPayload(digits))).datum(), typmod));
}

struct HexCase {
  const char* digits;
  int32_t typmod;
  const char* literal;
};

class BitOut82 : public ::testing::TestWithParam<HexCase> {};

TEST_P(BitOut82, HexLiteralWithExactCast) {
  EXPECT_EQ(Out(bit_out82, 82, GetParam().digits, GetParam().typmod), GetParam().literal);
}

INSTANTIATE_TEST_SUITE_P(Values, BitOut82,
                         ::testing::Values(HexCase{"1010", 4, "X'A'::bit(4)"},
                                           HexCase{"101011001111", 12, "X'ACF'::bit(12)"},
                                           HexCase{"10101", 5, "X'A8'::bit(5)"}, HexCase{"1", -1, "X'8'::bit(1)"},
                                           HexCase{"000000000001", 12, "X'001'::bit(12)"},
                                           HexCase{"1111111100000000", 16, "X'FF00'::bit(16)"}));

TEST(BitOut82Checks, LengthOtherThanDeclaredIsRefused) {
  testing::LogCapture log;
  EXPECT_EQ(Out(bit_out82, 82, "101", 4), std::nullopt);
  EXPECT_TRUE(log.Has("[ERROR]: Invalid length [3]"));
  EXPECT_EQ(Out(bit_out82, 82, "", -1), std::nullopt);
}

TEST(VarbitOut82, DeclaredLengthIsAMaximum) {
  EXPECT_EQ(Out(varbit_out82, 82, "", 8), "");
  EXPECT_EQ(Out(varbit_out82, 82, "101", 8), "101");
  EXPECT_EQ(Out(varbit_out82, 82, "10101010", 8), "10101010");
  EXPECT_EQ(Out(varbit_out82, 82, "", -1), "");
  EXPECT_EQ(Out(varbit_out82, 82, "101010101", 8), std::nullopt);
}

TEST(BitDigits83, OneCharacterPerBitWithoutChecks) {
  EXPECT_EQ(Out(varbit_out83, 83, "101", -1), "101");
  EXPECT_EQ(Out(varbit_out83, 83, "", 8), "");
  EXPECT_EQ(Out(bit_out83, 83, "101011001111", 12), "101011001111");
  std::string forty(40, '1');
  EXPECT_EQ(Out(varbit_out83, 83, forty, -1), forty);
  EXPECT_EQ(Take(varbit_out83(Stored(testing::Short83(BitPayload("0101"))).datum(), -1)), "0101");
}

TEST(BitStrings, CountBeyondStoredBytesIsRefusedInEveryRoutine) {
  for (uint8_t version : {uint8_t{82}, uint8_t{83}}) {
    Stored overlong(PlainOf(version, BitPayload("1010", 4000)));
    Stored negative(PlainOf(version, BitPayload("1010", -4)));
    for (auto routine : {bit_out82, bit_out83, varbit_out82, varbit_out83}) {
      EXPECT_EQ(routine(overlong.datum(), -1), nullptr);
      EXPECT_EQ(routine(negative.datum(), -1), nullptr);
    }
  }
}

}  // namespace
}  // namespace vesk
