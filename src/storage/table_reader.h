// A table reader stands for one relation: its heap file (all its segments),
// its column list and its row handler. ReadTable walks the 8192-byte pages,
// the layout-specific subclass walks the line pointers and decodes each
// record, and the owner's ProcessRow receives the decoded values.
//
// Besides scanning it keeps the row-record list (catalog records owned by the
// reader, with a cursor and saved cursor positions) and the record cache (the
// file position of every attribute of each decoded row).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "storage/column_desc.h"
#include "storage/datum.h"
#include "storage/dead_version.h"
#include "storage/row_handler.h"

namespace vesk {

struct TypeRecord;
struct RecoveredTable;

inline constexpr uint32_t kPageSize = 8192;
inline constexpr uint32_t kPagesPerSegment = 131072;  // 1 GiB segment files

class TableReader {
 public:
  // Bare reader: no path (the pg_type reader sets it before each read).
  TableReader();
  virtual ~TableReader();
  TableReader(const TableReader&) = delete;
  TableReader& operator=(const TableReader&) = delete;

  virtual int ReadPage(const uint8_t* page);
  virtual int ReadRecord(const uint8_t* record);
  virtual int ProcessRow(const RowValues& values, uint32_t oid);
  virtual int ReadRecordLen(const uint8_t* record, uint32_t length);

  // Reads the relation to its end: 0 when done or when the file cannot be
  // opened, -1000 when stopped.
  int ReadTable();

  // Reads pages from memory instead of the file (the built-in type images);
  // the bytes must outlive the reader. An empty image clears the setting.
  void SetMemoryImage(const uint8_t* data, size_t size);

  // Row-record list.
  void AddRow(void* record);
  void* FirstRow();
  void* NextRow();
  bool IsRowsEnd() const;
  void SaveRowPosition();
  void RestoreRowPosition();
  size_t RowCount() const { return rowRecords.size(); }
  void* RowAt(size_t i) const { return rowRecords[i]; }

  // Record cache.
  const int64_t* FirstCachedRow();
  const int64_t* NextCachedRow();
  bool IsCachedRowsEnd() const;
  // Bytes from attribute `attnum` (1-based) of the current cached row to the
  // end of its page, in a scratch buffer valid until the next call; null with
  // *isnull set for a null attribute.
  uint8_t* GetCachedAttr(int attnum, bool* isnull);

  // Absolute position in the relation (all segments) of a byte of the page
  // being walked; reads back `size` bytes from such a position.
  int64_t PositionInRelation(const void* pageByte) const;
  bool ReadAt(int64_t position, void* buffer, size_t size);

  // Pages per segment file; only tests make it smaller than a real server's.
  void SetPagesPerSegment(uint32_t pages);

  // Read directly by the catalog readers, the definition and row writers.
  uint32_t rowCursor = 0;
  size_t cachedCursor = 0;
  std::vector<uint32_t> savedRowCursors;
  int32_t lostColumns = 0;
  int32_t rowsRecovered = 0;
  int32_t cachedRows = 0;
  int32_t recordsSeen = 1;
  uint32_t pageNumber = 0;
  uint16_t currentRecordOffset = 0;
  std::vector<int64_t*> cachedOffsets;
  uint8_t* fetchBuffer = nullptr;
  int32_t valuesMissed = 0;
  // Row versions of this scan whose fate the commit log could not tell (the
  // hint bits decided), and hint bits it could be held against and those it
  // contradicted.
  int32_t rowsGuessed = 0;
  int32_t hintsCompared = 0;
  int32_t hintConflicts = 0;
  std::vector<CatalogColumnDesc*> columns;  // not owned
  std::string path;
  char tableName[64] = {};
  std::vector<void*> rowRecords;  // tracked scratch blocks, owned
  const TypeRecord* typeRecord = nullptr;
  const RecoveredTable* classRecord = nullptr;
  bool cacheRows = true;
  int32_t columnLimit = -1;

  // Rows of a user table are held to every rule of a server-written tuple:
  // no more attributes than the table has, values ending exactly where the
  // record ends. Catalog readers decode subsets of their columns and cannot.
  bool strictRows = false;
  // A table of no columns still has rows (of no values): its handler gets
  // them. Otherwise an empty column list means nothing can be decoded.
  bool rowsWithoutColumns = false;
  // The relation is a sequence: its one page carries the sequence magic in
  // a special space, which any other heap page would be skipped for.
  bool sequencePages = false;
  // Receives the records set aside; null: they are only counted.
  pg_some_Table* quarantine = nullptr;
  // What the last ReadTable met, for the run's summary.
  int64_t pagesRead = 0;
  int64_t pagesSkipped = 0;     // header not plausible
  int64_t rowsQuarantined = 0;  // set aside instead of handed to the row handler
  std::string openProblem;      // empty, or "<path>: <system's reason>"
  uint32_t currentItem = 0;     // 1-based line pointer number of the record being decoded

  // Which stored versions reach the row handler: the live ones (what the
  // server shows), only those that are not (a second scan for the dead
  // versions), or every one (the chunks such a scan's TOAST values need).
  enum class Versions : uint8_t { kLive, kDead, kAll };
  Versions versions = Versions::kLive;
  // In a kDead scan: why the version handed to the row handler is dead.
  DeadVersion deadVersion;
  // Line pointers of 8.3 pages that pruning left without a tuple: a
  // redirect to the newest version of a chain, or a dead marker.
  int64_t prunedRedirects = 0;
  int64_t prunedDead = 0;

  // Counts the record as set aside and hands it to `quarantine`.
  void SetAside(const RowValues& values, const char* reason);

  // Layout traits of the record decoder (defined by the storage code).
  struct RecordLayout;

 protected:
  // Walks the line pointers of a page whose header is `headerSize` bytes,
  // handing each stored record to ReadRecord (8.2) or ReadRecordLen (8.3).
  int WalkPage(const uint8_t* page, uint32_t headerSize, bool is82);
  // Decodes one record of the page being walked and calls the row handler
  // (`owner`, or this reader's own ProcessRow when null).
  int DecodeRecord(const RecordLayout& layout, const uint8_t* record, uint32_t length, pg_some_Table* owner);
  // Counts an 8.3 line pointer without storage that pruning left behind.
  void NotePrunedPointer(uint32_t word);
  // lp_len of the record the walk is handing on; 0 outside a walk.
  uint32_t CurrentRecordLength() const;
  // One line each for rows the commit log could not judge and for hint bits
  // it contradicts.
  void LogVisibilityGaps() const;

  const uint8_t* currentPage_ = nullptr;
  // Alignment of 'd' columns in the server build, taken from the run's
  // settings when the reader is made and when a scan starts, not per record.
  uint8_t doubleAlign_ = 8;
  // (implementation members below are private to the storage code)
 public:
  struct Source;  // the open segment files or the memory image
  Source* source_ = nullptr;
};

class TableReader82 : public TableReader {
 public:
  TableReader82(pg_some_Table* owner = nullptr);                        // bare
  TableReader82(const char* fileName, pg_some_Table* owner);            // database directory + name
  int ReadPage(const uint8_t* page) override;
  int ReadRecord(const uint8_t* record) override;

  pg_some_Table* owner;
};

class TableReader83 : public TableReader {
 public:
  TableReader83(pg_some_Table* owner = nullptr);
  TableReader83(const char* fileName, pg_some_Table* owner);
  int ReadPage(const uint8_t* page) override;
  int ReadRecordLen(const uint8_t* record, uint32_t length) override;

  pg_some_Table* owner;
};

}  // namespace vesk
