#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/scratch.h"
#include "types/toast/toast.h"
#include "types/toast/toast_cache.h"
#include "types/toast/toast_test_support.h"
#include "types/toast/varlena.h"

namespace vesk {
namespace {

namespace hb = heapbuilder;
using toasttest::Chunk;
using toasttest::LogCapture;
using toasttest::ScratchDatabase;
using toasttest::SplitIntoChunks;

constexpr uint32_t kToastRelid = 16500;
constexpr uint32_t kValueId = 16601;

hb::Layout LayoutOf(uint8_t version) { return version == 83 ? hb::Layout::k83 : hb::Layout::k82; }

// The stored pointer a server writes for `data` kept out of line (`stored` is
// what the chunks hold: the data itself, or raw size word + pglz stream).
std::vector<uint8_t> PointerTo(uint8_t version, uint32_t valueId, size_t rawSize, size_t storedSize,
                               bool compressed) {
  hb::ExternalPointer p;
  // 8.2 counts the header in the raw size of a plain value only; 8.3 always.
  p.rawSize = static_cast<int32_t>(rawSize + (version == 83 || !compressed ? 4 : 0));
  p.extSize = static_cast<int32_t>(storedSize);
  p.valueId = valueId;
  p.toastRelId = kToastRelid;
  p.compressed = compressed;
  return hb::EncodeVarlena(LayoutOf(version), hb::External(p));
}

// What the chunks of a compressed value hold: raw size word, then the stream.
std::vector<uint8_t> CompressedChunkBytes(const std::vector<uint8_t>& raw) {
  std::vector<uint8_t> stream = hb::PglzCompress(raw);
  std::vector<uint8_t> out(4);
  auto rawSize = static_cast<uint32_t>(raw.size());
  std::memcpy(out.data(), &rawSize, 4);
  out.insert(out.end(), stream.begin(), stream.end());
  return out;
}

uint8_t* Rebuild(const std::vector<uint8_t>& pointer, uint8_t version) {
  return version == 83 ? ExpandShortVarlena(pointer.data()) : pg_detoast_datum(pointer.data());
}

std::string PayloadOf(const uint8_t* v, uint8_t version) {
  return std::string(reinterpret_cast<const char*>(Payload(v)), PayloadLength(v, version));
}

class ExternalValues : public ::testing::TestWithParam<uint8_t> {
 protected:
  uint8_t version() const { return GetParam(); }
  size_t serverChunkSize() const { return version() == 83 ? 1996 : 1986; }

  // Writes the chunks as the TOAST relation and indexes it.
  void Store(const std::vector<Chunk>& chunks) {
    toasttest::WriteToastFile(LayoutOf(version()), db_, "16500", chunks);
    toasttest::IndexToastFile(version(), kToastRelid, "16500");
  }

  // Rebuilds a plain out-of-line value of `data`; empty optional as "" + ok flag.
  bool RebuildPlain(const std::vector<uint8_t>& data, std::string& out, uint32_t valueId = kValueId) {
    uint8_t* v = Rebuild(PointerTo(version(), valueId, data.size(), data.size(), false), version());
    if (!v) return false;
    out = PayloadOf(v, version());
    ScratchFree(v);
    return true;
  }

  ScratchDatabase db_;
};

TEST_P(ExternalValues, PlainValueInServerSizedChunks) {
  std::vector<uint8_t> data = toasttest::SampleBytes(5000, 1);
  std::vector<Chunk> chunks = SplitIntoChunks(kValueId, data, serverChunkSize());
  ASSERT_EQ(chunks.size(), 3u);
  Store(chunks);
  std::string out;
  ASSERT_TRUE(RebuildPlain(data, out));
  EXPECT_EQ(out, std::string(data.begin(), data.end()));
}

// Builds of other servers cut values differently; the chunks themselves say how.
TEST_P(ExternalValues, ChunkSizeIsTakenFromTheData) {
  for (size_t chunkSize : {1000u, 1986u, 1996u, 2000u}) {
    std::vector<uint8_t> data = toasttest::SampleBytes(7001, static_cast<uint32_t>(chunkSize));
    Store(SplitIntoChunks(kValueId, data, chunkSize));
    std::string out;
    ASSERT_TRUE(RebuildPlain(data, out)) << chunkSize;
    EXPECT_EQ(out, std::string(data.begin(), data.end())) << chunkSize;
    ResetToastCache();
  }
}

TEST_P(ExternalValues, CompressedValueIsFetchedThenDecompressed) {
  std::vector<uint8_t> raw = toasttest::SampleBytes(20000, 2);
  std::vector<uint8_t> stored = CompressedChunkBytes(raw);
  ASSERT_LT(stored.size() + 4, raw.size());
  Store(SplitIntoChunks(kValueId, stored, serverChunkSize()));
  int32_t live = ScratchLiveCount();
  uint8_t* v = Rebuild(PointerTo(version(), kValueId, raw.size(), stored.size(), true), version());
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(ReadU32(v), version() == 83 ? 20004u << 2 : 20004u);
  EXPECT_EQ(PayloadOf(v, version()), std::string(raw.begin(), raw.end()));
  ScratchFree(v);
  EXPECT_EQ(ScratchLiveCount(), live);
}

TEST_P(ExternalValues, OtherValuesAndOrderInTheRelationDoNotMatter) {
  std::vector<uint8_t> a = toasttest::SampleBytes(5000, 3), b = toasttest::SampleBytes(4100, 4);
  std::vector<Chunk> ca = SplitIntoChunks(kValueId, a, 1986), cb = SplitIntoChunks(kValueId + 1, b, 1986);
  // File order: a1, b0, a0, b2, a2, b1.
  Store({ca[1], cb[0], ca[0], cb[2], ca[2], cb[1]});
  LogCapture log;
  std::string out;
  ASSERT_TRUE(RebuildPlain(a, out));
  EXPECT_EQ(out, std::string(a.begin(), a.end()));
  ASSERT_TRUE(RebuildPlain(b, out, kValueId + 1));
  EXPECT_EQ(out, std::string(b.begin(), b.end()));
  EXPECT_TRUE(log.Has("unexpected chunk number 1 (expected 0) for toast value 16601"));
  EXPECT_TRUE(log.Has("unexpected chunk number 0 (expected 1) for toast value 16601"));
  EXPECT_EQ(log.Text().find("(expected 2) for toast value 16601"), std::string::npos);
}

TEST_P(ExternalValues, MissingChunkLosesTheValueInsteadOfPrintingGarbage) {
  std::vector<uint8_t> data = toasttest::SampleBytes(5000, 5);
  std::vector<Chunk> chunks = SplitIntoChunks(kValueId, data, 1986);
  for (size_t drop = 0; drop < chunks.size(); ++drop) {
    std::vector<Chunk> kept = chunks;
    kept.erase(kept.begin() + static_cast<long>(drop));
    Store(kept);
    LogCapture log;
    int32_t live = ScratchLiveCount();
    std::string out;
    EXPECT_FALSE(RebuildPlain(data, out)) << drop;
    EXPECT_TRUE(log.Has("missing chunk number " + std::to_string(drop) + " for toast value 16601")) << drop;
    EXPECT_EQ(ScratchLiveCount(), live);
    ResetToastCache();
  }
}

TEST_P(ExternalValues, LastChunkOfWrongSizeIsReported) {
  std::vector<uint8_t> data = toasttest::SampleBytes(5000, 6);
  std::vector<Chunk> chunks = SplitIntoChunks(kValueId, data, 1986);
  chunks[2].data.pop_back();  // 1027 bytes instead of 1028
  Store(chunks);
  LogCapture log;
  std::string out;
  EXPECT_FALSE(RebuildPlain(data, out));
  EXPECT_TRUE(log.Has("unexpected chunk size 1027 in chunk 2 for toast value 16601"));
}

TEST_P(ExternalValues, DuplicateChunkKeepsTheFirstCopy) {
  std::vector<uint8_t> data = toasttest::SampleBytes(5000, 7);
  std::vector<Chunk> chunks = SplitIntoChunks(kValueId, data, 1986);
  Chunk copy = chunks[1];
  std::fill(copy.data.begin(), copy.data.end(), uint8_t{'#'});
  chunks.insert(chunks.begin() + 2, copy);
  Store(chunks);
  LogCapture log;
  std::string out;
  ASSERT_TRUE(RebuildPlain(data, out));
  EXPECT_EQ(out, std::string(data.begin(), data.end()));
  EXPECT_TRUE(log.Has("duplicate chunk number 1 for toast value 16601"));
}

TEST_P(ExternalValues, StrayChunkNumberDoesNotSpoilACompleteValue) {
  std::vector<uint8_t> data = toasttest::SampleBytes(5000, 8);
  std::vector<Chunk> chunks = SplitIntoChunks(kValueId, data, 1986);
  chunks.push_back(Chunk{kValueId, 7, std::vector<uint8_t>(10, 'x')});
  chunks.push_back(Chunk{kValueId, -1, std::vector<uint8_t>(10, 'x')});
  Store(chunks);
  LogCapture log;
  std::string out;
  ASSERT_TRUE(RebuildPlain(data, out));
  EXPECT_EQ(out, std::string(data.begin(), data.end()));
  EXPECT_TRUE(log.Has("unexpected chunk number 7 for toast value 16601"));
}

TEST_P(ExternalValues, ValueWithNoChunksAtAllIsLost) {
  Store(SplitIntoChunks(kValueId + 5, toasttest::SampleBytes(3000, 9), 1986));
  std::string out;
  EXPECT_FALSE(RebuildPlain(toasttest::SampleBytes(3000, 9), out));
}

TEST_P(ExternalValues, RelationUnknownToTheCatalogsLosesOnlyTheValue) {
  LogCapture log;
  std::string out;
  EXPECT_FALSE(RebuildPlain(toasttest::SampleBytes(3000, 9), out));
  EXPECT_TRUE(log.Has("TOAST relation 16500 is not in the catalogs"));
  // Looked up once: the second value reuses the verdict.
  EXPECT_FALSE(RebuildPlain(toasttest::SampleBytes(3000, 9), out));
  std::string text = log.Text();
  EXPECT_EQ(text.find("is not in the catalogs"), text.rfind("is not in the catalogs"));
}

TEST_P(ExternalValues, RelationMissingFromTheCatalogsIsReadFromTheFileNamedByItsOid) {
  std::vector<uint8_t> data = toasttest::SampleBytes(5000, 14);
  toasttest::WriteToastFile(LayoutOf(version()), db_, "16500", SplitIntoChunks(kValueId, data, serverChunkSize()));
  LogCapture log;
  std::string out;
  ASSERT_TRUE(RebuildPlain(data, out));
  EXPECT_EQ(out, std::string(data.begin(), data.end()));
  EXPECT_TRUE(log.Has("TOAST relation 16500 is not in the catalogs, reading file 16500"));
}

TEST_P(ExternalValues, RelationRewrittenSinceItWasIndexedIsReadAgain) {
  std::vector<uint8_t> first = toasttest::SampleBytes(5000, 15), second = toasttest::SampleBytes(6000, 16);
  toasttest::WriteToastFile(LayoutOf(version()), db_, "16500", SplitIntoChunks(kValueId, first, 1986));
  std::string out;
  ASSERT_TRUE(RebuildPlain(first, out));
  toasttest::WriteToastFile(LayoutOf(version()), db_, "16500", SplitIntoChunks(kValueId, second, 1986));
  ASSERT_TRUE(RebuildPlain(second, out));
  EXPECT_EQ(out, std::string(second.begin(), second.end()));
}

TEST_P(ExternalValues, ExternalSizeBelow16IsRefused) {
  std::vector<uint8_t> data(10, 'k');
  Store(SplitIntoChunks(kValueId, data, 1986));
  LogCapture log;
  std::string out;
  EXPECT_FALSE(RebuildPlain(data, out));
  EXPECT_TRUE(log.Has("Too small size for struct varattrib [10]"));
}

TEST_P(ExternalValues, CompressedChunksWithCorruptStreamGiveNull) {
  std::vector<uint8_t> raw = toasttest::SampleBytes(9000, 10);
  std::vector<uint8_t> stored = CompressedChunkBytes(raw);
  stored.resize(stored.size() - 7);
  Store(SplitIntoChunks(kValueId, stored, 1986));
  int32_t live = ScratchLiveCount();
  EXPECT_EQ(Rebuild(PointerTo(version(), kValueId, raw.size(), stored.size(), true), version()), nullptr);
  EXPECT_EQ(ScratchLiveCount(), live);
}

INSTANTIATE_TEST_SUITE_P(Layouts, ExternalValues, ::testing::Values(82, 83),
                         [](const ::testing::TestParamInfo<uint8_t>& p) { return "V" + std::to_string(p.param); });

TEST(ExternalValues83, ChunksWithOneByteHeadersAreRead) {
  ScratchDatabase db;
  std::vector<uint8_t> data = toasttest::SampleBytes(1000, 12);
  std::vector<Chunk> chunks = SplitIntoChunks(kValueId, data, 100);
  for (Chunk& c : chunks) c.form = hb::VarlenaForm::kShort;
  toasttest::WriteToastFile(hb::Layout::k83, db, "16500", chunks);
  toasttest::IndexToastFile(83, kToastRelid, "16500");
  uint8_t* v = ExpandShortVarlena(PointerTo(83, kValueId, data.size(), data.size(), false).data());
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(PayloadOf(v, 83), std::string(data.begin(), data.end()));
  ScratchFree(v);
}

TEST(ExternalValues82, FetchReturnsCompressedFormForCompressedPointer) {
  ScratchDatabase db;
  std::vector<uint8_t> raw = toasttest::SampleBytes(6000, 13);
  std::vector<uint8_t> stored = CompressedChunkBytes(raw);
  toasttest::WriteToastFile(hb::Layout::k82, db, "16500", SplitIntoChunks(kValueId, stored, 1986));
  toasttest::IndexToastFile(82, kToastRelid, "16500");
  uint8_t* fetched = toast_fetch_datum(PointerTo(82, kValueId, raw.size(), stored.size(), true).data());
  ASSERT_NE(fetched, nullptr);
  EXPECT_EQ(ReadU32(fetched), static_cast<uint32_t>(stored.size() + 4) | 0x40000000u);
  EXPECT_EQ(std::memcmp(fetched + 4, stored.data(), stored.size()), 0);
  ScratchFree(fetched);
}

}  // namespace
}  // namespace vesk
