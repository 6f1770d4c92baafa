#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "array_builder.h"
#include "support/scratch.h"
#include "types/array/array_layout.h"
#include "types/array/array_text.h"
#include "types/toast/varlena.h"

namespace vesk {
namespace {

using testing::ArraySpec;
using testing::BuildArray;
using testing::Bytes;
using testing::Float64;
using testing::Int16;
using testing::Int32;
using testing::ShortText;
using testing::Text;

const ElementStorage kInt4{4, true, 'i', ',', 83};
const ElementStorage kInt2{2, true, 's', ',', 83};
const ElementStorage kFloat8{8, false, 'd', ',', 83};
const ElementStorage kText83{-1, false, 'i', ',', 83};
const ElementStorage kText82{-1, false, 'i', ',', 82};
const ElementStorage kCString{-2, false, 'c', ',', 83};
const ElementStorage kBox{32, false, 'd', ';', 83};

// Stand-ins for the element routines: the array walk only needs texts.
char* PrintInt(Datum d) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", static_cast<int32_t>(static_cast<uint32_t>(d)));
  return ScratchDup(text);
}
char* PrintInt2(Datum d) {
  char text[8];
  std::snprintf(text, sizeof text, "%d", static_cast<int16_t>(d));
  return ScratchDup(text);
}
char* PrintFloat(Datum d) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", ReadF64(DatumPointer(d)));
  return ScratchDup(text);
}
// Payload of an 8.3 value (1-byte or 4-byte header).
char* PrintText(Datum d) {
  const uint8_t* p = DatumPointer(d);
  std::string s;
  if (p[0] & 1) {
    s.assign(reinterpret_cast<const char*>(p + 1), (p[0] >> 1u) - 1u);
  } else {
    s.assign(reinterpret_cast<const char*>(p + 4), (ReadU32(p) >> 2) - 4);
  }
  return ScratchDup(s.c_str());
}
char* PrintText82(Datum d) {
  const uint8_t* p = DatumPointer(d);
  std::string s(reinterpret_cast<const char*>(p + 4), ReadU32(p) - 4);
  return ScratchDup(s.c_str());
}
char* PrintCString(Datum d) { return ScratchDup(reinterpret_cast<const char*>(DatumPointer(d))); }
char* PrintBox(Datum d) {
  const uint8_t* p = DatumPointer(d);
  char text[64];
  std::snprintf(text, sizeof text, "(%g,%g),(%g,%g)", ReadF64(p), ReadF64(p + 8), ReadF64(p + 16), ReadF64(p + 24));
  return ScratchDup(text);
}

// The array text, or "<refused>" when the walk raised a failure.
std::string Render(const Bytes& value, const ElementStorage& storage, const ElementPrinter& print) {
  int32_t live = ScratchLiveCount();
  std::string result = "<refused>";
  try {
    uint32_t size = static_cast<uint32_t>(value.size());
    ArrayLayout layout = ReadArrayLayout(value.data(), size);
    char* text = ArrayText(value.data(), size, layout, storage, print);
    result = text;
    ScratchFree(text);
  } catch (const ScratchException&) {
  }
  EXPECT_EQ(ScratchLiveCount(), live) << "scratch blocks left behind";
  return result;
}

std::vector<std::optional<Bytes>> Ints(std::initializer_list<int32_t> values) {
  std::vector<std::optional<Bytes>> out;
  for (int32_t v : values) out.emplace_back(Int32(v));
  return out;
}

std::vector<std::optional<Bytes>> Texts(std::initializer_list<const char*> values) {
  std::vector<std::optional<Bytes>> out;
  for (const char* v : values) {
    if (v) {
      out.emplace_back(Text(v));
    } else {
      out.emplace_back(std::nullopt);
    }
  }
  return out;
}

struct ShapeCase {
  const char* name;
  std::vector<int32_t> dims;
  std::vector<int32_t> lowerBounds;
  std::vector<std::optional<Bytes>> elements;
  const char* expected;
};

TEST(ArrayText, DimensionsAndBoundsPrefixes) {
  const ShapeCase cases[] = {
      {"empty", {}, {}, {}, "{}"},
      {"zero length", {0}, {}, {}, "{}"},
      {"one dimension", {3}, {}, Ints({1, 2, 3}), "{1,2,3}"},
      {"lower bound 0", {3}, {0}, Ints({1, 2, 3}), "[0:2]={1,2,3}"},
      {"negative bound", {2}, {-5}, Ints({7, 8}), "[-5:-4]={7,8}"},
      {"two by two", {2, 2}, {}, Ints({1, 2, 3, 4}), "{{1,2},{3,4}}"},
      {"two by two shifted", {2, 2}, {2, -1}, Ints({1, 2, 3, 4}), "[2:3][-1:0]={{1,2},{3,4}}"},
      {"only second bound", {1, 2}, {1, 0}, Ints({5, 6}), "[1:1][0:1]={{5,6}}"},
      {"two by one by one", {2, 1, 1}, {}, Ints({1, 2}), "{{{1}},{{2}}}"},
      {"two by three", {2, 3}, {}, Ints({1, 2, 3, 4, 5, 6}), "{{1,2,3},{4,5,6}}"},
      {"six dimensions", {1, 1, 1, 1, 1, 2}, {}, Ints({1, 2}), "{{{{{{1,2}}}}}}"},
  };
  for (const auto& c : cases) {
    ArraySpec spec{c.dims, c.lowerBounds, 23, 4, c.elements};
    EXPECT_EQ(Render(BuildArray(spec), kInt4, PrintInt), c.expected) << c.name;
  }
}

TEST(ArrayText, NullElements) {
  ArraySpec allNull{{2}, {}, 23, 4, {std::nullopt, std::nullopt}};
  EXPECT_EQ(Render(BuildArray(allNull), kInt4, PrintInt), "{NULL,NULL}");
  ArraySpec mixed{{2, 2}, {}, 23, 4, {std::nullopt, Int32(2), Int32(3), std::nullopt}};
  EXPECT_EQ(Render(BuildArray(mixed), kInt4, PrintInt), "{{NULL,2},{3,NULL}}");
  // A bitmap with every bit set prints like no bitmap.
  ArraySpec bitmapNoNulls{{3}, {}, 23, 4, Ints({1, 2, 3}), true};
  EXPECT_EQ(Render(BuildArray(bitmapNoNulls), kInt4, PrintInt), "{1,2,3}");
  // Nulls take no room in the data: the element after one still lines up.
  std::vector<std::optional<Bytes>> nine = Ints({1, 2, 3, 4, 5, 6, 7, 8, 9});
  nine[0] = std::nullopt;
  nine[8] = std::nullopt;
  ArraySpec spansBytes{{9}, {}, 23, 4, nine};
  EXPECT_EQ(Render(BuildArray(spansBytes), kInt4, PrintInt), "{NULL,2,3,4,5,6,7,8,NULL}");
}

TEST(ArrayText, QuotingOfElementTexts) {
  struct {
    const char* element;
    const char* expected;
  } const cases[] = {
      {"plain", "{plain}"},
      {"a b", "{\"a b\"}"},
      {"", "{\"\"}"},
      {"NULL", "{\"NULL\"}"},
      {"null", "{\"null\"}"},
      {"nUlL", "{\"nUlL\"}"},
      {"nulls", "{nulls}"},
      {"x\"y", "{\"x\\\"y\"}"},
      {"back\\slash", "{\"back\\\\slash\"}"},
      {"comma,here", "{\"comma,here\"}"},
      {"{br}", "{\"{br}\"}"},
      {"semi;colon", "{semi;colon}"},
      {"it's", "{it's}"},
      {"\xc3\xa4\xc3\xb6\xc3\xbc", "{\xc3\xa4\xc3\xb6\xc3\xbc}"},
      {"   ", "{\"   \"}"},
      {"tab\there", "{\"tab\there\"}"},
      {"line\nfeed", "{\"line\nfeed\"}"},
      {"cr\r", "{\"cr\r\"}"},
      {"\v\f", "{\"\v\f\"}"},
  };
  for (const auto& c : cases) {
    ArraySpec spec{{1}, {}, 25, 4, Texts({c.element})};
    EXPECT_EQ(Render(BuildArray(spec), kText83, PrintText), c.expected) << c.element;
  }
  ArraySpec mixed{{4}, {}, 25, 4, Texts({"a b", "", nullptr, "x"})};
  EXPECT_EQ(Render(BuildArray(mixed), kText83, PrintText), "{\"a b\",\"\",NULL,x}");
}

TEST(ArrayText, ElementDelimiterComesFromTheType) {
  Bytes boxes = Float64(1);
  for (double v : {1.0, 0.0, 0.0, 2.0, 2.0, 1.0, 1.0}) {
    Bytes more = Float64(v);
    boxes.insert(boxes.end(), more.begin(), more.end());
  }
  ArraySpec spec{{2}, {}, 603, 8, {Bytes(boxes.begin(), boxes.begin() + 32), Bytes(boxes.begin() + 32, boxes.end())}};
  EXPECT_EQ(Render(BuildArray(spec), kBox, PrintBox), "{(1,1),(0,0);(2,2),(1,1)}");
  // A comma inside an element needs no quotes when the delimiter is ";",
  // but the delimiter itself does.
  ElementStorage semicolonText = kText83;
  semicolonText.delimiter = ';';
  ArraySpec texts{{2}, {}, 25, 4, Texts({"a,b", "c;d"})};
  EXPECT_EQ(Render(BuildArray(texts), semicolonText, PrintText), "{a,b;\"c;d\"}");
}

TEST(ArrayText, ElementAlignmentAndLengthForms) {
  ArraySpec shorts{{3}, {}, 21, 2, {Int16(-1), Int16(2), Int16(300)}};
  EXPECT_EQ(Render(BuildArray(shorts), kInt2, PrintInt2), "{-1,2,300}");
  ArraySpec doubles{{2}, {}, 701, 8, {Float64(1.5), Float64(-0.25)}};
  EXPECT_EQ(Render(BuildArray(doubles), kFloat8, PrintFloat), "{1.5,-0.25}");
  // Texts of odd lengths are padded to 4 bytes before the next one.
  ArraySpec texts{{3}, {}, 25, 4, Texts({"a", "bcdef", "gh"})};
  EXPECT_EQ(Render(BuildArray(texts), kText83, PrintText), "{a,bcdef,gh}");
  ArraySpec texts82{{2}, {}, 25, 4, {Text("abc", 82), Text("de", 82)}, false, 82};
  EXPECT_EQ(Render(BuildArray(texts82), kText82, PrintText82), "{abc,de}");
  ArraySpec shortHeaders{{2}, {}, 25, 1, {ShortText("ab"), ShortText("c d")}};
  ElementStorage packed = kText83;
  packed.align = 'c';
  EXPECT_EQ(Render(BuildArray(shortHeaders), packed, PrintText), "{ab,\"c d\"}");
  ArraySpec cstrings{{2}, {}, 2275, 1, {Bytes{'h', 'i', 0}, Bytes{0}}};
  EXPECT_EQ(Render(BuildArray(cstrings), kCString, PrintCString), "{hi,\"\"}");
}

TEST(ArrayText, DataRunningPastTheValueIsRefused) {
  // Three elements declared, two stored.
  Bytes cut = BuildArray({{2}, {}, 23, 4, Ints({1, 2})});
  cut[16] = 3;
  EXPECT_EQ(Render(cut, kInt4, PrintInt), "<refused>");
  // A text element whose header claims more than the value holds.
  Bytes longText = BuildArray({{1}, {}, 25, 4, Texts({"abcd"})});
  testing::Put32(longText, 24, 400u << 2);
  EXPECT_EQ(Render(longText, kText83, PrintText), "<refused>");
  Bytes longText82 = BuildArray({{1}, {}, 25, 4, {Text("abcd", 82)}, false, 82});
  testing::Put32(longText82, 24, 400u);
  EXPECT_EQ(Render(longText82, kText82, PrintText82), "<refused>");
  // A text element whose header is too short to be one.
  Bytes zeroText = BuildArray({{1}, {}, 25, 4, Texts({"abcd"})});
  testing::Put32(zeroText, 24, 0);
  EXPECT_EQ(Render(zeroText, kText83, PrintText), "<refused>");
  // A NUL-terminated element without its NUL.
  Bytes open = BuildArray({{1}, {}, 2275, 1, {Bytes{'a', 'b'}}});
  EXPECT_EQ(Render(open, kCString, PrintCString), "<refused>");
  // A fixed-size element wider than what is left.
  Bytes narrow = BuildArray({{1}, {}, 603, 8, {Float64(1)}});
  EXPECT_EQ(Render(narrow, kBox, PrintBox), "<refused>");
}

TEST(ArrayText, UnprintableElementOrStorageIsRefused) {
  Bytes ints = BuildArray({{2}, {}, 23, 4, Ints({1, 2})});
  EXPECT_EQ(Render(ints, kInt4, [](Datum) -> char* { return nullptr; }), "<refused>");
  ElementStorage zeroLength{0, false, 'i', ',', 83};
  EXPECT_EQ(Render(ints, zeroLength, PrintInt), "<refused>");
  ElementStorage badAlign = kInt4;
  badAlign.align = 'x';
  EXPECT_EQ(Render(ints, badAlign, PrintInt), "<refused>");
}

}  // namespace
}  // namespace vesk
