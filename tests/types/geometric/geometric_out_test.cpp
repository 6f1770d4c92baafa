#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "geometric_test_util.h"
#include "types/geometric/geometric_out.h"
#include "types/geometric/path_encode.h"
#include "support/recovery_run.h"

namespace vesk {
namespace {

using testing::Bytes;
using testing::Doubles;
using testing::Header;
using testing::PutI32;
using testing::TextOf;
using testing::Varlena;

struct FixedCase {
  const char* name;
  char* (*routine)(Datum);
  Bytes bytes;
  const char* expected;
};

TEST(GeometricOut, FixedSizeTypesPrintAsTheServerDoes) {
  const double inf = std::numeric_limits<double>::infinity();
  const FixedCase cases[] = {
      {"point", point_out, Doubles({1, 2}), "(1,2)"},
      {"point small", point_out, Doubles({0.1, -3.5e-20}), "(0.1,-3.5e-20)"},
      {"point thirds", point_out, Doubles({1.0 / 3, 2.0 / 3}), "(0.333333333333333,0.666666666666667)"},
      {"point signed zero", point_out, Doubles({-0.0, 1e300}), "(-0,1e+300)"},
      {"point infinite", point_out, Doubles({inf, -inf}), "(inf,-inf)"},
      {"lseg", lseg_out, Doubles({0, 0, 1, 1}), "[(0,0),(1,1)]"},
      {"lseg mixed", lseg_out, Doubles({-1.5, 2.25, 1e10, -1e-10}), "[(-1.5,2.25),(10000000000,-1e-10)]"},
      // No enclosing parentheses: exactly what the servers print.
      {"box", box_out, Doubles({2, 2, 0, 0}), "(2,2),(0,0)"},
      {"circle", circle_out, Doubles({1, 2, 3}), "<(1,2),3>"},
      {"circle fraction", circle_out, Doubles({0, 0, 0.5}), "<(0,0),0.5>"},
      {"circle widest", circle_out, Doubles({-1.23456789012345e-300, -1.23456789012345e-300, -1.23456789012345e-300}),
       "<(-1.23456789012345e-300,-1.23456789012345e-300),-1.23456789012345e-300>"},
  };
  for (const auto& c : cases) EXPECT_EQ(TextOf(c.routine, c.bytes), c.expected) << c.name;
}

// Current servers print coordinates as float8 itself: shortest exact digits,
// NaN and Infinity spelled out. Every point of the widest kind still fits.
TEST(GeometricOut, ExactFloatsPrintShortestCoordinates) {
  const double inf = std::numeric_limits<double>::infinity();
  const double widest = -1.2345678901234568e-300;
  const Bytes polygon = Doubles({0, 0, 1, 1, widest, widest, widest, widest, widest, widest});
  const FixedCase cases[] = {
      {"point", point_out, Doubles({0.1 + 0.2, 1e100}), "(0.30000000000000004,1e+100)"},
      {"point specials", point_out, Doubles({inf, std::nan("")}), "(Infinity,NaN)"},
      {"lseg", lseg_out, Doubles({1.0 / 3, -0.0, 5e-324, 1e15}), "[(0.3333333333333333,-0),(5e-324,1e+15)]"},
      {"box", box_out, Doubles({widest, widest, widest, widest}),
       "(-1.2345678901234568e-300,-1.2345678901234568e-300),(-1.2345678901234568e-300,-1.2345678901234568e-300)"},
      {"circle", circle_out, Doubles({0, 0, 100 / 7.0}), "<(0,0),14.285714285714286>"},
  };
  const int32_t saved = vesk::Run().options.floatText;
  vesk::Run().options.floatText = VESK_FLOATS_EXACT;
  for (const auto& c : cases) EXPECT_EQ(TextOf(c.routine, c.bytes), c.expected) << c.name;
  char* text = path_encode(polygon.data(), kPathClosed, 5);
  ASSERT_NE(text, nullptr);
  const std::string w = "(-1.2345678901234568e-300,-1.2345678901234568e-300)";
  EXPECT_EQ(text, "((0,0),(1,1)," + w + "," + w + "," + w + ")");
  ScratchFree(text);
  vesk::Run().options.floatText = saved;
}

TEST(GeometricOut, NullAddressAndLineGiveNull) {
  for (auto* routine : {point_out, lseg_out, box_out, circle_out, path_out82, path_out83, poly_out82, poly_out83}) {
    EXPECT_EQ(routine(0), nullptr);
  }
  EXPECT_EQ(TextOf(line_out, Doubles({1, 2, 3})), "<null>");
}

Bytes PathPayload(int32_t count, int32_t closed, const Bytes& points) {
  Bytes b;
  PutI32(b, count);
  PutI32(b, closed);
  PutI32(b, 0);  // alignment padding
  b.insert(b.end(), points.begin(), points.end());
  return b;
}

Bytes PolygonPayload(int32_t count, const Bytes& points) {
  Bytes b;
  PutI32(b, count);
  Bytes box = Doubles({9, 9, -9, -9});
  b.insert(b.end(), box.begin(), box.end());
  b.insert(b.end(), points.begin(), points.end());
  return b;
}

struct LayoutCase {
  const char* name;
  Header header;
  char* (*path)(Datum);
  char* (*polygon)(Datum);
};

const LayoutCase kLayouts[] = {
    {"8.2", Header::k82, path_out82, poly_out82},
    {"8.3 long header", Header::k83Long, path_out83, poly_out83},
    {"8.3 short header", Header::k83Short, path_out83, poly_out83},
};

TEST(GeometricOut, PathsAndPolygonsInEveryLayout) {
  const Bytes three = Doubles({0, 0, 1, 1, 2, 0});
  for (const auto& l : kLayouts) {
    EXPECT_EQ(TextOf(l.path, Varlena(l.header, PathPayload(3, 0, three))), "[(0,0),(1,1),(2,0)]") << l.name;
    EXPECT_EQ(TextOf(l.path, Varlena(l.header, PathPayload(3, 1, three))), "((0,0),(1,1),(2,0))") << l.name;
    EXPECT_EQ(TextOf(l.path, Varlena(l.header, PathPayload(1, 0, Doubles({1, 1})))), "[(1,1)]") << l.name;
    EXPECT_EQ(TextOf(l.polygon, Varlena(l.header, PolygonPayload(3, three))), "((0,0),(1,1),(2,0))") << l.name;
    EXPECT_EQ(TextOf(l.polygon, Varlena(l.header, PolygonPayload(1, Doubles({1, 1})))), "((1,1))") << l.name;
  }
}

TEST(GeometricOut, DamagedPointCountsNeverReadPastTheValue) {
  const Bytes two = Doubles({0, 0, 1, 1});
  for (const auto& l : kLayouts) {
    for (int32_t count : {0, -1, 3, 1 << 26, std::numeric_limits<int32_t>::min()}) {
      EXPECT_EQ(TextOf(l.path, Varlena(l.header, PathPayload(count, 0, two))), "<null>") << l.name << " " << count;
      EXPECT_EQ(TextOf(l.polygon, Varlena(l.header, PolygonPayload(count, two))), "<null>") << l.name << " " << count;
    }
    // Too short to hold even the count.
    EXPECT_EQ(TextOf(l.path, Varlena(l.header, Bytes{1, 0})), "<null>") << l.name;
    EXPECT_EQ(TextOf(l.polygon, Varlena(l.header, PathPayload(1, 0, {}))), "<null>") << l.name;
  }
}

TEST(PathEncode, BracketKindsAndRefusals) {
  const Bytes points = Doubles({1, 2, 3, 4});
  struct {
    int kind;
    const char* expected;
  } const cases[] = {{kPathOpen, "[(1,2),(3,4)]"}, {kPathClosed, "((1,2),(3,4))"}, {kPathBare, "(1,2),(3,4)"}};
  for (const auto& c : cases) {
    char* text = path_encode(points.data(), c.kind, 2);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, c.expected);
    ScratchFree(text);
  }
  EXPECT_EQ(path_encode(points.data(), kPathOpen, 0), nullptr);
  // A count whose text would exceed any scratch block is refused before
  // anything is read.
  EXPECT_EQ(path_encode(points.data(), kPathOpen, std::numeric_limits<int32_t>::max()), nullptr);
}

}  // namespace
}  // namespace vesk
