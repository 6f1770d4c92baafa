// Relation files on disk: missing, empty and short files, segment files,
// the record cache and reading back by position.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>

#include "storage_test_support.h"

namespace vesk::storage_test {
namespace {

class RelationFiles : public ::testing::TestWithParam<hb::Layout> {
 protected:
  hb::Layout layout() const { return GetParam(); }
  std::unique_ptr<TableReader> MakeReader(const std::string& path, Recorder* handler = nullptr) {
    if (handler == nullptr) handler = &recorder_;
    vesk::Run().databaseDirectory = dir_.path() + "/";
    std::unique_ptr<TableReader> reader;
    if (layout() == hb::Layout::k82) {
      reader = std::make_unique<TableReader82>(path.c_str(), handler);
    } else {
      reader = std::make_unique<TableReader83>(path.c_str(), handler);
    }
    vesk::Run().databaseDirectory.clear();
    handler->reader = reader.get();
    columns_.AttachTo(*reader);
    reader->cacheRows = false;
    return reader;
  }
  hb::RelationBuilder Relation(int rows, int rowsPerPage) {
    hb::RelationBuilder rel(layout(), columns_.specs());
    for (int i = 0; i < rows; ++i) {
      if (i > 0 && i % rowsPerPage == 0) rel.EndPage();
      rel.AddRow({hb::Int32(i), hb::Text("v" + std::to_string(i))});
    }
    return rel;
  }
  std::vector<int32_t> SeenKeys() const {
    std::vector<int32_t> out;
    for (const SeenRow& row : recorder_.rows) out.push_back(static_cast<int32_t>(row.cells.at(0).datum));
    return out;
  }
  static std::vector<int32_t> Keys(int from, int to) {
    std::vector<int32_t> out;
    for (int i = from; i < to; ++i) out.push_back(i);
    return out;
  }

  TempDir dir_;
  LogCapture log_;
  Columns columns_{{Int4Col(), TextCol()}};
  Recorder recorder_;
};

TEST_P(RelationFiles, MissingFileYieldsNothing) {
  auto reader = MakeReader("16999");
  EXPECT_EQ(reader->path, dir_.path() + "/16999");
  EXPECT_EQ(reader->ReadTable(), 0);
  EXPECT_EQ(log_.Count("Cannot open base " + dir_.path() + "/16999"), 1);
  EXPECT_FALSE(log_.Has("End for reading table:"));
}

TEST_P(RelationFiles, EmptyFileLogsZeroCounts) {
  ASSERT_TRUE(Relation(0, 1).WriteFile(dir_ / "17000"));
  ASSERT_EQ(std::filesystem::file_size(dir_ / "17000"), 0u);
  auto reader = MakeReader("17000");
  EXPECT_EQ(reader->ReadTable(), 0);
  EXPECT_TRUE(log_.Has("\t0\trows from 0 is readed (0 cashed)"));
  EXPECT_TRUE(log_.Has("\t0\tcolumns is losts"));
  EXPECT_TRUE(log_.Has("\t0\tvalues is missed"));
}

TEST_P(RelationFiles, ShortFinalPageIsWalked) {
  // A record stored low in the last page survives a file cut short behind it.
  std::vector<hb::Value> values = {hb::Int32(42), hb::Text("low")};
  std::vector<uint8_t> tuple = hb::EncodeTuple(layout(), {}, columns_.specs(), values);
  hb::PageBuilder page(layout());
  page.AddLinePointer(hb::LinePointerWord(1000, static_cast<uint32_t>(tuple.size())));
  page.OverrideUpper(1000);
  std::vector<uint8_t> bytes = page.Finish();
  std::memcpy(bytes.data() + 1000, tuple.data(), tuple.size());
  hb::RelationBuilder rel = Relation(3, 10);
  rel.AddPage(bytes);
  std::vector<uint8_t> all = rel.Bytes();
  all.resize(8192 + 1100);
  std::FILE* f = std::fopen((dir_ / "17001").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(all.data(), 1, all.size(), f);
  std::fclose(f);
  auto reader = MakeReader("17001");
  EXPECT_EQ(reader->ReadTable(), 0);
  EXPECT_EQ(SeenKeys(), (std::vector<int32_t>{0, 1, 2, 42}));
}

TEST_P(RelationFiles, SegmentsReadInOrderWithContinuingPositions) {
  hb::RelationBuilder rel = Relation(10, 2);  // 5 pages: segments of 2, 2 and 1 page
  ASSERT_TRUE(rel.WriteFile(dir_ / "17002", 2));
  ASSERT_TRUE(std::filesystem::exists(dir_ / "17002.2"));
  auto reader = MakeReader("17002");
  reader->SetPagesPerSegment(2);
  reader->cacheRows = true;
  EXPECT_EQ(reader->ReadTable(), 0);
  EXPECT_EQ(SeenKeys(), Keys(0, 10));
  // Positions continue across files: row 9 sits on page 4.
  EXPECT_EQ(recorder_.rows[9].cells[1].position / 8192, 4);
  EXPECT_TRUE(log_.Has("\t10\tpointers was not free"));  // the cached offset arrays

  // The record cache reads values back from the right segment.
  ASSERT_NE(reader->FirstCachedRow(), nullptr);
  for (int i = 0; i < 9; ++i) reader->NextCachedRow();
  EXPECT_FALSE(reader->IsCachedRowsEnd());
  bool isnull = false;
  uint8_t* key = reader->GetCachedAttr(1, &isnull);
  ASSERT_NE(key, nullptr);
  EXPECT_FALSE(isnull);
  int32_t v;
  std::memcpy(&v, key, 4);
  EXPECT_EQ(v, 9);
  uint8_t* text = reader->GetCachedAttr(2, &isnull);
  ASSERT_NE(text, nullptr);
  Cell cell;
  cell.bytes.assign(text, text + 8);
  EXPECT_EQ(CellText(cell, layout()), "v9");
  EXPECT_EQ(reader->NextCachedRow(), nullptr);
  EXPECT_TRUE(reader->IsCachedRowsEnd());

  std::vector<uint8_t> back(4);
  ASSERT_TRUE(reader->ReadAt(recorder_.rows[9].cells[1].position, back.data(), back.size()));
  EXPECT_EQ(std::vector<uint8_t>(cell.bytes.begin(), cell.bytes.begin() + 4), back);
  EXPECT_FALSE(reader->ReadAt(5 * 8192, back.data(), 1));
}

// Scans read chunks of pages ahead of the decoder: segments whose size is no
// multiple of a chunk, a short last page, and reads by position in the
// middle of the scan must all see the bytes in place.
TEST_P(RelationFiles, ReadAheadKeepsPagesPositionsAndReadsBackInStep) {
  hb::RelationBuilder rel = Relation(1000, 5);  // 200 pages
  ASSERT_TRUE(rel.WriteFile(dir_ / "17008", 37));
  std::filesystem::resize_file(dir_ / "17008.5", 15 * 8192 + 100);  // a short page at the end

  class ReadingBack : public Recorder {
   public:
    int ProcessRow(const RowValues& values, uint32_t oid) override {
      int taken = Recorder::ProcessRow(values, oid);
      // Row 0's text, read back by position while later pages stream in.
      const Cell& first = rows.front().cells[1];
      std::vector<uint8_t> back(first.bytes.size());
      if (reader->ReadAt(first.position, back.data(), back.size()) && back == first.bytes) ++readBack;
      return taken;
    }
    int readBack = 0;
  } recorder;
  auto reader = MakeReader("17008", &recorder);
  reader->SetPagesPerSegment(37);
  EXPECT_EQ(reader->ReadTable(), 0);
  ASSERT_EQ(recorder.rows.size(), 1000u);
  ASSERT_GE(recorder.rows[0].cells[1].bytes.size(), 3u);
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(static_cast<int32_t>(recorder.rows[static_cast<size_t>(i)].cells[0].datum), i);
    ASSERT_EQ(recorder.rows[static_cast<size_t>(i)].cells[1].position / 8192, i / 5);
  }
  EXPECT_EQ(recorder.readBack, 1000);
  EXPECT_EQ(reader->pageNumber, 200u);
}

// A cluster built with another segment size: readers made once the run
// knows it split the relation there without being told one by one.
TEST_P(RelationFiles, SegmentSizeOfTheCluster) {
  ASSERT_TRUE(Relation(10, 2).WriteFile(dir_ / "17006", 3));
  vesk::Run().settings.segmentPages = 3;
  auto reader = MakeReader("17006");
  vesk::Run().settings = DatabaseSettings{};
  EXPECT_EQ(reader->ReadTable(), 0);
  EXPECT_EQ(SeenKeys(), Keys(0, 10));
  EXPECT_EQ(recorder_.rows[9].cells[1].position / 8192, 4);
}

TEST_P(RelationFiles, MissingSegmentEndsTheRelation) {
  ASSERT_TRUE(Relation(10, 2).WriteFile(dir_ / "17003", 2));
  std::filesystem::remove(dir_ / "17003.1");
  auto reader = MakeReader("17003");
  reader->SetPagesPerSegment(2);
  EXPECT_EQ(reader->ReadTable(), 0);
  EXPECT_EQ(SeenKeys(), Keys(0, 4));
}

TEST_P(RelationFiles, ShortSegmentKeepsLaterPageNumbers) {
  ASSERT_TRUE(Relation(10, 2).WriteFile(dir_ / "17004", 2));
  std::filesystem::resize_file(dir_ / "17004", 8192);  // segment 0 lost its second page
  auto reader = MakeReader("17004");
  reader->SetPagesPerSegment(2);
  EXPECT_EQ(reader->ReadTable(), 0);
  std::vector<int32_t> expected = {0, 1, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(SeenKeys(), expected);
  EXPECT_EQ(recorder_.rows[2].cells[1].position / 8192, 2);
}

TEST_P(RelationFiles, GigabyteSegmentThenTheNext) {
  // A sparse first segment of full size, rows only in the second.
  hb::RelationBuilder rel = Relation(3, 10);
  std::vector<std::vector<uint8_t>> pages = {rel.Bytes()};
  ASSERT_TRUE(hb::WritePagesAt(dir_ / "17005", hb::kPagesPerSegment, pages));
  ASSERT_EQ(std::filesystem::file_size(dir_ / "17005"), uint64_t{1} << 30);
  auto reader = MakeReader("17005");
  EXPECT_EQ(reader->ReadTable(), 0);
  EXPECT_EQ(SeenKeys(), Keys(0, 3));
  EXPECT_EQ(recorder_.rows[0].cells[1].position / 8192, static_cast<int64_t>(kPagesPerSegment));
  EXPECT_EQ(reader->pageNumber, kPagesPerSegment);
}

TEST_P(RelationFiles, FileReaderMatchesMemoryImage) {
  hb::RelationBuilder rel = Relation(25, 7);
  ASSERT_TRUE(rel.WriteFile(dir_ / "17006"));
  auto fromFile = MakeReader("17006");
  ASSERT_EQ(fromFile->ReadTable(), 0);
  std::vector<int32_t> viaFile = SeenKeys();
  recorder_.rows.clear();
  auto fromImage = MakeReader("no-such-file");
  std::vector<uint8_t> image = rel.Bytes();
  fromImage->SetMemoryImage(image.data(), image.size());
  ASSERT_EQ(fromImage->ReadTable(), 0);
  EXPECT_EQ(SeenKeys(), viaFile);
  EXPECT_EQ(viaFile, Keys(0, 25));
  // Clearing the image falls back to the (missing) file.
  recorder_.rows.clear();
  fromImage->SetMemoryImage(nullptr, 0);
  EXPECT_EQ(fromImage->ReadTable(), 0);
  EXPECT_TRUE(recorder_.rows.empty());
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, RelationFiles, ::testing::Values(hb::Layout::k82, hb::Layout::k83),
                         LayoutParamName);

TEST(RecordCache, NullAndOutOfRangeAttributes) {
  LogCapture log;
  Columns columns({Int4Col(), TextCol()});
  hb::RelationBuilder rel(hb::Layout::k83, columns.specs());
  rel.AddRow({hb::Int32(1), hb::Null()});
  ReaderUnderTest r(hb::Layout::k83, columns);
  r.reader->cacheRows = true;
  ASSERT_EQ(r.Read(rel.Bytes()), 0);
  ASSERT_NE(r.reader->FirstCachedRow(), nullptr);
  EXPECT_EQ(r.reader->FirstCachedRow()[1], -1);
  bool isnull = false;
  EXPECT_EQ(r.reader->GetCachedAttr(2, &isnull), nullptr);
  EXPECT_TRUE(isnull);
  isnull = false;
  EXPECT_EQ(r.reader->GetCachedAttr(3, &isnull), nullptr);
  EXPECT_TRUE(isnull);
  EXPECT_TRUE(log.Has("Get Cashed Attr No 2 in current row"));
}

TEST(RowRecords, SavedPositionsAllowANestedWalk) {
  TableReader reader;
  int records[4] = {0, 1, 2, 3};
  EXPECT_EQ(reader.FirstRow(), nullptr);
  EXPECT_TRUE(reader.IsRowsEnd());
  EXPECT_EQ(reader.NextRow(), nullptr);
  for (int& r : records) reader.AddRow(&r);
  std::vector<int> outer;
  for (void* p = reader.FirstRow(); !reader.IsRowsEnd(); p = reader.NextRow()) {
    outer.push_back(*static_cast<int*>(p));
    reader.SaveRowPosition();
    int inner = 0;
    for (void* q = reader.FirstRow(); q != nullptr; q = reader.NextRow()) ++inner;
    EXPECT_EQ(inner, 4);
    reader.RestoreRowPosition();
  }
  EXPECT_EQ(outer, (std::vector<int>{0, 1, 2, 3}));
  reader.rowRecords.clear();  // not scratch blocks: keep the destructor away from them
}

}  // namespace
}  // namespace vesk::storage_test
