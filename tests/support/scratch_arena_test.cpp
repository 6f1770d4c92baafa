// Scratch blocks are carved from shared chunks: these cases check that blocks
// never overlap, that released bytes come back (memory stays flat however
// many values are converted), that only block starts count as tracked, and
// that sanitized builds still catch a write outside a block.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "support/scratch.h"

namespace vesk {
namespace {

class ScratchArenaTest : public ::testing::Test {
 protected:
  ScratchArenaTest() : base_(ScratchLiveCount()) {}
  int32_t Live() const { return ScratchLiveCount() - base_; }
  int32_t base_;
};

struct Block {
  unsigned char* p;
  uint32_t size;
  unsigned char fill;
};

bool Intact(const Block& b) {
  for (uint32_t i = 0; i < b.size; ++i) {
    if (b.p[i] != b.fill) return false;
  }
  return true;
}

// Sizes from one byte to well past a chunk, freed in random order: every
// block keeps its own bytes until it is freed.
TEST_F(ScratchArenaTest, MixedSizesNeverOverlap) {
  std::mt19937 random(7);
  const uint32_t sizes[] = {1, 7, 16, 17, 100, 4100, 65536, 65537, 300000, 1u << 20, (1u << 20) + 1};
  std::vector<Block> blocks;
  for (int round = 0; round < 300; ++round) {
    uint32_t size = sizes[random() % std::size(sizes)];
    auto* p = static_cast<unsigned char*>(ScratchAlloc(size));
    auto fill = static_cast<unsigned char>(round);
    std::memset(p, fill, size);
    blocks.push_back({p, size, fill});
    if (random() % 3 == 0) {
      size_t victim = random() % blocks.size();
      ASSERT_TRUE(Intact(blocks[victim])) << "block " << victim;
      ScratchFree(blocks[victim].p);
      blocks.erase(blocks.begin() + static_cast<std::ptrdiff_t>(victim));
    }
  }
  EXPECT_EQ(Live(), static_cast<int32_t>(blocks.size()));
  for (const Block& b : blocks) EXPECT_TRUE(Intact(b));
  for (const Block& b : blocks) ScratchFree(b.p);
  EXPECT_EQ(Live(), 0);
}

// A value's blocks given back by the release are carved again for the next
// value: many values use the same bytes, not one block's worth each.
TEST_F(ScratchArenaTest, ReleasedBytesAreReused) {
  void* keep = ScratchAlloc(32);
  ScratchMark();
  void* first = ScratchAlloc(40);
  ScratchAlloc(4100);
  ScratchReleaseToMark();
  for (int i = 0; i < 200000; ++i) {
    ScratchMark();
    void* value = ScratchAlloc(40);
    ASSERT_EQ(value, first) << "value " << i;
    char* text = ScratchDup("text of a value");
    ScratchFree(value);  // out of order: a hole below the text
    ScratchFree(text);
    ScratchReleaseToMark();
  }
  EXPECT_EQ(Live(), 1);
  ScratchFree(keep);
}

// A hole left by an out-of-order free comes back once the blocks above it go.
TEST_F(ScratchArenaTest, HoleComesBackWithTheBlocksAbove) {
  void* a = ScratchAlloc(16);
  ScratchMark();
  void* b = ScratchAlloc(16);
  void* c = ScratchAlloc(16);
  ScratchFree(b);
  EXPECT_EQ(Live(), 2);
  ScratchReleaseToMark();
  EXPECT_EQ(Live(), 1);
  EXPECT_NE(c, nullptr);
  void* again = ScratchAlloc(16);
  EXPECT_EQ(again, b);
  ScratchFree(again);
  ScratchFree(a);
  EXPECT_EQ(Live(), 0);
}

// Only the address a block was handed out at is tracked: addresses inside
// or just past a block, and blocks already freed, are strangers.
TEST_F(ScratchArenaTest, OnlyBlockStartsAreTracked) {
  auto* p = static_cast<char*>(ScratchAlloc(64));
  std::memset(p, 'x', 64);
  for (const char* stranger : {p + 1, p + 16, p + 32, p + 64, p + 80}) ScratchFree(stranger);
  EXPECT_EQ(Live(), 1);
  EXPECT_EQ(p[63], 'x');
  ScratchFree(p);
  ScratchFree(p);
  EXPECT_EQ(Live(), 0);
}

// Many holes get squeezed out; the survivors keep their order for a release.
TEST_F(ScratchArenaTest, SqueezedHolesKeepAllocationOrder) {
  std::vector<void*> blocks;
  for (int i = 0; i < 400; ++i) blocks.push_back(ScratchAlloc(24));
  for (size_t i = 0; i < blocks.size(); i += 2) ScratchFree(blocks[i]);
  for (size_t i = 1; i < blocks.size(); i += 4) ScratchFree(blocks[i]);
  EXPECT_EQ(Live(), 100);
  ScratchMark();
  for (int i = 0; i < 50; ++i) ScratchAlloc(24);
  ScratchReleaseToMark();
  EXPECT_EQ(Live(), 100);
  for (size_t i = 3; i < blocks.size(); i += 4) ScratchFree(blocks[i]);
  EXPECT_EQ(Live(), 0);
}

#if defined(__SANITIZE_ADDRESS__)
TEST_F(ScratchArenaTest, SanitizerCatchesWritesOutsideABlock) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto* p = static_cast<volatile char*>(ScratchAlloc(13));
  EXPECT_DEATH(p[13] = 1, "");
  EXPECT_DEATH(p[-1] = 1, "");
  ScratchFree(const_cast<char*>(p));
  EXPECT_DEATH((void)p[0], "");  // freed
}
#endif

}  // namespace
}  // namespace vesk
