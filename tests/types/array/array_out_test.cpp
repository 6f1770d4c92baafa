// array_out82 and array_out83 through the real dispatch and a type catalog
// made from the built-in type image of each layout.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "array_builder.h"
#include "heapbuilder/heap_builder.h"
#include "catalog/catalog_readers.h"
#include "common/fixture_files.h"
#include "common/pass_one_fixture.h"
#include "support/recovery_run.h"
#include "support/scratch.h"
#include "types/array/array_out.h"

namespace vesk {
namespace {

using testing::ArraySpec;
using testing::BuildArray;
using testing::Bytes;
using testing::Int32;
using testing::ShortText;
using testing::Text;

// The catalogs of a freshly created database of one layout (its type
// catalog holds every built-in type), read by Pass 1.
class BuiltinTypes {
 public:
  explicit BuiltinTypes(uint8_t version) {
    std::string fresh = testing::FixtureDir(version == 83 ? "pg83" : "pg82", version == 83 ? "16385" : "16384");
    if (!std::filesystem::exists(fresh + "1247")) return;
    pass_.emplace(fresh);
    loaded_ = pass_->status == 0 && vesk::Run().version == version;
  }
  bool Known() const { return loaded_ && vesk::Run().types && vesk::Run().types->LookupTypeByOid(1007); }

 private:
  std::optional<testing::PassOne> pass_;
  bool loaded_ = false;
};

#define REQUIRE_TYPES(types) \
  if (!(types).Known()) GTEST_SKIP() << "fresh databases not found under " VESK_SHARED_DIR "/fixtures"

std::string TextOf(char* (*routine)(Datum), const Bytes& value) {
  Bytes copy = value;
  int32_t live = ScratchLiveCount();
  char* text = routine(PointerDatum(copy.data()));
  std::string s = text ? text : "<null>";
  ScratchFree(text);
  EXPECT_EQ(ScratchLiveCount(), live) << "scratch blocks left behind";
  return s;
}

struct Layout {
  uint8_t version;
  char* (*routine)(Datum);
};
const Layout kLayouts[] = {{82, array_out82}, {83, array_out83}};

TEST(ArrayOut, TextElementsReadBackAsTheValues) {
  for (const Layout& l : kLayouts) {
    BuiltinTypes types(l.version);
    REQUIRE_TYPES(types);
    ArraySpec spec{{5}, {}, 25, 4,
                   {Text("it's", l.version), Text("back\\slash", l.version), Text("x\"y", l.version),
                    Text("", l.version), Text("null", l.version)},
                   false, l.version};
    EXPECT_EQ(TextOf(l.routine, BuildArray(spec)), "{it's,\"back\\\\slash\",\"x\\\"y\",\"\",\"null\"}")
        << int{l.version};
  }
}

TEST(ArrayOut, IntegerArraysWithBoundsAndNulls) {
  for (const Layout& l : kLayouts) {
    BuiltinTypes types(l.version);
    REQUIRE_TYPES(types);
    ArraySpec spec{{2, 2}, {0, 1}, 23, 4, {Int32(1), std::nullopt, Int32(-3), Int32(4)}, false, l.version};
    EXPECT_EQ(TextOf(l.routine, BuildArray(spec)), "[0:1][1:2]={{1,NULL},{-3,4}}") << int{l.version};
    ArraySpec booleans{{3}, {}, 16, 1, {Bytes{1}, Bytes{0}, std::nullopt}, false, l.version};
    EXPECT_EQ(TextOf(l.routine, BuildArray(booleans)), "{t,f,NULL}") << int{l.version};
  }
}

// A current server's timestamp with time zone has no invalid value: such an
// element becomes NULL there, and the rest of the array is kept.
TEST(ArrayOut, InvalidAbstimeElementIsNullForACurrentServer) {
  const struct {
    int32_t target;
    const char* text;
  } cases[] = {{VESK_TARGET_ORIGINAL, "{\"1970-01-01 00:00:00+00\",invalid,infinity,NULL}"},
               {VESK_TARGET_CURRENT, "{\"1970-01-01 00:00:00+00\",NULL,infinity,NULL}"}};
  for (const Layout& l : kLayouts) {
    BuiltinTypes types(l.version);
    REQUIRE_TYPES(types);
    const int32_t saved = vesk::Run().options.targetServer;
    for (const auto& c : cases) {
      vesk::Run().options.targetServer = c.target;
      ArraySpec spec{{4}, {}, 702, 4, {Int32(0), Int32(0x7FFFFFFE), Int32(0x7FFFFFFC), std::nullopt}, false,
                     l.version};
      EXPECT_EQ(TextOf(l.routine, BuildArray(spec)), c.text) << int{l.version};
    }
    vesk::Run().options.targetServer = saved;
  }
}

// A bit string element: count, then the bits from the most significant.
Bytes Bits(uint8_t version, int32_t count, std::initializer_list<uint8_t> bytes) {
  Bytes b(8);
  uint32_t size = static_cast<uint32_t>(8 + bytes.size());
  testing::Put32(b, 0, version == 83 ? size << 2 : size);
  testing::Put32(b, 4, static_cast<uint32_t>(count));
  b.insert(b.end(), bytes);
  return b;
}

TEST(ArrayOut, BitElementsPrintAsDigitsInBothLayouts) {
  for (const Layout& l : kLayouts) {
    BuiltinTypes types(l.version);
    REQUIRE_TYPES(types);
    ArraySpec spec{{2}, {}, 1560, 4, {Bits(l.version, 4, {0xA0}), Bits(l.version, 9, {0xFF, 0x80})}, false, l.version};
    EXPECT_EQ(TextOf(l.routine, BuildArray(spec)), "{1010,111111111}") << int{l.version};
  }
}

TEST(ArrayOut, CompressedArrayValuesAreRebuiltFirst) {
  for (const Layout& l : kLayouts) {
    BuiltinTypes types(l.version);
    REQUIRE_TYPES(types);
    std::vector<std::optional<Bytes>> sevens(200, Int32(7));
    Bytes plain = BuildArray({{200}, {}, 23, 4, sevens, false, l.version});
    auto layout = l.version == 83 ? heapbuilder::Layout::k83 : heapbuilder::Layout::k82;
    Bytes stored = heapbuilder::EncodeVarlena(layout, heapbuilder::Compressed(Bytes(plain.begin() + 4, plain.end())));
    ASSERT_LT(stored.size(), plain.size());
    std::string expected = "{7";
    for (int i = 1; i < 200; ++i) expected += ",7";
    EXPECT_EQ(TextOf(l.routine, stored), expected + "}") << int{l.version};
  }
}

TEST(ArrayOut, ShortHeaderArrayValueIn83) {
  BuiltinTypes types(83);
  REQUIRE_TYPES(types);
  Bytes plain = BuildArray({{2}, {}, 23, 4, {Int32(7), Int32(8)}});
  // The same array stored with a 1-byte header, as 8.3 keeps small values.
  Bytes stored{static_cast<uint8_t>((plain.size() - 3) << 1 | 1)};
  stored.insert(stored.end(), plain.begin() + 4, plain.end());
  EXPECT_EQ(TextOf(array_out83, stored), "{7,8}");
  ArraySpec texts{{2}, {}, 1043, 4, {Text("a"), Text("b c")}};
  EXPECT_EQ(TextOf(array_out83, BuildArray(texts)), "{a,\"b c\"}");
}

TEST(ArrayOut, RefusedValuesGiveNull) {
  for (const Layout& l : kLayouts) {
    BuiltinTypes types(l.version);
    REQUIRE_TYPES(types);
    ArraySpec unknownElement{{1}, {}, 999999, 4, {Int32(1)}, false, l.version};
    EXPECT_EQ(TextOf(l.routine, BuildArray(unknownElement)), "<null>");
    Bytes seven = BuildArray({{1}, {}, 23, 4, {Int32(1)}, false, l.version});
    testing::Put32(seven, 4, 7);
    EXPECT_EQ(TextOf(l.routine, seven), "<null>");
    Bytes overrun = BuildArray({{2}, {}, 23, 4, {Int32(1), Int32(2)}, false, l.version});
    testing::Put32(overrun, 16, 1000);
    EXPECT_EQ(TextOf(l.routine, overrun), "<null>");
    Bytes absurd = BuildArray({{1}, {}, 23, 4, {Int32(1)}, false, l.version});
    testing::Put32(absurd, 16, 0xFFFFFFFFu);
    EXPECT_EQ(TextOf(l.routine, absurd), "<null>");
  }
}

TEST(ArrayOut, NestedArraysStopAtTheSecondLevel) {
  BuiltinTypes types(83);
  REQUIRE_TYPES(types);
  Bytes inner = BuildArray({{2}, {}, 23, 4, {Int32(1), Int32(2)}});
  ArraySpec twoLevels{{1}, {}, 1007, 4, {inner}};
  Bytes outer = BuildArray(twoLevels);
  EXPECT_EQ(TextOf(array_out83, outer), "{\"{1,2}\"}");
  ArraySpec threeLevels{{1}, {}, 1007, 4, {outer}};
  EXPECT_EQ(TextOf(array_out83, BuildArray(threeLevels)), "<null>");
}

}  // namespace
}  // namespace vesk
