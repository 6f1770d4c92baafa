#include "script/sql_literal.h"

#include <gtest/gtest.h>

#include <string>

namespace vesk {
namespace {

struct LiteralCase {
  LiteralKind kind;
  const char* text;
  const char* literal;  // null: no literal, the writer puts NULL
};

std::ostream& operator<<(std::ostream& os, const LiteralCase& c) { return os << c.text; }

class LiteralTest : public ::testing::TestWithParam<LiteralCase> {};

TEST_P(LiteralTest, WritesTheLiteral) {
  const LiteralCase& c = GetParam();
  std::string out = "x";
  bool written = AppendLiteral(out, c.kind, c.text);
  if (c.literal == nullptr) {
    EXPECT_FALSE(written);
    EXPECT_EQ(out, "x") << "nothing may be appended for a refused value";
  } else {
    EXPECT_TRUE(written);
    EXPECT_EQ(out, std::string("x") + c.literal);
  }
}

using K = LiteralKind;

INSTANTIATE_TEST_SUITE_P(Numbers, LiteralTest, ::testing::Values(
    LiteralCase{K::kInteger, "1", "1"},
    LiteralCase{K::kInteger, "-9223372036854775808", "-9223372036854775808"},
    LiteralCase{K::kInteger, "4294967295", "4294967295"},
    LiteralCase{K::kFloat8, "1.5e+300", "1.5e+300"},
    LiteralCase{K::kNumeric, "0.00000000000000000001", "0.00000000000000000001"},
    LiteralCase{K::kNumeric, "123456789012345678901234567890.123456789", "123456789012345678901234567890.123456789"},
    // Rounded past the type's range by the output digits: the largest value.
    LiteralCase{K::kFloat8, "-1.79769313486232e+308", "-1.7976931348623157e+308"},
    LiteralCase{K::kFloat8, "1.79769313486231e+308", "1.79769313486231e+308"},
    LiteralCase{K::kFloat4, "3.40283e+38", "3.40282347e+38"},
    LiteralCase{K::kFloat4, "-3.4e+38", "-3.4e+38"},
    // Past the range without an exponent: 39 digits are enough for float4.
    LiteralCase{K::kFloat4, "400000000000000000000000000000000000000", "3.40282347e+38"},
    LiteralCase{K::kFloat4, "-400000000000000000000000000000000000000.5", "-3.40282347e+38"},
    LiteralCase{K::kFloat4, "99999999999999999999999999999999999999", "99999999999999999999999999999999999999"},
    LiteralCase{K::kNumeric, "1e+400", "1e+400"},
    LiteralCase{K::kFloat8, "-.5", "-.5"},
    LiteralCase{K::kFloat8, "NaN", "'NaN'"},
    // Infinities stay infinities instead of becoming NaN.
    LiteralCase{K::kFloat8, "Infinity", "'Infinity'"},
    LiteralCase{K::kFloat8, "-Infinity", "'-Infinity'"},
    LiteralCase{K::kFloat8, "garbage", "'NaN'"},
    // "--" would comment out the rest of the statement.
    LiteralCase{K::kFloat8, "--1", "'NaN'"},
    LiteralCase{K::kFloat8, "1e", "'NaN'"},
    LiteralCase{K::kFloat8, "", "'NaN'"},
    LiteralCase{K::kFloat8, "-", "'NaN'"},
    // An integer column cannot take a quoted word: the row would not load.
    LiteralCase{K::kInteger, "NaN", nullptr},
    LiteralCase{K::kInteger, "", nullptr},
    LiteralCase{K::kInteger, "1 2", nullptr}));

INSTANTIATE_TEST_SUITE_P(Bits, LiteralTest, ::testing::Values(
    LiteralCase{K::kBit, "X'ACF'::bit(12)", "X'ACF'::bit(12)"},
    LiteralCase{K::kBit, "X'A8'::bit(5)", "X'A8'::bit(5)"},
    LiteralCase{K::kBit, "101011001111", "B'101011001111'"},
    LiteralCase{K::kBit, "", "B''"},
    LiteralCase{K::kVarbit, "0101", "B'0101'"},
    LiteralCase{K::kVarbit, "", "B''"},
    // Anything else is never written bare.
    LiteralCase{K::kBit, "X'AC'::bit(4); DROP", "E'X''AC''::bit(4); DROP'"},
    LiteralCase{K::kVarbit, "01x", "'01x'"}));

INSTANTIATE_TEST_SUITE_P(Texts, LiteralTest, ::testing::Values(
    LiteralCase{K::kText, "hello", "'hello'"},
    LiteralCase{K::kText, "", "''"},
    LiteralCase{K::kText, "true", "'true'"},
    LiteralCase{K::kText, "O'Brien", "E'O''Brien'"},
    LiteralCase{K::kText, R"(back\slash)", R"(E'back\\slash')"},
    LiteralCase{K::kText, R"(x\'y)", R"(E'x\\''y')"},
    // bytea text: the server must receive its escapes unchanged.
    LiteralCase{K::kText, R"(A\\\000\377)", R"(E'A\\\\\\000\\377')"},
    LiteralCase{K::kText, "tab\there", "'tab\there'"},
    // 8.2 text routines escaped already: undone, then written once.
    LiteralCase{K::kEscapedText, R"(it\'s)", "E'it''s'"},
    LiteralCase{K::kEscapedText, R"(a\\b)", R"(E'a\\b')"},
    LiteralCase{K::kEscapedText, R"(\\\')", R"(E'\\''')"},
    LiteralCase{K::kEscapedText, "plain", "'plain'"},
    LiteralCase{K::kEscapedText, "", "''"},
    // A backslash the routine did not escape stands for itself.
    LiteralCase{K::kEscapedText, R"(a\x)", R"(E'a\\x')"},
    LiteralCase{K::kEscapedText, "a\\", R"(E'a\\')"}));

// The same texts as fields of a COPY block. Null: refused (the writer puts \N).
class CopyValueTest : public ::testing::TestWithParam<LiteralCase> {};

TEST_P(CopyValueTest, WritesTheField) {
  const LiteralCase& c = GetParam();
  std::string out = "x";
  const bool written = AppendCopyValue(out, c.kind, c.text);
  EXPECT_EQ(written, c.literal != nullptr);
  EXPECT_EQ(out, std::string("x") + (c.literal != nullptr ? c.literal : ""));
}

INSTANTIATE_TEST_SUITE_P(Copy, CopyValueTest, ::testing::Values(
    LiteralCase{K::kText, "", ""},
    LiteralCase{K::kText, "O'Brien", "O'Brien"},
    LiteralCase{K::kText, "a\tb", "a\\tb"},
    LiteralCase{K::kText, R"(\.)", R"(\\.)"},  // never the end-of-block line
    LiteralCase{K::kText, "1\t2\n3\r4\b5\f6\v7", "1\\t2\\n3\\r4\\b5\\f6\\v7"},
    // Control characters COPY does not read specially go out as they are,
    // as pg_dump writes them.
    LiteralCase{K::kText, "\x01\x1b\x7f", "\x01\x1b\x7f"},
    // Past the first eight bytes, and beside bytes of UTF-8 sequences.
    LiteralCase{K::kText, "caf\xc3\xa9 au lait\tnoir", "caf\xc3\xa9 au lait\\tnoir"},
    LiteralCase{K::kText, "0123456789abcdef\n", "0123456789abcdef\\n"},
    // bytea's escapes are data: each backslash doubled.
    LiteralCase{K::kText, R"(A\\\000)", R"(A\\\\\\000)"},
    LiteralCase{K::kEscapedText, R"(it\'s a\\b)", R"(it's a\\b)"},
    LiteralCase{K::kEscapedText, "a\\x\n", "a\\\\x\\n"},
    LiteralCase{K::kInteger, "-32768", "-32768"},
    LiteralCase{K::kInteger, "NaN", nullptr},
    LiteralCase{K::kFloat8, "1.5e+300", "1.5e+300"},
    LiteralCase{K::kFloat8, "-Infinity", "-Infinity"},
    LiteralCase{K::kFloat8, "--1", "NaN"},
    LiteralCase{K::kFloat8, "-1.79769313486232e+308", "-1.7976931348623157e+308"},
    LiteralCase{K::kNumeric, "NaN", "NaN"},
    // 8.2's hexadecimal bit literal: the bits its cast keeps.
    LiteralCase{K::kBit, "X'ACF'::bit(12)", "101011001111"},
    LiteralCase{K::kBit, "X'A8'::bit(5)", "10101"},
    LiteralCase{K::kBit, "0101", "0101"},
    LiteralCase{K::kVarbit, "", ""}));

struct KindCase {
  uint8_t version;
  uint32_t oid;
  LiteralKind kind;
};

TEST(LiteralKindTest, FollowsTypeAndLayout) {
  const KindCase cases[] = {
      {82, 20, K::kInteger},  {83, 21, K::kInteger},   {82, 23, K::kInteger},    {83, 26, K::kInteger},
      {82, 700, K::kFloat4},  {83, 701, K::kFloat8},   {82, 1700, K::kNumeric},    {82, 1560, K::kBit},
      {83, 1560, K::kBit},    {83, 1562, K::kVarbit},  {82, 16, K::kText},       {82, 17, K::kText},
      {82, 25, K::kEscapedText}, {83, 25, K::kText},   {82, 1042, K::kEscapedText}, {83, 1042, K::kText},
      {82, 1043, K::kEscapedText}, {83, 1043, K::kText}, {82, 705, K::kEscapedText}, {83, 705, K::kEscapedText},
      {82, 19, K::kText},     {82, 1007, K::kText},
  };
  for (const KindCase& c : cases) {
    EXPECT_EQ(LiteralKindFor(c.version, c.oid), c.kind) << "version " << int(c.version) << " oid " << c.oid;
  }
}

}  // namespace
}  // namespace vesk
