#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "types/toast/toast.h"
#include "types/toast/toast_test_support.h"

namespace vesk {
namespace {

namespace hb = heapbuilder;

// A compressed value as pglz_decompress reads it: header word, raw size word,
// stream. The header is irrelevant to it: the stored length is passed apart.
std::vector<uint8_t> CompressedValue(const std::vector<uint8_t>& stream, uint32_t rawSize) {
  std::vector<uint8_t> v(8);
  uint32_t header = static_cast<uint32_t>(stream.size() + 8) | 0x40000000u;
  std::memcpy(v.data(), &header, 4);
  std::memcpy(v.data() + 4, &rawSize, 4);
  v.insert(v.end(), stream.begin(), stream.end());
  return v;
}

// Decompresses into a heap block of exactly rawSize bytes, so that the
// sanitizer sees any write past it.
bool Decompress(const std::vector<uint8_t>& value, uint32_t rawSize, std::string& out) {
  auto dest = std::make_unique<uint8_t[]>(rawSize ? rawSize : 1);
  bool ok = pglz_decompress(value.data(), static_cast<uint32_t>(value.size()), dest.get());
  out.assign(reinterpret_cast<const char*>(dest.get()), rawSize);
  return ok;
}

struct StreamCase {
  const char* name;
  std::vector<uint8_t> stream;
  uint32_t rawSize;
  bool ok;
  std::string expected;  // checked when ok
};

class PglzStreams : public ::testing::TestWithParam<StreamCase> {};

TEST_P(PglzStreams, DecodesOrRefuses) {
  const StreamCase& c = GetParam();
  std::string out;
  EXPECT_EQ(Decompress(CompressedValue(c.stream, c.rawSize), c.rawSize, out), c.ok);
  if (c.ok) {
    EXPECT_EQ(out, c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PglzStreams,
    ::testing::Values(
        StreamCase{"EightLiterals", {0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}, 8, true, "abcdefgh"},
        StreamCase{"OverlappingTag", {0x02, 'a', 0x00, 0x01}, 4, true, "aaaa"},
        StreamCase{"LongTagReadsThirdByte", {0x02, 'x', 0x0F, 0x01, 0x00}, 19, true, std::string(19, 'x')},
        StreamCase{"LongestTag", {0x02, 'x', 0x0F, 0x01, 0xFF}, 274, true, std::string(274, 'x')},
        StreamCase{"TagAcrossGroups",
                   {0x00, '1', '2', '3', '4', '5', '6', '7', '8', 0x01, 0x00, 0x08},
                   11, true, "12345678123"},
        StreamCase{"StreamShorterThanRawSize", {0x00, 'a', 'b'}, 4, false, ""},
        StreamCase{"StreamLongerThanRawSize", {0x00, 'a', 'b', 'c'}, 2, false, ""},
        StreamCase{"TagLongerThanRoomLeft", {0x02, 'a', 0x05, 0x01}, 4, false, ""},
        StreamCase{"TagCutAfterFirstByte", {0x02, 'a', 0x00}, 4, false, ""},
        StreamCase{"LongTagCutBeforeThirdByte", {0x02, 'a', 0x0F, 0x01}, 19, false, ""},
        StreamCase{"OffsetZero", {0x02, 'a', 0x00, 0x00}, 4, false, ""},
        StreamCase{"OffsetBeforeOutputStart", {0x02, 'a', 0x00, 0x02}, 4, false, ""},
        StreamCase{"TagAsFirstItem", {0x01, 0x00, 0x01}, 3, false, ""},
        StreamCase{"EmptyStreamEmptyValue", {}, 0, true, ""},
        StreamCase{"EmptyStreamNonEmptyValue", {}, 5, false, ""}),
    [](const ::testing::TestParamInfo<StreamCase>& p) { return std::string(p.param.name); });

TEST(Pglz, RefusesValueTooShortForItsRawSizeWord) {
  std::vector<uint8_t> value = {0x07, 0x00, 0x00, 0x40, 0x10, 0x00, 0x00};
  uint8_t dest[16];
  EXPECT_FALSE(pglz_decompress(value.data(), static_cast<uint32_t>(value.size()), dest));
}

TEST(Pglz, LogsCorruptionWithTheErrorLines) {
  toasttest::LogCapture log;
  std::string out;
  EXPECT_FALSE(Decompress(CompressedValue({0x00, 'a'}, 3), 3, out));
  EXPECT_TRUE(log.Has("compressed data is corrupt"));
  EXPECT_TRUE(log.Has("ERROR while process"));
}

TEST(Pglz, RoundTripsTheBuildersCompressor) {
  for (size_t size : {16u, 100u, 4095u, 4096u, 5000u, 70000u}) {
    for (uint32_t seed : {1u, 7u}) {
      std::vector<uint8_t> raw = toasttest::SampleBytes(size, seed);
      std::vector<uint8_t> stream = hb::PglzCompress(raw);
      std::string out;
      ASSERT_TRUE(Decompress(CompressedValue(stream, static_cast<uint32_t>(size)), static_cast<uint32_t>(size), out))
          << size;
      EXPECT_EQ(out, std::string(raw.begin(), raw.end())) << size;
    }
  }
}

// Truncating or flipping bytes of a real stream must give a refusal or some
// output, never a read or write outside the buffers (the sanitizer watches).
TEST(Pglz, DamagedStreamsStayInsideTheirBuffers) {
  std::vector<uint8_t> raw = toasttest::SampleBytes(3000, 3);
  std::vector<uint8_t> stream = hb::PglzCompress(raw);
  std::mt19937 random(42);
  for (int round = 0; round < 400; ++round) {
    std::vector<uint8_t> damaged = stream;
    damaged.resize(random() % (stream.size() + 1));
    for (int flips = 0; flips < 3 && !damaged.empty(); ++flips) {
      damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
    }
    uint32_t rawSize = round % 2 ? 3000u : static_cast<uint32_t>(random() % 4000);
    std::vector<uint8_t> value = CompressedValue(damaged, rawSize);
    std::vector<uint8_t> exact(value.begin(), value.end());  // no slack behind the stream
    std::string out;
    Decompress(exact, rawSize, out);
  }
  SUCCEED();
}

}  // namespace
}  // namespace vesk
