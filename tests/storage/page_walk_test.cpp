// Line-pointer walk and the scan of a relation: which items reach the
// decoder, in both layouts.
#include <gtest/gtest.h>

#include <cstring>

#include "storage_test_support.h"

namespace vesk::storage_test {
namespace {

class PageWalk : public ::testing::TestWithParam<hb::Layout> {
 protected:
  hb::Layout layout() const { return GetParam(); }
  std::vector<hb::Value> Row(int32_t v) { return {hb::Int32(v), hb::Int32(v * 10)}; }
  int AddRow(hb::PageBuilder& page, int32_t v) {
    std::vector<hb::Value> values = Row(v);
    return page.AddTuple({}, columns_.specs(), values);
  }
  std::vector<int32_t> ReadValues(const std::vector<uint8_t>& bytes) {
    ReaderUnderTest r(layout(), columns_);
    EXPECT_EQ(r.Read(bytes), 0);
    std::vector<int32_t> out;
    for (const SeenRow& row : r.recorder.rows) out.push_back(static_cast<int32_t>(row.cells.at(0).datum));
    return out;
  }
  uint32_t page_header() const { return layout() == hb::Layout::k82 ? 20 : 24; }
  Columns columns_{{Int4Col(), Int4Col()}};
  LogCapture log_;
};

TEST_P(PageWalk, UnusedLinePointersAnywhereUpToPdLower) {
  hb::PageBuilder page(layout());
  page.AddUnusedLinePointer();
  AddRow(page, 1);
  page.AddUnusedLinePointer();
  page.AddUnusedLinePointer();
  AddRow(page, 2);
  page.AddUnusedLinePointer();
  AddRow(page, 3);
  EXPECT_EQ(ReadValues(page.Finish()), (std::vector<int32_t>{1, 2, 3}));
}

TEST_P(PageWalk, ZeroLengthItemsAreSkippedAndFlagsIgnored) {
  hb::PageBuilder page(layout());
  page.AddLinePointer(hb::LinePointerWord(3, 0, hb::kLpRedirect));  // HOT redirect
  AddRow(page, 1);
  std::vector<uint8_t> bytes = page.Finish();
  // Mark the stored item dead: its record is still handed on.
  const uint32_t at = page.HeaderSize() + 4;
  uint32_t word;
  std::memcpy(&word, bytes.data() + at, 4);
  word = (word & ~(3u << 15)) | (hb::kLpDead << 15);
  std::memcpy(bytes.data() + at, &word, 4);
  EXPECT_EQ(ReadValues(bytes), (std::vector<int32_t>{1}));
}

// A header no server writes says nothing about where the records are: the
// page is skipped whole and counted, never walked on a guess. An all-zero
// page is empty, not damaged.
TEST_P(PageWalk, ImplausibleHeaderSkipsThePage) {
  struct HeaderCase {
    const char* what;
    size_t at;       // header field offset
    uint16_t value;  // written over it; kKeep leaves the header alone
    bool skipped;
  };
  constexpr uint16_t kKeep = 0xFFFF;
  const uint16_t version = static_cast<uint16_t>(8192 | (layout() == hb::Layout::k82 ? 3 : 4));
  const uint16_t otherVersion = static_cast<uint16_t>(8192 | (layout() == hb::Layout::k82 ? 4 : 3));
  const HeaderCase cases[] = {
      {"as built", 0, kKeep, false},
      {"pd_lower 0", 12, 0, true},
      {"pd_lower past the page", 12, 8200, true},
      {"pd_lower inside the header", 12, 4, true},
      {"pd_lower inside a line pointer", 12, static_cast<uint16_t>(page_header() + 6), true},
      {"pd_upper past pd_special", 14, 8200, true},
      {"pd_upper below pd_lower", 14, static_cast<uint16_t>(page_header()), true},
      {"special space", 16, 8176, true},
      {"page size 4096", 18, static_cast<uint16_t>(4096 | (version & 0xFF)), true},
      {"the other layout", 18, otherVersion, true},
      {"layout version 0", 18, 8192, true},
  };
  for (const HeaderCase& c : cases) {
    hb::PageBuilder page(layout());
    AddRow(page, 1);
    AddRow(page, 2);
    std::vector<uint8_t> bytes = page.Finish();
    if (c.value != kKeep) std::memcpy(bytes.data() + c.at, &c.value, 2);
    ReaderUnderTest r(layout(), columns_);
    EXPECT_EQ(r.Read(bytes), 0);
    EXPECT_EQ(r.recorder.rows.size(), c.skipped ? 0u : 2u) << c.what;
    EXPECT_EQ(r.reader->pagesSkipped, c.skipped ? 1 : 0) << c.what;
    EXPECT_EQ(r.reader->pagesRead, 1) << c.what;
  }
  ReaderUnderTest zero(layout(), columns_);
  EXPECT_EQ(zero.Read(std::vector<uint8_t>(8192, 0)), 0);
  EXPECT_EQ(zero.reader->pagesSkipped, 0);
  EXPECT_TRUE(zero.recorder.rows.empty());
}

TEST_P(PageWalk, PdLowerBelowTheArrayHidesLaterItems) {
  hb::PageBuilder page(layout());
  AddRow(page, 1);
  AddRow(page, 2);
  page.OverrideLower(static_cast<uint16_t>(page.HeaderSize() + 4));
  EXPECT_EQ(ReadValues(page.Finish()), (std::vector<int32_t>{1}));
}

TEST_P(PageWalk, RecordEndingAtThePageEndIsReadOnePastIsRefused) {
  hb::PageBuilder page(layout());
  ASSERT_EQ(AddRow(page, 7), 0);  // a multiple of 8 bytes: ends at byte 8192
  std::vector<uint8_t> bytes = page.Finish();
  uint32_t word;
  std::memcpy(&word, bytes.data() + page.HeaderSize(), 4);
  ASSERT_EQ((word & 0x7FFF) + (word >> 17), 8192u);
  hb::PageBuilder twice(layout());
  AddRow(twice, 7);
  twice.AddLinePointer(hb::LinePointerWord((word & 0x7FFF) + 1, word >> 17));
  std::vector<uint8_t> both = twice.Finish();
  EXPECT_EQ(ReadValues(both), (std::vector<int32_t>{7}));
  const std::string refused = "Wrong offset (" + std::to_string((word & 0x7FFF) + 1) + ") or record len (" +
                              std::to_string(word >> 17) + "), skip record!";
  EXPECT_TRUE(log_.Has(refused)) << refused;
}

TEST_P(PageWalk, RecordWhoseHeaderRunsPastThePageIsRefused) {
  hb::PageBuilder page(layout());
  page.AddLinePointer(hb::LinePointerWord(8186, 6));
  AddRow(page, 5);
  EXPECT_EQ(ReadValues(page.Finish()), (std::vector<int32_t>{5}));
  EXPECT_TRUE(log_.Has("Wrong offset (8186) or record len (6), skip record!"));
}

TEST(PageWalkAcrossLayouts, An82PageWalkedAs83MissesItsFirstItem) {
  // The layout detection counts rows both ways: the 8.3 walk starts at byte
  // 24, the second line pointer of an 8.2 page.
  LogCapture log;
  Columns columns({Int4Col(), Int4Col()});
  hb::PageBuilder page(hb::Layout::k82);
  for (int i = 0; i < 10; ++i) {
    std::vector<hb::Value> values = {hb::Int32(i), hb::Int32(i)};
    page.AddTuple({}, columns.specs(), values);
  }
  ReaderUnderTest as82(hb::Layout::k82, columns);
  ReaderUnderTest as83(hb::Layout::k83, columns);
  EXPECT_EQ(as82.Read(page.Finish()), 0);
  EXPECT_EQ(as83.Read(page.Finish()), 0);
  EXPECT_EQ(as82.recorder.rows.size(), 10u);
  EXPECT_LT(as83.recorder.rows.size(), 10u);
}

TEST_P(PageWalk, HandlerStopEndsTheScanWithoutEndLines) {
  hb::RelationBuilder rel(layout(), columns_.specs());
  for (int i = 0; i < 5; ++i) rel.AddRow(Row(i));
  ReaderUnderTest r(layout(), columns_);
  r.recorder.stopAfter = 2;
  EXPECT_EQ(r.Read(rel.Bytes()), kStopped);
  EXPECT_EQ(r.recorder.rows.size(), 2u);
  EXPECT_FALSE(log_.Has("End for reading table:"));
}

TEST_P(PageWalk, BreakFlagStopsTheScan) {
  hb::RelationBuilder rel(layout(), columns_.specs());
  for (int i = 0; i < 5; ++i) rel.AddRow(Row(i));
  volatile unsigned char flag = 1;
  vesk::Run().breakFlag = &flag;
  ReaderUnderTest r(layout(), columns_);
  const int rc = r.Read(rel.Bytes());
  vesk::Run().breakFlag = nullptr;
  EXPECT_EQ(rc, kStopped);
  EXPECT_TRUE(r.recorder.rows.empty());
  EXPECT_TRUE(log_.Has("Terminated by user"));
  EXPECT_FALSE(log_.Has("End for reading table:"));
}

TEST_P(PageWalk, EndLinesCountRowsAndRecords) {
  hb::RelationBuilder rel(layout(), columns_.specs());
  for (int i = 0; i < 10; ++i) rel.AddRow(Row(i));
  hb::TupleSpec dead;
  dead.xmax = 900;
  dead.infomask = hb::kXminCommitted | hb::kXmaxCommitted;
  rel.AddRow(Row(99), dead);
  ReaderUnderTest r(layout(), columns_);
  EXPECT_EQ(r.Read(rel.Bytes()), 0);
  EXPECT_TRUE(log_.Has("\t10\trows from 10 is readed (0 cashed)"));
  EXPECT_TRUE(log_.Has("\t0\tpointers was not free"));
  EXPECT_EQ(log_.Count("Old or invalid record, skip"), 1);
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, PageWalk, ::testing::Values(hb::Layout::k82, hb::Layout::k83),
                         LayoutParamName);

}  // namespace
}  // namespace vesk::storage_test
