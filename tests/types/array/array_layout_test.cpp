#include <gtest/gtest.h>

#include <climits>

#include "array_builder.h"
#include "support/scratch.h"
#include "types/array/array_layout.h"
#include "types/array/array_out.h"
#include "types/array/element_text.h"

namespace vesk {
namespace {

using testing::ArraySpec;
using testing::BuildArray;
using testing::Bytes;
using testing::Int32;

TEST(ArrayGetNItems, CountsAndRefusals) {
  struct {
    std::vector<int32_t> dims;
    int32_t expected;  // -1: refused
  } const cases[] = {
      {{}, 0},
      {{3}, 3},
      {{2, 3, 4}, 24},
      {{0, 5}, 0},
      {{0x0FFFFFFF}, 0x0FFFFFFF},
      {{0x10000000}, -1},
      {{-1}, -1},
      {{2, -1}, -1},
      {{65536, 65536}, -1},
      {{INT_MAX, INT_MAX, INT_MAX}, -1},
      {{16384, 16384}, 268435456 > 0x0FFFFFFF ? -1 : 0},
  };
  for (const auto& c : cases) {
    int32_t got = -1;
    try {
      got = ArrayGetNItems(static_cast<int32_t>(c.dims.size()), c.dims.data());
    } catch (const ScratchException&) {
    }
    EXPECT_EQ(got, c.expected) << c.dims.size() << " dims";
  }
  EXPECT_EQ(ArrayGetNItems(-3, nullptr), 0);
}

bool Refused(const Bytes& value) {
  try {
    ReadArrayLayout(value.data(), static_cast<uint32_t>(value.size()));
  } catch (const ScratchException&) {
    return true;
  }
  return false;
}

TEST(ArrayLayout, DamagedHeadersAreRefused) {
  const Bytes good = BuildArray({{2}, {0}, 23, 4, {Int32(1), std::nullopt}});
  ASSERT_FALSE(Refused(good));
  ArrayLayout layout = ReadArrayLayout(good.data(), static_cast<uint32_t>(good.size()));
  EXPECT_EQ(layout.itemCount, 2);
  EXPECT_EQ(layout.dataStart, 32u);
  EXPECT_NE(layout.bitmap, nullptr);
  EXPECT_TRUE(NeedsBoundsPrefix(layout));

  struct {
    const char* name;
    size_t at;
    uint32_t value;
  } const damage[] = {
      {"seven dimensions", 4, 7},
      {"negative dimensions", 4, 0xFFFFFFFFu},
      {"dimensions past the value", 4, 6},
      {"negative length", 16, 0xFFFFFFFFu},
      {"too many elements", 16, 0x10000000u},
      {"data offset past the value", 8, 4096},
      {"data offset inside the bounds", 8, 20},
      {"negative data offset", 8, 0x80000000u},
      {"bitmap too short for the count", 16, 100},
  };
  for (const auto& d : damage) {
    Bytes value = good;
    testing::Put32(value, d.at, d.value);
    EXPECT_TRUE(Refused(value)) << d.name;
  }
  EXPECT_TRUE(Refused(Bytes(good.begin(), good.begin() + 12)));
}

TEST(ElementText, UndoesLiteralEscapingOfEscapedTypesOnly) {
  struct {
    uint8_t version;
    uint32_t type;
    const char* in;
    const char* out;
  } const cases[] = {
      {82, 25, "it\\'s", "it's"},
      {82, 25, "back\\\\slash", "back\\slash"},
      {82, 1043, "a\\\\\\'b", "a\\'b"},
      {82, 1042, "plain", "plain"},
      {82, 705, "x\\\\", "x\\"},
      {83, 2275, "\\'", "'"},
      // 8.3 text routines print the value as it is.
      {83, 25, "back\\slash", "back\\slash"},
      // bytea escapes are the value's own text and stay.
      {82, 17, "\\\\001", "\\\\001"},
      {82, 23, "12", "12"},
  };
  for (const auto& c : cases) {
    char* text = UnescapeElementText(c.version, c.type, ScratchDup(c.in));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, c.out) << c.type << " " << c.in;
    ScratchFree(text);
  }
  EXPECT_EQ(UnescapeElementText(82, 25, nullptr), nullptr);
}

}  // namespace
}  // namespace vesk
