// Record decoding in both layouts: liveness, nulls, alignment, varlena
// headers, the stored attribute count, bounds, and the handler protocol.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "storage_test_support.h"

namespace vesk::storage_test {
namespace {

class Decoder : public ::testing::TestWithParam<hb::Layout> {
 protected:
  hb::Layout layout() const { return GetParam(); }
  bool is83() const { return layout() == hb::Layout::k83; }

  // Reads one page holding the given tuples.
  std::vector<SeenRow> ReadRows(Columns& columns, const std::vector<std::vector<hb::Value>>& rows,
                                const hb::TupleSpec& tuple = {}, int32_t columnLimit = -1) {
    hb::RelationBuilder rel(layout(), columns.specs());
    for (const auto& row : rows) rel.AddRow(row, tuple);
    ReaderUnderTest r(layout(), columns);
    r.reader->columnLimit = columnLimit;
    EXPECT_EQ(r.Read(rel.Bytes()), 0);
    return r.recorder.rows;
  }
  std::vector<SeenRow> ReadTuple(Columns& columns, const std::vector<uint8_t>& tuple) {
    hb::PageBuilder page(layout());
    page.AddRawTuple(tuple);
    ReaderUnderTest r(layout(), columns);
    EXPECT_EQ(r.Read(page.Finish()), 0);
    return r.recorder.rows;
  }
  LogCapture log_;
};

struct LivenessCase {
  uint32_t xmax;
  uint16_t infomask;
  bool live;
};

TEST_P(Decoder, LivenessFromXmaxAndHintBits) {
  const std::vector<LivenessCase> cases = {
      {0, hb::kXminCommitted | hb::kXmaxInvalid, true},
      {0, 0, true},
      {700, hb::kXmaxInvalid, true},                               // the deleter aborted
      {700, hb::kXminCommitted, false},                            // deleted or updated away
      {700, hb::kXminCommitted | hb::kXmaxCommitted | hb::kUpdated, false},
      {700, hb::kXminCommitted | hb::kXmaxExclLock, true},         // SELECT ... FOR UPDATE
      {700, hb::kXminCommitted | hb::kXmaxSharedLock, true},       // SELECT ... FOR SHARE
      {0, hb::kXminInvalid, false},                                // inserter aborted
      {700, hb::kXminInvalid | hb::kXmaxExclLock, false},
  };
  Columns columns({Int4Col()});
  int refused = 0;
  for (size_t i = 0; i < cases.size(); ++i) {
    hb::TupleSpec t;
    t.xmax = cases[i].xmax;
    t.infomask = cases[i].infomask;
    const auto rows = ReadRows(columns, {{hb::Int32(static_cast<int32_t>(i))}}, t);
    EXPECT_EQ(rows.size(), cases[i].live ? 1u : 0u) << "case " << i;
    if (!cases[i].live) ++refused;
  }
  EXPECT_EQ(log_.Count("Old or invalid record, skip"), refused);
}

TEST_P(Decoder, ValuesOfEveryPhysicalShape) {
  Columns columns({CharCol(), Int2Col(), Int4Col(), NameCol(), TextCol(), Int8Col(), CStringCol(), TextCol()});
  const auto rows = ReadRows(columns, {{hb::Char('k'), hb::Int16(-2), hb::Int32(-5), hb::Name("relname"),
                                        hb::Text("hello"), hb::Int64(1234567890123), hb::CString("cstr"),
                                        hb::Text(std::string(300, 'z'))}});
  ASSERT_EQ(rows.size(), 1u);
  const auto& c = rows[0].cells;
  ASSERT_EQ(c.size(), 8u);
  for (const Cell& cell : c) EXPECT_FALSE(cell.isnull);
  EXPECT_EQ(c[0].datum, Datum{'k'});
  EXPECT_EQ(c[1].datum, Datum{0xFFFE});  // zero-extended
  EXPECT_EQ(c[2].datum, Datum{0xFFFFFFFB});
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(c[3].bytes.data())), "relname");
  EXPECT_EQ(CellText(c[4], layout()), "hello");
  int64_t v8;
  std::memcpy(&v8, c[5].bytes.data(), 8);
  EXPECT_EQ(v8, 1234567890123);
  EXPECT_EQ(c[5].position % 8, 0);  // 'd' alignment inside the page
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(c[6].bytes.data())), "cstr");
  EXPECT_EQ(CellText(c[7], layout()).substr(0, 10), std::string(10, 'z'));
}

TEST_P(Decoder, NullMidRowWalksLaterColumnsWithoutMemoising) {
  Columns columns({Int4Col(), Int4Col(), CharCol(), Int4Col(), Int2Col()});
  const auto rows = ReadRows(columns, {{hb::Int32(1), hb::Null(), hb::Char('c'), hb::Int32(4), hb::Int16(5)}});
  ASSERT_EQ(rows.size(), 1u);
  const auto& c = rows[0].cells;
  EXPECT_TRUE(c[1].isnull);
  EXPECT_EQ(c[2].datum, Datum{'c'});
  EXPECT_EQ(c[3].datum, Datum{4});
  EXPECT_EQ(c[4].datum, Datum{5});
  EXPECT_EQ(columns[0].attcacheoff, 0);
  for (size_t i = 1; i < 5; ++i) EXPECT_EQ(columns[i].attcacheoff, -1) << i;

  // A full row afterwards memoises every fixed column.
  const auto full = ReadRows(columns, {{hb::Int32(1), hb::Int32(2), hb::Char('c'), hb::Int32(4), hb::Int16(5)}});
  ASSERT_EQ(full.size(), 1u);
  EXPECT_EQ(full[0].cells[3].datum, Datum{4});
  EXPECT_EQ(columns[2].attcacheoff, 8);
  EXPECT_EQ(columns[3].attcacheoff, 12);
  EXPECT_EQ(columns[4].attcacheoff, 16);
}

TEST_P(Decoder, WrongMemoisedOffsetIsCorrectedNotTrusted) {
  Columns columns({Int4Col(), Int2Col(), Int4Col()});
  columns[2].attcacheoff = 100;  // as a damaged pg_attribute row could carry
  const auto rows = ReadRows(columns, {{hb::Int32(1), hb::Int16(2), hb::Int32(3)}});
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].cells[2].datum, Datum{3});
  EXPECT_EQ(columns[2].attcacheoff, 8);
}

TEST_P(Decoder, ColumnsAddedAfterTheRowWasStoredAreNull) {
  Columns columns({Int4Col(), TextCol(), Int4Col(), TextCol()});
  hb::RelationBuilder rel(layout(), columns.specs());
  rel.AddRow({hb::Int32(1), hb::Text("old")});           // before ADD COLUMN
  rel.AddRow({hb::Int32(2), hb::Null()});                // with a bitmap of 2 bits
  rel.AddRow({hb::Int32(3), hb::Text("new"), hb::Int32(33), hb::Text("d")});
  ReaderUnderTest r(layout(), columns);
  ASSERT_EQ(r.Read(rel.Bytes()), 0);
  const auto& rows = r.recorder.rows;
  ASSERT_EQ(rows.size(), 3u);
  for (int k = 0; k < 2; ++k) {
    ASSERT_EQ(rows[k].cells.size(), 4u);
    EXPECT_TRUE(rows[k].cells[2].isnull) << k;
    EXPECT_TRUE(rows[k].cells[3].isnull) << k;
  }
  EXPECT_EQ(CellText(rows[0].cells[1], layout()), "old");
  EXPECT_EQ(rows[2].cells[2].datum, Datum{33});
  EXPECT_EQ(CellText(rows[2].cells[3], layout()), "d");
  EXPECT_FALSE(log_.Has("Wrong length"));
}

TEST_P(Decoder, ColumnLimitStopsBeforeTheMissingColumn) {
  Columns columns({Int4Col(), Int4Col(), Int4Col(), Int4Col()});
  std::vector<std::vector<hb::Value>> row = {{hb::Int32(1), hb::Int32(2), hb::Int32(3), hb::Int32(4)}};
  EXPECT_EQ(ReadRows(columns, row, {}, 3).at(0).cells.size(), 2u);
  EXPECT_EQ(ReadRows(columns, row, {}, 0).at(0).cells.size(), 0u);
  EXPECT_EQ(ReadRows(columns, row, {}, -1).at(0).cells.size(), 4u);
}

TEST_P(Decoder, ObjectIdentifierFromTheHeader) {
  Columns columns({Int4Col()});
  hb::TupleSpec t;
  t.hasOid = true;
  t.oid = 16401;
  EXPECT_EQ(ReadRows(columns, {{hb::Int32(1)}}, t).at(0).oid, 16401u);
  EXPECT_EQ(ReadRows(columns, {{hb::Int32(1)}}).at(0).oid, 0u);
}

TEST_P(Decoder, VarlenaRunningPastItsRecordIsRefused) {
  // A header claiming more bytes than the record holds must not hand on the
  // next record's bytes, even when they are inside the page.
  Columns columns({Int4Col(), TextCol(), Int4Col()});
  std::vector<uint8_t> stored = hb::EncodeVarlena(layout(), hb::Text("abcd", hb::VarlenaForm::kLong));
  const uint32_t longer = 4 + 4 + 16;
  const uint32_t header = is83() ? longer << 2 : longer;
  std::memcpy(stored.data(), &header, 4);
  std::vector<hb::Value> values = {hb::Int32(1), hb::Raw(stored), hb::Int32(3)};
  hb::PageBuilder page(layout());
  page.AddTuple({}, columns.specs(), values);
  std::vector<hb::Value> next = {hb::Int32(2), hb::Text(std::string(40, 'n')), hb::Int32(4)};
  page.AddTuple({}, columns.specs(), next);
  ReaderUnderTest r(layout(), columns);
  ASSERT_EQ(r.Read(page.Finish()), 0);
  ASSERT_EQ(r.recorder.rows.size(), 2u);
  const auto& bad = r.recorder.rows[0].cells;
  ASSERT_EQ(bad.size(), 2u);  // stopped at the damaged value
  EXPECT_TRUE(bad[1].isnull);
  EXPECT_TRUE(log_.Has(is83() ? "4 Wrong length for attr (" : "2 Wrong length for attr ("));
  EXPECT_EQ(r.recorder.rows[1].cells.size(), 3u);
}

TEST_P(Decoder, VarlenaShorterThanItsHeaderIsRefused) {
  Columns columns({TextCol(), Int4Col()});
  std::vector<hb::Value> values = {hb::Raw({0, 0, 0, 0}), hb::Int32(9)};
  const auto rows = ReadTuple(columns, hb::EncodeTuple(layout(), {}, columns.specs(), values));
  ASSERT_EQ(rows.size(), 1u);
  ASSERT_EQ(rows[0].cells.size(), 1u);
  EXPECT_TRUE(rows[0].cells[0].isnull);
}

TEST_P(Decoder, HeaderLengthPastThePageIsSetAsideUnread) {
  // A t_hoff of 255 on a record at the page end would put the data outside
  // the page; no header of two int4 columns is that long, so nothing of the
  // record is read (and no by-value 0 can be handed on as the stored number).
  Columns columns({Int4Col(), Int4Col()});
  hb::TupleSpec t;
  t.hoff = 255;
  std::vector<hb::Value> values = {hb::Int32(1), hb::Int32(2)};
  std::vector<uint8_t> tuple = hb::EncodeTuple(layout(), t, columns.specs(), values);
  tuple.resize(40);
  EXPECT_TRUE(ReadTuple(columns, tuple).empty());
  EXPECT_TRUE(log_.Has("set aside: header length does not fit its null bitmap"));
}

TEST_P(Decoder, StringWithoutTerminatorIsRefused) {
  Columns columns({CStringCol()});
  std::vector<hb::Value> values = {hb::Raw(std::vector<uint8_t>(16, 'x'))};
  const auto rows = ReadTuple(columns, hb::EncodeTuple(layout(), {}, columns.specs(), values));
  ASSERT_EQ(rows.size(), 1u);
  ASSERT_EQ(rows[0].cells.size(), 1u);
  EXPECT_TRUE(rows[0].cells[0].isnull);
}

TEST_P(Decoder, FailingHandlerDropsOneRecordOnly) {
  Columns columns({Int4Col()});
  hb::RelationBuilder rel(layout(), columns.specs());
  for (int i = 0; i < 4; ++i) rel.AddRow({hb::Int32(i)});
  ReaderUnderTest r(layout(), columns);
  r.recorder.throwAt = 1;
  EXPECT_EQ(r.Read(rel.Bytes()), 0);
  EXPECT_EQ(r.recorder.rows.size(), 3u);
  EXPECT_EQ(log_.Count("ERROR while read record"), 1);
}

TEST_P(Decoder, ReaderWithoutColumnsCountsButHandsNothingOn) {
  Columns none({});
  Columns columns({Int4Col()});
  hb::RelationBuilder rel(layout(), columns.specs());
  rel.AddRow({hb::Int32(1)});
  ReaderUnderTest r(layout(), none);
  EXPECT_EQ(r.Read(rel.Bytes()), 0);
  EXPECT_TRUE(r.recorder.rows.empty());
  EXPECT_TRUE(log_.Has("\t0\trows from 1 is readed (0 cashed)"));
}

TEST_P(Decoder, DamagedPagesNeverCrash) {
  Columns columns({Int4Col(), TextCol(), CharCol(), NameCol(), CStringCol(), Int8Col(), TextCol(), Int2Col()});
  hb::RelationBuilder rel(layout(), columns.specs());
  for (int i = 0; i < 30; ++i) {
    rel.AddRow({hb::Int32(i), hb::Text(std::string(static_cast<size_t>(i * 7), 't')), hb::Char('c'),
                i % 3 == 0 ? hb::Null() : hb::Name("n"), hb::CString("s"), hb::Int64(i),
                hb::Text(std::string(200, 'u')), hb::Int16(1)});
  }
  const std::vector<uint8_t> clean = rel.Bytes();
  std::mt19937 rng(static_cast<unsigned>(is83() ? 83 : 82));
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> bytes = clean;
    const int flips = 1 + static_cast<int>(rng() % 40);
    for (int k = 0; k < flips; ++k) bytes[rng() % bytes.size()] = static_cast<uint8_t>(rng());
    ReaderUnderTest r(layout(), columns);
    r.reader->cacheRows = round % 2 == 0;
    EXPECT_EQ(r.Read(bytes), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, Decoder, ::testing::Values(hb::Layout::k82, hb::Layout::k83),
                         LayoutParamName);

// 8.3 only: values with 1-byte headers and TOAST pointers are not aligned;
// zero bytes in front of a 4-byte header are padding.
TEST(Decoder83, UnalignedShortHeadersPaddingAndToastPointers) {
  LogCapture log;
  Columns columns({CharCol(), TextCol(), TextCol(), CharCol(), TextCol(), Int4Col()});
  hb::ExternalPointer ptr{10000, 9000, 501, 16500, false};
  const auto specs = columns.specs();
  hb::RelationBuilder rel(hb::Layout::k83, specs);
  rel.AddRow({hb::Char('a'), hb::Text("x"), hb::Text(std::string(200, 'L')), hb::Char('b'), hb::External(ptr),
              hb::Int32(77)});
  rel.AddRow({hb::Char('a'), hb::Compressed(std::vector<uint8_t>(500, 'c')), hb::Text("s"), hb::Char('b'),
              hb::Text(std::string(130, 'q')), hb::Int32(78)});
  ReaderUnderTest r(hb::Layout::k83, columns);
  ASSERT_EQ(r.Read(rel.Bytes()), 0);
  const auto& rows = r.recorder.rows;
  ASSERT_EQ(rows.size(), 2u);
  ASSERT_EQ(rows[0].cells.size(), 6u);
  EXPECT_EQ(rows[0].cells[1].bytes[0], 0x05);  // at data offset 1, read unaligned
  EXPECT_EQ(CellText(rows[0].cells[1], hb::Layout::k83), "x");
  // Data offset 3 is a padding zero: the 4-byte header starts at 4.
  EXPECT_EQ(rows[0].cells[2].position - rows[0].cells[1].position, 3);
  EXPECT_EQ(CellText(rows[0].cells[2], hb::Layout::k83), std::string(60, 'L'));  // 64 bytes captured
  EXPECT_EQ(rows[0].cells[4].bytes[0], 0x01);
  EXPECT_EQ(rows[0].cells[4].bytes[1], 18);
  EXPECT_EQ(rows[0].cells[5].datum, Datum{77});
  ASSERT_EQ(rows[1].cells.size(), 6u);
  EXPECT_EQ(rows[1].cells[1].bytes[0] & 0x03, 0x02);  // compressed, 4-byte header
  EXPECT_EQ(CellText(rows[1].cells[2], hb::Layout::k83), "s");
  EXPECT_EQ(rows[1].cells[5].datum, Datum{78});
  EXPECT_FALSE(log.Has("Wrong"));
}

TEST(Decoder82, VarlenaIsAlignedWhateverItsFirstByte) {
  LogCapture log;
  Columns columns({CharCol(), TextCol(), Int4Col()});
  hb::ExternalPointer ptr{3000, 2990, 7, 16400, true};
  hb::RelationBuilder rel(hb::Layout::k82, columns.specs());
  rel.AddRow({hb::Char('a'), hb::Text(std::string(5, '\x07')), hb::Int32(1)});  // length word 9: odd first byte
  rel.AddRow({hb::Char('a'), hb::External(ptr), hb::Int32(2)});
  ReaderUnderTest r(hb::Layout::k82, columns);
  ASSERT_EQ(r.Read(rel.Bytes()), 0);
  ASSERT_EQ(r.recorder.rows.size(), 2u);
  EXPECT_EQ(r.recorder.rows[0].cells[1].position % 4, 0);
  EXPECT_EQ(CellText(r.recorder.rows[0].cells[1], hb::Layout::k82), std::string(5, '\x07'));
  EXPECT_EQ(r.recorder.rows[0].cells[2].datum, Datum{1});
  EXPECT_EQ(r.recorder.rows[1].cells[2].datum, Datum{2});
}

TEST(Decoder83, RecordLengthZeroOrAPageIsIgnored) {
  LogCapture log;
  Columns columns({Int4Col()});
  TableReader83 reader;
  columns.AttachTo(reader);
  std::vector<uint8_t> page(8192, 0);
  EXPECT_EQ(reader.ReadRecordLen(page.data() + 100, 0), 0);
  EXPECT_EQ(reader.ReadRecordLen(page.data() + 100, 8192), 0);
  EXPECT_EQ(reader.recordsSeen, 1);
}

}  // namespace
}  // namespace vesk::storage_test
