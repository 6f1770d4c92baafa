// One TOAST relation read once: where every live chunk lies (value id, chunk
// number, file position and size of its bytes), so that each out-of-line value
// is then assembled from a handful of direct reads. Memory is bounded by that
// index (16 bytes a chunk), never by chunk bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "storage/column_desc.h"
#include "storage/row_handler.h"
#include "storage/table_reader.h"

namespace vesk {

// An out-of-line pointer of either layout, decoded.
struct ExternalPointer {
  uint32_t rawSize = 0;    // as stored (8.2 compressed: payload only; else with header)
  uint32_t extSize = 0;    // bytes held by the chunks
  uint32_t valueId = 0;    // chunk_id of the value's chunks
  uint32_t toastRelid = 0;
  bool compressed = false;  // the chunks hold a pglz stream (raw size word first)
};

// Where one chunk's bytes are; the size lives in the top 16 bits of `where`.
struct ChunkEntry {
  uint32_t valueId;
  int32_t seq;
  uint64_t where;

  static constexpr int kSizeShift = 48;
  int64_t Position() const { return static_cast<int64_t>(where & ((uint64_t{1} << kSizeShift) - 1)); }
  uint32_t Size() const { return static_cast<uint32_t>(where >> kSizeShift); }
};

class ToastRelation : public pg_some_Table {
 public:
  // `allVersions`: dead chunks are indexed too, for the values of dead row
  // versions (a DELETE or a rolled-back insert takes their chunks with them).
  ToastRelation(uint32_t relid, uint8_t version, bool allVersions = false);
  ~ToastRelation() override;

  // Scans the relation behind `reader` (whose owner must be this object) and
  // keeps it for the reads of Assemble. The column list is replaced by the
  // fixed layout of a TOAST relation. False when the scan was stopped.
  bool Index(std::unique_ptr<TableReader> reader);
  int ProcessRow(const RowValues& values, uint32_t oid) override;

  // Copies the chunks of `valueId` into `dest` (extSize bytes). False, with
  // the reason logged, unless every byte of the value was found.
  bool Assemble(uint32_t valueId, uint32_t extSize, uint8_t* dest);

  uint32_t relid() const { return relid_; }
  uint8_t version() const { return version_; }
  bool allVersions() const { return allVersions_; }
  // False for a relation the catalogs do not know (no file to read).
  bool usable() const { return usable_; }
  size_t chunkCount() const { return chunks_.size(); }
  // False once the relation's file differs in size or time from when it was
  // indexed (a run over a directory rewritten since).
  bool StillCurrent() const;

 private:
  void UseToastColumns();
  bool AddChunk(uint32_t valueId, int32_t seq, const uint8_t* chunkData);
  bool PlaceChunks(const ChunkEntry* first, const ChunkEntry* last, uint32_t extSize,
                   uint32_t chunkSize, uint8_t* dest);
  void NoteChunkSize(uint32_t chunkSize, uint32_t extSize);

  uint32_t relid_;
  uint8_t version_;
  bool allVersions_;
  bool usable_ = false;
  bool complete_ = true;  // false once a chunk could not be recorded
  bool sizeNoted_ = false;  // a chunk size unlike the build's was logged
  CatalogColumnDesc columns_[3];
  std::vector<ChunkEntry> chunks_;  // by value id, then file order
  std::string fileStamp_;           // size and time of the file when indexed
  std::unique_ptr<TableReader> reader_;
};

// Opens `relid` through the catalogs of the current run and indexes it. A
// relation the catalogs do not know gives an unusable object (logged); null
// when the scan was stopped.
std::unique_ptr<ToastRelation> OpenToastRelation(uint32_t relid, uint8_t version, bool allVersions = false);

}  // namespace vesk
