// The row writer prints the commonest values from their stored bytes without
// their output routines; every such literal must be the one the routine's
// text gives, and anything unusual must be left to the routine.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "script/sql_literal.h"
#include "support/scratch.h"
#include "types/registry/direct_text.h"
#include "types/registry/type_output.h"

namespace vesk {
namespace {

template <typename T>
std::vector<uint8_t> Bytes(T value) {
  std::vector<uint8_t> bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

std::vector<uint8_t> Long(uint8_t version, const std::string& payload) {
  uint32_t size = static_cast<uint32_t>(payload.size() + 4);
  std::vector<uint8_t> bytes = Bytes(version == 83 ? size << 2 : size);
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  return bytes;
}

std::vector<uint8_t> Short(const std::string& payload) {
  std::vector<uint8_t> bytes{static_cast<uint8_t>(((payload.size() + 1) << 1) | 1)};
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  return bytes;
}

std::string U16(uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); }

// A numeric payload of either layout: base-10000 digits with a weight.
std::string Numeric(uint8_t version, uint16_t signAndScale, int16_t weight, std::vector<int16_t> digits) {
  std::string head = version == 83 ? U16(signAndScale) + U16(static_cast<uint16_t>(weight))
                                   : U16(static_cast<uint16_t>(weight)) + U16(signAndScale);
  for (int16_t d : digits) head += U16(static_cast<uint16_t>(d));
  return head;
}

struct Case {
  const char* what;
  uint8_t version;
  uint32_t type;
  std::vector<uint8_t> stored;  // empty: the datum is `byValue`
  Datum byValue = 0;
  bool direct = true;  // whether the direct form should take it
  int32_t typmod = -1;
};

std::string RoutineLiteral(const Case& c, Datum d) {
  ScratchMark();
  char* text = FindOutputRoutine(c.version, c.type)(d, c.typmod);
  std::string out;
  if (text == nullptr || !AppendLiteral(out, LiteralKindFor(c.version, c.type), text)) out = "NULL";
  ScratchReleaseToMark();
  return out;
}

TEST(DirectLiteralTest, WritesWhatTheRoutineWouldOrLeavesTheValueToIt) {
  const double kMax = std::numeric_limits<double>::max();
  const std::string kNul("nul\0after", 9);
  const Case cases[] = {
      {"int2", 83, 21, {}, 0x8000},
      {"int4", 83, 23, {}, 0x80000000u},
      {"oid", 82, 26, {}, 0xFFFFFFFFu},
      {"int8", 83, 20, Bytes(std::numeric_limits<int64_t>::min())},
      {"bool true", 83, 16, {}, 1},
      {"bool false", 82, 16, {}, 0},
      {"float8", 83, 701, Bytes(0.1)},
      {"float8 exponent", 83, 701, Bytes(-1.5e300)},
      {"float8 rounded past the type", 83, 701, Bytes(kMax)},
      {"float8 subnormal", 83, 701, Bytes(5e-324), 0, false},
      {"float8 NaN", 83, 701, Bytes(std::nan("")), 0, false},
      {"float8 infinity", 82, 701, Bytes(HUGE_VAL), 0, false},
      {"float4", 83, 700, Bytes(3.14159f)},
      {"float4 rounded past the type", 83, 700, Bytes(std::numeric_limits<float>::max())},
      {"numeric", 83, 1700, Short(Numeric(83, 2, 0, {12, 3400}))},
      {"numeric negative", 82, 1700, Long(82, Numeric(82, 0x4000 | 3, -1, {5}))},
      {"numeric zero with scale", 83, 1700, Long(83, Numeric(83, 3, 0, {}))},
      {"numeric NaN", 83, 1700, Short(Numeric(83, 0xC000, 0, {}))},
      {"numeric too long for the buffer", 83, 1700, Long(83, Numeric(83, 0, 40, {1})), 0, false},
      {"numeric short header", 83, 1700, Short("ab"), 0, false},
      {"text", 83, 25, Short("plain")},
      {"text quote", 83, 25, Short("it's")},
      {"text backslash", 83, 1043, Long(83, "back\\slash")},
      {"text empty", 83, 25, Short("")},
      {"text NUL", 83, 1042, Short(kNul)},
      {"text compressed", 83, 25, {0x12, 0, 0, 0, 4, 0, 0, 0, 0, 'a'}, 0, false},
      {"8.2 text quote and backslash", 82, 25, Long(82, "it's a \\ and \\'")},
      {"8.2 bpchar", 82, 1042, Long(82, "x  ")},
      {"8.2 varchar within its length", 82, 1043, Long(82, "fits"), 0, true, 8},
      {"8.2 varchar too long", 82, 1043, Long(82, "too long"), 0, false, 8},
      {"8.2 text out of line", 82, 25, {0x12, 0, 0, 0x80, 0, 0, 0, 0}, 0, false},
      {"timestamp", 83, 1114, Bytes(37.0)},
      {"timestamp fraction", 82, 1114, Bytes(-0.25)},
      {"timestamp BC", 83, 1114, Bytes(-63300000000.0 - 86400.0 * 366 * 100)},
      {"timestamp infinity", 83, 1114, Bytes(-HUGE_VAL)},
      {"timestamp NaN", 83, 1114, Bytes(std::nan("")), 0, false},
      {"timestamptz", 83, 1184, Bytes(1e9 + 0.123456)},
      {"date", 82, 1082, {}, 0},
      {"date BC", 83, 1082, {}, static_cast<uint32_t>(-800000)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Datum d = c.stored.empty() ? c.byValue : PointerDatum(c.stored.data());
    DirectTextRoutine direct = FindDirectText(c.version, c.type);
    ASSERT_NE(direct, nullptr);
    DirectBuffer buffer;
    std::string_view text;
    const int32_t live = ScratchLiveCount();
    const bool taken = direct(d, c.typmod, buffer, text);
    EXPECT_EQ(ScratchLiveCount(), live);
    EXPECT_EQ(taken, c.direct);
    if (!taken) continue;
    if (DirectTextIsPlain(c.type)) {
      EXPECT_EQ(text.find_first_of("'\\"), std::string_view::npos);
    }
    std::string literal;
    LiteralKind kind = LiteralKindFor(c.version, c.type);
    ASSERT_TRUE(AppendLiteral(literal, kind == LiteralKind::kEscapedText ? LiteralKind::kText : kind, text));
    EXPECT_EQ(literal, RoutineLiteral(c, d));
  }
}

TEST(DirectLiteralTest, OnlyPlainTypesHaveADirectForm) {
  for (uint32_t type : {17u, 1560u, 1562u, 1186u, 1083u, 600u, 1007u, 790u}) {
    EXPECT_EQ(FindDirectText(83, type), nullptr) << type;
    EXPECT_EQ(FindDirectText(82, type), nullptr) << type;
  }
}

}  // namespace
}  // namespace vesk
