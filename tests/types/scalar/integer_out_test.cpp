#include <gtest/gtest.h>

#include <limits>

#include "support/recovery_run.h"
#include "types/scalar/scalar_out.h"
#include "types/scalar/scalar_test_util.h"

namespace vesk {
namespace {

using testing::Bytes;
using testing::BytesOfValue;
using testing::PutU16;
using testing::PutU32;
using testing::Stored;
using testing::Take;

struct WordCase {
  const char* name;
  char* (*routine)(Datum);
  Datum word;
  const char* text;
};

class WordRoutines : public ::testing::TestWithParam<WordCase> {};

TEST_P(WordRoutines, PrintTheServerText) {
  const WordCase& c = GetParam();
  EXPECT_EQ(Take(c.routine(c.word)), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    ByValue, WordRoutines,
    ::testing::Values(WordCase{"BoolZero", boolout, 0, "false"}, WordCase{"BoolAnyNonzero", boolout, 0x100, "true"},
                      WordCase{"CharByte", charout, 'Z', "Z"}, WordCase{"CharZeroIsEmpty", charout, 0, ""},
                      WordCase{"CharUsesLowByteOnly", charout, 0x4142, "B"},
                      WordCase{"Int2AllOnes", int2out, 0x0000FFFF, "-1"},
                      WordCase{"Int2Minimum", int2out, 0x8000, "-32768"},
                      WordCase{"Int2IgnoresHighBits", int2out, 0xABCD0007, "7"},
                      WordCase{"Int4Minimum", int4out, 0x80000000u, "-2147483648"},
                      WordCase{"Int4Maximum", int4out, 0x7FFFFFFF, "2147483647"},
                      WordCase{"OidMaximum", oidout, 0xFFFFFFFFu, "4294967295"},
                      WordCase{"XidUnsigned", xidout, 0xFFFFFFFFu, "4294967295"},
                      WordCase{"CidUnsigned", cidout, 0x80000000u, "2147483648"}),
    [](const ::testing::TestParamInfo<WordCase>& param) { return std::string(param.param.name); });

TEST(BoolOut, ConstantTextsSurviveScratchFree) {
  char* text = boolout(1);
  ScratchFree(text);
  EXPECT_STREQ(boolout(1), "true");
}

TEST(Int8Out, ExtremesAtUnalignedAddress) {
  Stored min(BytesOfValue(std::numeric_limits<int64_t>::min()));
  Stored max(BytesOfValue(std::numeric_limits<int64_t>::max()));
  EXPECT_EQ(Take(int8out(min.datum())), "-9223372036854775808");
  EXPECT_EQ(Take(int8out(max.datum())), "9223372036854775807");
}

TEST(PointerRoutines, NullAddressGivesNull) {
  for (auto routine : {int8out, tidout, nameout, float4out, float8out, int2vectorout, oidvectorout, byteaout82,
                       byteaout83, textout82, textout83, cash_out82, cash_out83, unknownout, cstring_out}) {
    EXPECT_EQ(routine(0), nullptr);
  }
  for (auto routine : {bpcharout82, bpcharout83, varcharout82, varcharout83, bit_out82, bit_out83, varbit_out82,
                       varbit_out83, numeric_out82, numeric_out83}) {
    EXPECT_EQ(routine(0, -1), nullptr);
  }
}

TEST(TidOut, BlockFromBothHalvesAndItem) {
  Stored tid({0x01, 0x00, 0x02, 0x00, 0x05, 0x00});
  EXPECT_EQ(Take(tidout(tid.datum())), "(65538,5)");
  Stored top({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
  EXPECT_EQ(Take(tidout(top.datum())), "(4294967295,65535)");
}

TEST(NameOut, StopsAtNulAndNeverPastTheSlot) {
  std::vector<uint8_t> slot(64, 0);
  std::memcpy(slot.data(), "na\"me", 5);
  Stored name(slot);
  EXPECT_EQ(Take(nameout(name.datum())), "na\"me");
  // A slot without terminator: 63 characters, nothing read beyond 64 bytes.
  Stored full(std::vector<uint8_t>(64, 'n'));
  EXPECT_EQ(Take(nameout(full.datum())), std::string(63, 'n'));
}

// Vector payload: dimensions, data offset, element type, length, lower bound.
std::vector<uint8_t> VectorPayload(int32_t count, uint32_t elemType, const std::vector<uint8_t>& values) {
  std::vector<uint8_t> out;
  PutU32(out, 1);
  PutU32(out, 0);
  PutU32(out, elemType);
  PutU32(out, static_cast<uint32_t>(count));
  PutU32(out, 0);
  out.insert(out.end(), values.begin(), values.end());
  return out;
}

class VectorOut : public ::testing::TestWithParam<uint8_t> {
 protected:
  void SetUp() override { vesk::Run().version = GetParam(); }
  void TearDown() override { vesk::Run().version = 82; }
};

TEST_P(VectorOut, Int2ValuesSeparatedByBlanks) {
  std::vector<uint8_t> values;
  for (int16_t v : {int16_t{1}, int16_t{-2}, int16_t{3}}) PutU16(values, static_cast<uint16_t>(v));
  Stored vector(testing::PlainOf(GetParam(), VectorPayload(3, 21, values)));
  EXPECT_EQ(Take(int2vectorout(vector.datum())), "1 -2 3");
}

TEST_P(VectorOut, OidValuesUnsigned) {
  std::vector<uint8_t> values;
  for (uint32_t v : {1u, 2u, 4294967295u}) PutU32(values, v);
  Stored vector(testing::PlainOf(GetParam(), VectorPayload(3, 26, values)));
  EXPECT_EQ(Take(oidvectorout(vector.datum())), "1 2 4294967295");
}

TEST_P(VectorOut, EmptyVectorIsEmptyText) {
  Stored withDimension(testing::PlainOf(GetParam(), VectorPayload(0, 26, {})));
  EXPECT_EQ(Take(oidvectorout(withDimension.datum())), "");
  std::vector<uint8_t> bare;
  PutU32(bare, 0);
  PutU32(bare, 0);
  PutU32(bare, 21);
  Stored noDimension(testing::PlainOf(GetParam(), bare));
  EXPECT_EQ(Take(int2vectorout(noDimension.datum())), "");
}

TEST_P(VectorOut, CountBeyondStoredValuesIsRefused) {
  std::vector<uint8_t> values;
  PutU32(values, 7);
  Stored tooMany(testing::PlainOf(GetParam(), VectorPayload(1000000, 26, values)));
  EXPECT_EQ(oidvectorout(tooMany.datum()), nullptr);
  Stored negative(testing::PlainOf(GetParam(), VectorPayload(-1, 21, values)));
  EXPECT_EQ(int2vectorout(negative.datum()), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Layouts, VectorOut, ::testing::Values(82, 83));

}  // namespace
}  // namespace vesk
