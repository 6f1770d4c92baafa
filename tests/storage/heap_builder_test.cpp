// The page builder must write what a server writes: these tests pin the
// bytes the readers depend on (header words, hoff, varlena headers, pglz).
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "storage_test_support.h"

namespace vesk::storage_test {
namespace {

uint32_t Word(const std::vector<uint8_t>& b, size_t at) {
  uint32_t w;
  std::memcpy(&w, b.data() + at, 4);
  return w;
}
uint16_t Half(const std::vector<uint8_t>& b, size_t at) {
  uint16_t h;
  std::memcpy(&h, b.data() + at, 2);
  return h;
}

// The decompressor as the server reads a stream.
std::vector<uint8_t> Decompress(const std::vector<uint8_t>& in, size_t rawSize) {
  std::vector<uint8_t> out;
  size_t i = 0;
  while (i < in.size()) {
    uint8_t control = in[i++];
    for (int bit = 0; bit < 8 && i < in.size(); ++bit) {
      if ((control & (1 << bit)) == 0) {
        out.push_back(in[i++]);
        continue;
      }
      if (i + 1 >= in.size()) return {};
      size_t len = (in[i] & 0x0F) + 3;
      size_t off = (static_cast<size_t>(in[i] & 0xF0) << 4) | in[i + 1];
      i += 2;
      if (len == 18) len += in[i++];
      EXPECT_GE(off, 1u);
      EXPECT_LE(off, 4095u);
      if (off == 0 || off > out.size()) return {};
      for (size_t k = 0; k < len; ++k) out.push_back(out[out.size() - off]);
    }
  }
  EXPECT_EQ(out.size(), rawSize);
  return out;
}

std::vector<uint8_t> Pattern(const std::string& unit, size_t n) {
  std::vector<uint8_t> out;
  while (out.size() < n) out.push_back(static_cast<uint8_t>(unit[out.size() % unit.size()]));
  return out;
}

TEST(PglzCompress, RoundTripsThroughTheServersDecompressor) {
  std::mt19937 rng(7);
  std::vector<uint8_t> noise(3000);
  for (auto& b : noise) b = static_cast<uint8_t>(rng());
  const std::vector<std::vector<uint8_t>> inputs = {
      {},
      Pattern("a", 1),
      Pattern("ab", 2),
      Pattern("a", 1000),                    // overlapping tags, 3-byte tags
      Pattern("the quick brown fox ", 9000),  // offsets up to the window
      noise,
      Pattern("xyz", 60000),
  };
  for (const auto& input : inputs) {
    std::vector<uint8_t> stream = hb::PglzCompress(input);
    EXPECT_EQ(Decompress(stream, input.size()), input) << "input size " << input.size();
  }
  EXPECT_LT(hb::PglzCompress(Pattern("a", 1000)).size(), 30u);
}

struct VarlenaCase {
  const char* name;
  hb::Layout layout;
  hb::Value value;
  char storage;
  std::vector<uint8_t> prefix;
  size_t size;
};

TEST(EncodeVarlena, HeaderFormsOfBothLayouts) {
  hb::ExternalPointer ptr{5000, 4000, 77, 16400, true};
  const std::vector<VarlenaCase> cases = {
      {"82 plain", hb::Layout::k82, hb::Text("abc"), 'x', {7, 0, 0, 0, 'a'}, 7},
      {"83 short", hb::Layout::k83, hb::Text("abc"), 'x', {0x09, 'a'}, 4},
      {"83 storage p stays long", hb::Layout::k83, hb::Text("abc"), 'p', {0x1C, 0, 0, 0, 'a'}, 7},
      {"83 126 bytes short", hb::Layout::k83, hb::Text(std::string(126, 'q')), 'x', {0xFF, 'q'}, 127},
      {"83 127 bytes long", hb::Layout::k83, hb::Text(std::string(127, 'q')), 'x', {0x0C, 0x02, 0, 0, 'q'}, 131},
      {"83 forced long", hb::Layout::k83, hb::Text("", hb::VarlenaForm::kLong), 'x', {0x10, 0, 0, 0}, 4},
      {"83 external", hb::Layout::k83, hb::External(ptr), 'x', {0x01, 18, 0x88, 0x13, 0, 0}, 18},
      {"82 external compressed", hb::Layout::k82, hb::External(ptr), 'x', {0x14, 0, 0, 0xC0, 0x88, 0x13}, 20},
      {"83 compressed", hb::Layout::k83, hb::CompressedStream({0, 'a', 'b'}, 2), 'x', {(11 << 2) | 2, 0, 0, 0, 2, 0, 0, 0, 0, 'a'}, 11},
      {"82 compressed", hb::Layout::k82, hb::CompressedStream({0, 'a', 'b'}, 2), 'x', {11, 0, 0, 0x40, 2, 0, 0, 0}, 11},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes = hb::EncodeVarlena(c.layout, c.value, c.storage);
    ASSERT_GE(bytes.size(), c.prefix.size()) << c.name;
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(c.prefix.size())), c.prefix)
        << c.name;
    EXPECT_EQ(bytes.size(), c.size) << c.name;
  }
  EXPECT_THROW(hb::EncodeVarlena(hb::Layout::k82, hb::Text("a", hb::VarlenaForm::kShort)), std::invalid_argument);
}

struct HoffCase {
  hb::Layout layout;
  size_t columns;
  bool withNull;
  bool withOid;
  uint8_t hoff;
};

TEST(EncodeTuple, HeaderLengthBitmapAndOid) {
  const std::vector<HoffCase> cases = {
      {hb::Layout::k82, 3, false, false, 32}, {hb::Layout::k83, 3, false, false, 24},
      {hb::Layout::k82, 3, true, false, 32},  {hb::Layout::k83, 3, true, false, 24},
      {hb::Layout::k83, 9, true, false, 32},  {hb::Layout::k82, 3, false, true, 32},
      {hb::Layout::k83, 3, false, true, 32},  {hb::Layout::k82, 40, true, true, 40},
  };
  for (const auto& c : cases) {
    std::vector<hb::ColumnSpec> cols(c.columns, Int4Col());
    std::vector<hb::Value> values(c.columns, hb::Int32(5));
    if (c.withNull) values[1] = hb::Null();
    hb::TupleSpec t;
    t.hasOid = c.withOid;
    t.oid = 4242;
    std::vector<uint8_t> bytes = hb::EncodeTuple(c.layout, t, cols, values);
    const bool is82 = c.layout == hb::Layout::k82;
    EXPECT_EQ(bytes[is82 ? 26 : 22], c.hoff) << c.columns;
    const uint16_t infomask = Half(bytes, is82 ? 24 : 20);
    EXPECT_EQ((infomask & hb::kHasNull) != 0, c.withNull);
    EXPECT_EQ((infomask & (is82 ? hb::kHasOid82 : hb::kHasOid83)) != 0, c.withOid);
    EXPECT_EQ(Half(bytes, is82 ? 22 : 18) & 0x07FF, c.columns);
    if (c.withOid) {
      EXPECT_EQ(Word(bytes, c.hoff - 4u), 4242u);
    }
    if (c.withNull) {
      EXPECT_EQ(bytes[is82 ? 27 : 23] & 0x03, 0x01);  // column 2 null
    }
    EXPECT_EQ(bytes.size(), c.hoff + 4 * (c.columns - (c.withNull ? 1 : 0)));
  }
}

TEST(EncodeTuple, AlignsAttributesButNotShortHeaders) {
  std::vector<hb::ColumnSpec> cols = {CharCol(), TextCol(), Int8Col()};
  std::vector<hb::Value> values = {hb::Char('z'), hb::Text("hi"), hb::Int64(-1)};
  std::vector<uint8_t> t83 = hb::EncodeTuple(hb::Layout::k83, {}, cols, values);
  // data: 'z' at 0, 1-byte header at 1 (unaligned), payload 2..3, int8 at 8.
  EXPECT_EQ(t83[24 + 1], 0x07);
  EXPECT_EQ(t83.size(), 24u + 16u);
  std::vector<uint8_t> t82 = hb::EncodeTuple(hb::Layout::k82, {}, cols, values);
  // data: 'z' at 0, varlena aligned to 4, 6 bytes, int8 at 16.
  EXPECT_EQ(Word(t82, 32 + 4), 6u);
  EXPECT_EQ(t82.size(), 32u + 24u);
  EXPECT_THROW(hb::EncodeTuple(hb::Layout::k83, {}, cols, std::vector<hb::Value>{hb::Int32(1)}),
               std::invalid_argument);
}

TEST(PageBuilder, HeaderFieldsAndPlacement) {
  for (hb::Layout layout : {hb::Layout::k82, hb::Layout::k83}) {
    hb::PageBuilder page(layout);
    std::vector<hb::ColumnSpec> cols = {Int4Col()};
    std::vector<hb::Value> values = {hb::Int32(1)};
    EXPECT_EQ(page.AddTuple({}, cols, values), 0);
    page.AddUnusedLinePointer();
    EXPECT_EQ(page.AddTuple({}, cols, values, 9), 2);
    std::vector<uint8_t> bytes = page.Finish();
    const uint32_t h = page.HeaderSize();
    EXPECT_EQ(Half(bytes, 12), h + 12) << LayoutName(layout);
    EXPECT_EQ(Half(bytes, 16), 8192);
    EXPECT_EQ(Half(bytes, 18), 8192 | (layout == hb::Layout::k82 ? 3 : 4));
    const uint32_t tupleLen = layout == hb::Layout::k82 ? 36 : 28;
    EXPECT_EQ(Word(bytes, h), hb::LinePointerWord(8192 - 40 + (layout == hb::Layout::k82 ? 0 : 8), tupleLen));
    EXPECT_EQ(Word(bytes, h + 4), 0u);
    EXPECT_EQ(Half(bytes, 14), Word(bytes, h + 8) & 0x7FFF);
    EXPECT_EQ(Half(bytes, 14) % 8, 0);
    // t_ctid of the third item: block 9, item 3.
    const uint32_t at = Word(bytes, h + 8) & 0x7FFF;
    const uint32_t ctid = layout == hb::Layout::k82 ? 16 : 12;
    EXPECT_EQ(Half(bytes, at + ctid + 2), 9);
    EXPECT_EQ(Half(bytes, at + ctid + 4), 3);
  }
}

TEST(RelationBuilder, StartsANewPageWhenFull) {
  hb::RelationBuilder rel(hb::Layout::k83, {TextCol()});
  std::pair<uint32_t, int> last{};
  for (int i = 0; i < 20; ++i) last = rel.AddRow({hb::Text(std::string(1000, 'x'))});
  EXPECT_EQ(rel.PageCount(), 3u);
  EXPECT_EQ(last.first, 2u);
  EXPECT_EQ(rel.Bytes().size(), 3u * 8192u);
}

}  // namespace
}  // namespace vesk::storage_test
