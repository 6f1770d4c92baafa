// Where a table reader's pages come from: the segment files of a relation
// (`path`, `path.1`, ...) read as one sequence of pages, or a memory image.
// Also holds the reader's per-scan work areas, so that decoding a row
// allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/worker.h"
#include "storage/datum.h"
#include "storage/table_reader.h"

namespace vesk {

// Bytes behind every page buffer, kept zero: a header word or fixed-width
// value that starts just before the page end can be read whole and then
// refused by the bounds checks.
inline constexpr uint32_t kPageSpare = 16;

struct TableReader::Source {
  Source() = default;
  ~Source();
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;

  // Starts a sequential read of `path`; false when its first segment (or the
  // memory image) is not there.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return opened_; }

  // Reads the next page into `buffer` (up to kPageSize bytes, the rest left
  // to the caller) and sets `pageNumber` to its number in the relation; 0 at
  // the end. A short or missing segment file ends its segment; a missing
  // segment file ends the relation.
  size_t NextPage(uint8_t* buffer, uint64_t* pageNumber);
  // Reads `size` bytes at an absolute position; false when not all exist.
  bool ReadAt(uint64_t position, void* buffer, size_t size);

  const uint8_t* image = nullptr;
  size_t imageSize = 0;
  uint32_t pagesPerSegment = kPagesPerSegment;

  // Work areas of the decoder, reused for every record.
  uint32_t recordLength = 0;        // lp_len of the record being decoded; 0 unknown
  RowValues values;
  std::vector<int64_t> offsets;     // offset array when rows are not cached
  std::vector<uint32_t> cachedCounts;  // entries of each cached offset array
  std::vector<uint8_t> copiedPage;  // a page handed in from outside, with spare bytes
  const uint8_t* scanBuffer = nullptr;  // ReadTable's page buffer while it runs

 private:
  // A run of pages of one segment file as read from it. A scan reads a chunk
  // at a time, and the next chunk on a second thread while the pages of this
  // one are decoded; `size` is short of `pages` pages where the file ends.
  struct Chunk {
    std::vector<uint8_t> bytes;
    size_t size = 0;
    uint64_t segment = 0;
    uint64_t firstIndex = 0;
    uint64_t pages = 0;  // 0: holds nothing
    std::FILE* file = nullptr;
  };

  std::FILE* Segment(uint64_t number);
  size_t ReadImage(uint64_t position, void* buffer, size_t size) const;
  // Makes `current_` the chunk that starts at page `index` of `segment`;
  // false when the segment file is not there.
  bool LoadChunk(uint64_t segment, uint64_t index);
  void StartReadAhead();
  // Returns once no read is in flight: the files are the caller's again.
  void FinishReadAhead();
  // At the end of a scan: the thread and the chunks go.
  void EndScan();
  static void ReadChunk(void* chunk);

  std::string path_;
  bool opened_ = false;
  std::vector<std::FILE*> segments_;
  uint64_t nextSegment_ = 0;
  uint64_t nextIndex_ = 0;  // page within nextSegment_
  Chunk current_;
  Chunk ahead_;             // being read, or read, while current_ is decoded
  bool aheadInFlight_ = false;
  std::unique_ptr<platform::Worker> reader_;
};

}  // namespace vesk
