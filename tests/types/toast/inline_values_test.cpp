#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/scratch.h"
#include "types/toast/toast.h"
#include "types/toast/toast_test_support.h"
#include "types/toast/varlena.h"

namespace vesk {
namespace {

namespace hb = heapbuilder;

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::string PayloadOf(const uint8_t* v, uint8_t version) {
  return std::string(reinterpret_cast<const char*>(Payload(v)), PayloadLength(v, version));
}

// Runs the layout's routine: 82 pg_detoast_datum, 83 ExpandShortVarlena.
uint8_t* Rebuild(const std::vector<uint8_t>& stored, uint8_t version) {
  return version == 83 ? ExpandShortVarlena(stored.data()) : pg_detoast_datum(stored.data());
}

hb::Layout LayoutOf(uint8_t version) { return version == 83 ? hb::Layout::k83 : hb::Layout::k82; }

class InlineValues : public ::testing::TestWithParam<uint8_t> {
 protected:
  uint8_t version() const { return GetParam(); }
};

TEST_P(InlineValues, PlainValueComesBackAsStoredWithoutLogging) {
  toasttest::LogCapture log;
  std::vector<uint8_t> stored = hb::EncodeVarlena(LayoutOf(version()), hb::Text("plain text", hb::VarlenaForm::kLong));
  EXPECT_EQ(Rebuild(stored, version()), stored.data());
  EXPECT_EQ(log.Text().find("untoast"), std::string::npos);
}

TEST_P(InlineValues, CompressedValueIsRebuiltAsPlainValue) {
  std::vector<uint8_t> raw = toasttest::SampleBytes(5000, 11);
  std::vector<uint8_t> stored = hb::EncodeVarlena(LayoutOf(version()), hb::Compressed(raw));
  ASSERT_LT(stored.size(), raw.size());
  int32_t live = ScratchLiveCount();
  uint8_t* plain = Rebuild(stored, version());
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(PayloadOf(plain, version()), std::string(raw.begin(), raw.end()));
  // The result header is the plain form of the layout: no flag bits.
  uint32_t header = ReadU32(plain);
  EXPECT_EQ(header, version() == 83 ? 5004u << 2 : 5004u);
  ScratchFree(plain);
  EXPECT_EQ(ScratchLiveCount(), live);
}

TEST_P(InlineValues, SmallestAcceptedRawSizeIs16) {
  std::vector<uint8_t> raw = Bytes("0123456789abcdef");
  std::vector<uint8_t> stream = {0x00, '0', '1', '2', '3', '4', '5', '6', '7',
                                 0x00, '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};
  uint8_t* plain = Rebuild(hb::EncodeVarlena(LayoutOf(version()), hb::CompressedStream(stream, 16)), version());
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(PayloadOf(plain, version()), "0123456789abcdef");
  ScratchFree(plain);
}

TEST_P(InlineValues, RawSizeBelow16IsRefused) {
  toasttest::LogCapture log;
  std::vector<uint8_t> stream = {0x00, '0', '1', '2', '3', '4', '5', '6', '7',
                                 0x00, '8', '9', 'a', 'b', 'c', 'd', 'e'};
  int32_t live = ScratchLiveCount();
  EXPECT_EQ(Rebuild(hb::EncodeVarlena(LayoutOf(version()), hb::CompressedStream(stream, 15)), version()), nullptr);
  EXPECT_TRUE(log.Has("Too small size for struct varattrib [19]"));
  EXPECT_TRUE(log.Has("ERROR while process"));
  EXPECT_EQ(ScratchLiveCount(), live);
}

TEST_P(InlineValues, CorruptStreamGivesNullNotHalfAValue) {
  std::vector<uint8_t> raw = toasttest::SampleBytes(3000, 5);
  std::vector<uint8_t> stream = hb::PglzCompress(raw);
  stream.resize(stream.size() / 2);
  int32_t live = ScratchLiveCount();
  EXPECT_EQ(Rebuild(hb::EncodeVarlena(LayoutOf(version()), hb::CompressedStream(stream, 3000)), version()), nullptr);
  EXPECT_EQ(ScratchLiveCount(), live);
}

TEST_P(InlineValues, HugeRawSizeIsRefusedWithoutAllocating) {
  for (uint32_t rawSize : {0x7FFFFFF0u, 0xFFFFFFFFu, 0x3FFFFFFCu, 200000000u}) {
    std::vector<uint8_t> stored =
        hb::EncodeVarlena(LayoutOf(version()), hb::CompressedStream({0x00, 'a'}, static_cast<int32_t>(rawSize)));
    int32_t live = ScratchLiveCount();
    EXPECT_EQ(Rebuild(stored, version()), nullptr) << rawSize;
    EXPECT_EQ(ScratchLiveCount(), live);
  }
}

TEST_P(InlineValues, CompressedHeaderTooShortForRawSizeWordIsRefused) {
  // Stored length 6: the raw size word would lie outside the value.
  std::vector<uint8_t> stored = version() == 83 ? std::vector<uint8_t>{(6 << 2) | 2, 0, 0, 0, 9, 9}
                                                : std::vector<uint8_t>{6, 0, 0, 0x40, 9, 9};
  EXPECT_EQ(Rebuild(stored, version()), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Layouts, InlineValues, ::testing::Values(82, 83),
                         [](const ::testing::TestParamInfo<uint8_t>& p) { return "V" + std::to_string(p.param); });

struct ShortCase {
  std::vector<uint8_t> stored;
  std::string payload;
};

TEST(ExpandShortVarlena, WidensEveryOneByteHeader) {
  std::vector<ShortCase> cases = {
      {{0x0B, 'a', 'b', 'c', 'd'}, "abcd"},
      {{0x03}, ""},
      {{0x05, 'z'}, "z"},
  };
  std::vector<uint8_t> longest = {0xFF};
  longest.resize(127, 'q');
  cases.push_back({longest, std::string(126, 'q')});
  for (const ShortCase& c : cases) {
    uint8_t* wide = ExpandShortVarlena(c.stored.data());
    ASSERT_NE(wide, nullptr);
    EXPECT_NE(wide, c.stored.data());
    // 0x0B (5 bytes, payload 4) becomes 8 bytes behind header word 32.
    EXPECT_EQ(ReadU32(wide), static_cast<uint32_t>(c.payload.size() + 4) << 2);
    EXPECT_EQ(PayloadOf(wide, 83), c.payload);
    ScratchFree(wide);
  }
}

TEST(ExpandShortVarlena, PointerOfWrongLengthIsRefused) {
  std::vector<uint8_t> stored(20, 0);
  stored[0] = 0x01;
  stored[1] = 10;
  EXPECT_EQ(ExpandShortVarlena(stored.data()), nullptr);
}

TEST(PgDetoastDatum, ExternalPointerShorterThan20BytesIsRefused) {
  std::vector<uint8_t> stored = {12, 0, 0, 0x80, 1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(pg_detoast_datum(stored.data()), nullptr);
}

TEST(ToastEntryPoints, NullInputGivesNull) {
  EXPECT_EQ(pg_detoast_datum(nullptr), nullptr);
  EXPECT_EQ(heap_tuple_untoast_attr(nullptr), nullptr);
  EXPECT_EQ(toast_fetch_datum(nullptr), nullptr);
  EXPECT_EQ(ExpandShortVarlena(nullptr), nullptr);
}

}  // namespace
}  // namespace vesk
