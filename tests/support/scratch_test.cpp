#include "support/scratch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "support/logger.h"
#include "support/temp_dir.h"

namespace vesk {
namespace {

using testing::ReadFile;
using testing::TempDir;

// Scratch state is process-wide: every check is relative to the count at the
// start of the test, and each test frees what it made.
class ScratchTest : public ::testing::Test {
 protected:
  ScratchTest() : base_(ScratchLiveCount()) {
    logPath_ = dir_ / "log.txt";
    TheLog().Open(logPath_.c_str(), true);
  }
  ~ScratchTest() override { TheLog().Open(nullptr, false); }

  int32_t Live() const { return ScratchLiveCount() - base_; }
  bool LogMentions(const char* text) const { return ReadFile(logPath_).find(text) != std::string::npos; }

  TempDir dir_;
  std::string logPath_;
  int32_t base_;
};

TEST_F(ScratchTest, SizeLimitIsOneByteBelowHundredMebibytes) {
  void* largest = ScratchAlloc(104857599);
  ASSERT_NE(largest, nullptr);
  ScratchFree(largest);
  EXPECT_EQ(Live(), 0);
  EXPECT_FALSE(LogMentions("Is too march"));

  try {
    ScratchAlloc(104857600);
    FAIL() << "an oversized block was handed out";
  } catch (const ScratchException& e) {
    EXPECT_EQ(e.code, 0);
  }
  EXPECT_TRUE(LogMentions("[ERROR]: Is too march size allocated [104857600]\n"));
  EXPECT_THROW(ScratchAlloc(0xFFFFFFFFu), ScratchException);
  EXPECT_EQ(Live(), 0);
}

TEST_F(ScratchTest, ZeroSizeIsRefusedSilently) {
  EXPECT_THROW(ScratchAlloc(0), ScratchException);
  EXPECT_FALSE(LogMentions("ERROR"));
  EXPECT_EQ(Live(), 0);
}

TEST_F(ScratchTest, FreeUntracksOnceAndIgnoresStrangers) {
  void* a = ScratchAlloc(8);
  void* b = ScratchAlloc(8);
  void* c = ScratchAlloc(8);
  ScratchFree(b);
  EXPECT_EQ(Live(), 2);
  ScratchFree(b);  // second time: nothing
  int local = 0;
  ScratchFree(&local);
  ScratchFree(nullptr);
  EXPECT_EQ(Live(), 2);
  // C is now the newest block: a mark keeps it and everything older.
  ScratchMark();
  ScratchAlloc(4);
  ScratchReleaseToMark();
  EXPECT_EQ(Live(), 2);
  ScratchFree(a);
  ScratchFree(c);
  EXPECT_EQ(Live(), 0);
}

TEST_F(ScratchTest, ReleaseToMarkFreesOnlyNewerBlocks) {
  void* a = ScratchAlloc(16);
  void* b = ScratchAlloc(16);
  ScratchMark();
  void* c = ScratchAlloc(16);
  ScratchDup("value text");
  ScratchFree(c);  // a hole between the mark and the newest block
  ScratchAlloc(32);
  ScratchReleaseToMark();
  EXPECT_EQ(Live(), 2);
  // The mark is cleared: a second release frees nothing newer than nothing.
  std::memset(a, 1, 16);
  std::memset(b, 2, 16);
  ScratchFree(a);
  ScratchFree(b);
  EXPECT_EQ(Live(), 0);
}

TEST_F(ScratchTest, MarkFreedSinceKeepsEverything) {
  void* a = ScratchAlloc(8);
  ScratchMark();
  void* b = ScratchAlloc(8);
  ScratchFree(a);
  ScratchReleaseToMark();
  EXPECT_EQ(Live(), 1);
  ScratchFree(b);
}

TEST_F(ScratchTest, DupCopiesIncludingEmptyText) {
  char* empty = ScratchDup("");
  EXPECT_EQ(empty[0], '\0');
  char* text = ScratchDup("public");
  EXPECT_STREQ(text, "public");
  EXPECT_EQ(Live(), 2);
  ScratchFree(empty);
  ScratchFree(text);
}

// A run holds many catalog records while each value's blocks come and go:
// freeing, marking and releasing must not slow down with the records held,
// nor must freeing the records themselves oldest first.
TEST_F(ScratchTest, CostDoesNotGrowWithLiveBlocks) {
  constexpr int kRecords = 100000;
  std::vector<void*> records;
  records.reserve(kRecords);
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kRecords; ++i) records.push_back(ScratchAlloc(16));
  int untracked = 0;
  for (int i = 0; i < kRecords; ++i) {
    ScratchMark();
    void* value = ScratchAlloc(24);
    ScratchAlloc(8);
    ScratchFree(value);
    ScratchFree(&untracked);
    ScratchReleaseToMark();
  }
  EXPECT_EQ(Live(), kRecords);
  for (void* record : records) ScratchFree(record);
  EXPECT_EQ(Live(), 0);
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 20.0);  // a linear search per call would take many minutes here
}

}  // namespace
}  // namespace vesk
