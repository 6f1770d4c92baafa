// How far Pass 2 is through the heap bytes of the tables it recovers. The
// table scan reports each page; this turns the pages into the caller's
// progress: the percentages of the progress callback (a step at the end of
// each table, and finer steps inside a table for FileRecoverEx callers) and
// the byte and row counts of the run-progress callback.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "vesk/veskdll.h"

namespace vesk {

class ScanProgress {
 public:
  // Pass 2 begins: `tables` tables of `totalBytes` heap bytes in all.
  // `finerSteps`: percentages inside a table too (callers of the old entry
  // point count tables by the named steps, so they get only those).
  void Begin(int32_t tables, int64_t totalBytes, bool finerSteps);
  // `reader` identifies the scan of the table's own heap (the TOAST scans it
  // triggers are not counted); `bytes` is what its files held before Pass 2.
  void BeginTable(const char* name, const void* reader, int64_t bytes);
  // A page of `reader` has been decoded; `rowsInTable` rows of this table so far.
  void Page(const void* reader, size_t bytes, int64_t rowsInTable);
  // The table is finished (or its scan stopped): sends its named step.
  void EndTable(int64_t rowsInTable);
  // No table is being read any more: the end of Pass 2, or a stop inside
  // a table that had written `rowsInTable` rows.
  void End(int64_t rowsInTable = 0);

  // The percentage Pass 2 has reached, 15 to 100.
  int32_t Percent() const;

 private:
  void SendRunProgress();
  int64_t TableBytesDone() const;

  VeskRunProgress state_{};
  std::string table_;
  const void* reader_ = nullptr;
  bool finerSteps_ = false;
  double share_ = 0.0;     // percent points per table, of the 85 of Pass 2
  double finished_ = 0.0;  // percent points of the finished tables
  int64_t tableBytes_ = 0;
  int64_t tableDone_ = 0;  // bytes of the current table read so far
  int64_t rowsBefore_ = 0; // rows of the finished tables
  int64_t bytesBefore_ = 0;
  int64_t sinceLastReport_ = 0;
  int32_t lastPercent_ = 15;
};

// Sum of the sizes of a relation's segment files `path`, `path.1`, ...
int64_t RelationFileBytes(const std::string& path);

}  // namespace vesk
