// The layout-independent half of a table reader: the scan loop, the
// row-record list and the record cache.
#include "storage/table_reader.h"

#include <cerrno>
#include <cstring>

#include "storage/relation_source.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/scratch.h"

namespace vesk {

// The cluster's segment size (its relseg_size) says where a relation's next
// file begins; a reader made before it is known keeps the usual 1 GiB.
TableReader::TableReader() : source_(new Source) {
  const uint32_t pages = Run().settings.segmentPages;
  if (pages != 0) source_->pagesPerSegment = pages;
  doubleAlign_ = Run().settings.doubleAlign == 4 ? 4 : 8;
}

TableReader::~TableReader() {
  LogValue("~TableReader() for table", tableName);
  delete source_;
  ScratchFree(fetchBuffer);
  for (void* row : rowRecords) ScratchFree(row);
  for (int64_t* offsets : cachedOffsets) ScratchFree(offsets);
}

int TableReader::ReadPage(const uint8_t* /*page*/) { return 0; }
int TableReader::ReadRecord(const uint8_t* /*record*/) { return 0; }
int TableReader::ProcessRow(const RowValues& /*values*/, uint32_t /*oid*/) { return 0; }
int TableReader::ReadRecordLen(const uint8_t* /*record*/, uint32_t /*length*/) { return 0; }

void TableReader::SetMemoryImage(const uint8_t* data, size_t size) {
  bool empty = data == nullptr || size == 0;
  source_->image = empty ? nullptr : data;
  source_->imageSize = empty ? 0 : size;
}

void TableReader::SetPagesPerSegment(uint32_t pages) { source_->pagesPerSegment = pages == 0 ? 1 : pages; }

int TableReader::ReadTable() {
  Log("TableReader::ReadTable()");
  Log("-*-*-*-*-*-*-*-*-*-*-");
  LogFormat("Reading table %s", tableName);
  LogFormat("Table stored in %s", path.c_str());
  LogFormat("Number of columns of table %i", static_cast<int>(columns.size()));
  pagesRead = 0;
  pagesSkipped = 0;
  rowsQuarantined = 0;
  openProblem.clear();
  errno = 0;
  if (!source_->Open(path)) {
    // The system's reason, taken before anything else can change errno.
    const int error = errno;
    if (path.empty()) {
      openProblem = std::string(tableName) + ": the catalogs name no file";
    } else {
      openProblem = path + ": " + (error != 0 ? std::strerror(error) : "cannot be opened");
    }
    LogFormat("Cannot open base %s", openProblem.c_str());
    return 0;
  }
  auto* page = static_cast<uint8_t*>(ScratchAlloc(kPageSize + kPageSpare));
  doubleAlign_ = Run().settings.doubleAlign == 4 ? 4 : 8;
  pageNumber = 0;
  recordsSeen = 1;
  lostColumns = 0;
  rowsRecovered = 0;
  cachedRows = 0;
  valuesMissed = 0;
  rowsGuessed = 0;
  hintsCompared = 0;
  hintConflicts = 0;
  prunedRedirects = 0;
  prunedDead = 0;
  const int32_t liveAtStart = ScratchLiveCount();
  source_->scanBuffer = page;
  uint64_t number = 0;
  while (size_t n = source_->NextPage(page, &number)) {
    std::memset(page + n, 0, kPageSize + kPageSpare - n);
    pageNumber = static_cast<uint32_t>(number);
    if (ReadPage(page) != 0) {
      currentPage_ = nullptr;
      source_->scanBuffer = nullptr;
      ScratchFree(page);
      return kStopped;
    }
    Run().scan.Page(this, n, rowsRecovered);
  }
  currentPage_ = nullptr;
  source_->scanBuffer = nullptr;
  Log("End for reading table:");
  LogFormat("\t%i\trows from %i is readed (%i cashed)", rowsRecovered, recordsSeen - 1, cachedRows);
  LogFormat("\t%i\tcolumns is losts", lostColumns);
  LogFormat("\t%i\tvalues is missed", valuesMissed);
  LogFormat("\t%lld\tpages read, %lld skipped, %lld records set aside", static_cast<long long>(pagesRead),
            static_cast<long long>(pagesSkipped), static_cast<long long>(rowsQuarantined));
  LogFormat("\t%i\tpointers was not free", ScratchLiveCount() - liveAtStart);
  // Only the live scan tells of them: the others judge the same headers again.
  if (versions == Versions::kLive) LogVisibilityGaps();
  ScratchFree(page);
  return 0;
}

void TableReader::LogVisibilityGaps() const {
  if (rowsGuessed > 0) {
    LogFormat("%i row versions of %s are judged by their hint bits alone: the commit log does not cover "
              "their transactions",
              rowsGuessed, tableName);
  }
  if (hintConflicts > 0) {
    LogFormat("%i of %i row versions of %s carry hint bits that the commit log contradicts", hintConflicts,
              hintsCompared, tableName);
  }
}

void TableReader::AddRow(void* record) { rowRecords.push_back(record); }

void* TableReader::FirstRow() {
  rowCursor = 0;
  return rowRecords.empty() ? nullptr : rowRecords[0];
}

void* TableReader::NextRow() {
  if (rowCursor < rowRecords.size()) ++rowCursor;
  return rowCursor < rowRecords.size() ? rowRecords[rowCursor] : nullptr;
}

bool TableReader::IsRowsEnd() const { return rowCursor >= rowRecords.size(); }

void TableReader::SaveRowPosition() { savedRowCursors.push_back(rowCursor); }

void TableReader::RestoreRowPosition() {
  if (savedRowCursors.empty()) return;
  rowCursor = savedRowCursors.back();
  savedRowCursors.pop_back();
}

const int64_t* TableReader::FirstCachedRow() {
  cachedCursor = 0;
  return cachedOffsets.empty() ? nullptr : cachedOffsets[0];
}

const int64_t* TableReader::NextCachedRow() {
  if (cachedCursor < cachedOffsets.size()) ++cachedCursor;
  return cachedCursor < cachedOffsets.size() ? cachedOffsets[cachedCursor] : nullptr;
}

bool TableReader::IsCachedRowsEnd() const { return cachedCursor >= cachedOffsets.size(); }

uint8_t* TableReader::GetCachedAttr(int attnum, bool* isnull) {
  LogFormat("Get Cashed Attr No %i in current row", attnum);
  if (!source_->IsOpen()) {
    LogFormat("Cannot open base %s", path.c_str());
    return nullptr;
  }
  // The callers promise a current row and a column in range; damage in
  // between must not turn into a read outside the arrays.
  if (cachedCursor >= cachedOffsets.size() || attnum < 1 ||
      static_cast<uint32_t>(attnum) > source_->cachedCounts[cachedCursor]) {
    *isnull = true;
    return nullptr;
  }
  const int64_t off = cachedOffsets[cachedCursor][attnum - 1];
  if (off < 0) {
    *isnull = true;
    return nullptr;
  }
  const auto n = static_cast<uint32_t>((off / kPageSize + 1) * kPageSize - off);
  ScratchFree(fetchBuffer);
  fetchBuffer = nullptr;
  fetchBuffer = static_cast<uint8_t*>(ScratchAlloc(n));
  if (!source_->ReadAt(static_cast<uint64_t>(off), fetchBuffer, n)) std::memset(fetchBuffer, 0, n);
  return fetchBuffer;
}

uint32_t TableReader::CurrentRecordLength() const { return source_->recordLength; }

int64_t TableReader::PositionInRelation(const void* pageByte) const {
  if (currentPage_ == nullptr) return -1;
  auto at = static_cast<const uint8_t*>(pageByte) - currentPage_;
  if (at < 0 || at >= static_cast<std::ptrdiff_t>(kPageSize)) return -1;
  return static_cast<int64_t>(pageNumber) * kPageSize + at;
}

bool TableReader::ReadAt(int64_t position, void* buffer, size_t size) {
  if (position < 0) return false;
  return source_->ReadAt(static_cast<uint64_t>(position), buffer, size);
}

}  // namespace vesk
