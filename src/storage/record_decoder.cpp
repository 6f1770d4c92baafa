// The record decoder shared by both layouts: liveness, null bitmap, attribute
// walk with memoised offsets, OID, and the row handler call.
//
// Every read stays inside the page buffer (which has kPageSpare zero bytes
// behind it) and every value must end inside its record: a damaged length
// stops the record instead of handing on bytes of the next one.
#include <cstring>
#include <exception>

#include "storage/byte_order.h"
#include "storage/record_layout.h"
#include "storage/relation_source.h"
#include "storage/row_visibility.h"
#include "storage/tuple_check.h"
#include "storage/tuple_values.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/scratch.h"

namespace vesk {
namespace {

// `doubleAlign` is where the server build put 'd' columns: 8, or 4 on the
// 32-bit servers whose double is aligned like an int.
int64_t AlignOffset(int64_t off, char attalign, int64_t doubleAlign) {
  int64_t a = attalign == 'c' ? 1 : attalign == 'i' ? 4 : attalign == 'd' ? doubleAlign : 2;
  return (off + a - 1) & ~(a - 1);
}

bool IsAligned(int64_t off, char attalign, int64_t doubleAlign) {
  return AlignOffset(off, attalign, doubleAlign) == off;
}

// The run's alignment of 'd' columns for a value decoded on its own: only 4
// and 8 are alignments a server had.
int64_t DoubleAlignOfRun() { return Run().settings.doubleAlign == 4 ? 4 : 8; }

RowVersion VersionOf(const TableReader::RecordLayout& layout, const uint8_t* record, uint16_t infomask) {
  return RowVersion{LoadU32(record + layout.xminAt), LoadU32(record + layout.xmaxAt),
                    LoadU32(record + layout.xvacAt), infomask};
}

ItemPointer StoredCtid(const TableReader::RecordLayout& layout, const uint8_t* record) {
  const uint8_t* ctid = record + layout.ctidAt;
  return ItemPointer{(uint32_t{LoadU16(ctid)} << 16) | LoadU16(ctid + 2), LoadU16(ctid + 4)};
}

Datum ByValue(const uint8_t* p, int16_t attlen) {
  if (attlen == 4) return LoadU32(p);
  if (attlen == 2) return LoadU16(p);
  return p[0];
}

// Total stored size of a variable-length value, header included; -1 when
// the header cannot be one (shorter than itself).
int64_t VarlenaSize(const uint8_t* p, bool is83) {
  if (!is83) {
    int64_t size = LoadU32(p) & 0x3FFFFFFFu;
    return size >= 4 ? size : -1;
  }
  if (p[0] == 0x01) return p[1] >= 2 ? p[1] : -1;  // TOAST pointer
  if ((p[0] & 0x01) != 0) return p[0] >> 1;        // 1-byte header, at least 1
  int64_t size = LoadU32(p) >> 2;
  return size >= 4 ? size : -1;
}

// Bounds of the record being decoded, relative to the page.
struct DecodeFrame {
  const uint8_t* page;
  int64_t recordAt;   // page offset of the record
  int64_t recordEnd;  // page offset just past the record
  int64_t dataAt;     // page offset of the data start (record + t_hoff)
  int64_t limit;      // readable bytes from `page` on (kPageSpare more may be read)
};

// Position of column `d` under the layout's rules; updates `slow` and the
// memoised attcacheoff. The walk is as cheap as the memo, so a memo is only
// written, never trusted: a wrong attcacheoff (a damaged pg_attribute row
// carries one) would otherwise misplace that column in every row.
int64_t PlaceColumn(const TableReader::RecordLayout& layout, const DecodeFrame& f, int64_t doubleAlign,
                    CatalogColumnDesc& d, int64_t off, bool* slow) {
  if (layout.is83 && d.attlen == -1) {
    if (!*slow && IsAligned(off, d.attalign, doubleAlign)) {
      d.attcacheoff = static_cast<int32_t>(off);
      return off;
    }
    // A 1-byte header or TOAST pointer is stored unaligned; a zero byte is
    // padding in front of a 4-byte header.
    const int64_t p = f.dataAt + off;
    if (p >= 0 && p < f.limit && f.page[p] == 0) off = AlignOffset(off, d.attalign, doubleAlign);
    *slow = true;
    return off;
  }
  off = AlignOffset(off, d.attalign, doubleAlign);
  if (!*slow) d.attcacheoff = static_cast<int32_t>(off);
  return off;
}

// Stored size of the value at page offset p (inside the page); -1 when it
// has none that could be right.
int64_t StoredSize(const TableReader::RecordLayout& layout, const DecodeFrame& f, const CatalogColumnDesc& d,
                   int64_t p) {
  if (d.attlen > 0) return d.attlen;
  if (d.attlen == -1) return VarlenaSize(f.page + p, layout.is83);
  const void* nul = std::memchr(f.page + p, 0, static_cast<size_t>(f.limit - p));
  return nul == nullptr ? -1 : static_cast<const uint8_t*>(nul) - (f.page + p) + 1;
}

// One record's walk over the reader's columns.
struct ColumnWalk {
  const TableReader::RecordLayout& layout;
  const DecodeFrame& frame;
  const std::vector<CatalogColumnDesc*>& columns;
  int32_t columnLimit;
  size_t natts;  // attributes the record itself stores
  bool hasNull;
  int64_t rowBase;  // relation position of the page
  int64_t doubleAlign;
};

bool IsNullInRecord(const ColumnWalk& w, size_t i) {
  // Columns added after the row was stored are null, as the server reads them.
  if (i >= w.natts) return true;
  if (!w.hasNull) return false;
  const int64_t bitAt = w.frame.recordAt + w.layout.headerSize + static_cast<int64_t>(i / 8);
  return bitAt >= w.frame.recordEnd || (w.frame.page[bitAt] & (1u << (i % 8))) == 0;
}

// A walk that ended before the last column because a length or offset was
// damaged (or a column has no description).
constexpr int kCutShort = 1;

// Appends one value per decoded column and fills `offsets` (when given);
// kStopped when the break byte was set, kCutShort, else 0. `dataEnd` (when
// given) receives the page offset just past the last stored value.
int DecodeColumns(const ColumnWalk& w, RowValues& values, int64_t* offsets, int64_t* dataEnd = nullptr) {
  const DecodeFrame& f = w.frame;
  int64_t off = 0;
  bool slow = false;
  // The flag's location is fixed for the run; the byte itself is re-read
  // before every column.
  volatile unsigned char* const breakFlag = Run().breakFlag;
  for (size_t i = 0; i < w.columns.size(); ++i) {
    if (breakFlag != nullptr && *breakFlag != 0) {
      ReportStopped();
      return kStopped;
    }
    if (w.columnLimit >= 0 && static_cast<int64_t>(i) + 1 >= w.columnLimit) break;
    if (w.columns[i] == nullptr) return kCutShort;  // no description: later offsets are unknowable
    CatalogColumnDesc& d = *w.columns[i];
    if (IsNullInRecord(w, i)) {
      values.push_back(AttrValue{0, true});
      slow = true;
      continue;
    }
    off = PlaceColumn(w.layout, f, w.doubleAlign, d, off, &slow);
    const int64_t p = f.dataAt + off;
    if (p >= f.limit) {
      LogFormat(w.layout.wrongOffset, static_cast<int>(off));
      // Nothing of the value can be read: hand it on as null, never as a
      // by-value 0 that would be written as if it were the stored number.
      values.push_back(AttrValue{0, true});
      return kCutShort;
    }
    const Datum datum = d.attbyval ? ByValue(f.page + p, d.attlen) : PointerDatum(f.page + p);
    const int64_t size = StoredSize(w.layout, f, d, p);
    const int64_t next = off + size;
    if (size < 0 || f.dataAt + next > f.recordEnd) {
      LogFormat(w.layout.wrongLength, static_cast<int>(size < 0 ? off : next));
      values.push_back(AttrValue{datum, true});
      return kCutShort;
    }
    if (offsets != nullptr) offsets[i] = w.rowBase + p;
    values.push_back(AttrValue{datum, false});
    if (d.attlen <= 0) slow = true;
    off = next;
  }
  if (dataEnd != nullptr) *dataEnd = f.dataAt + off;
  return 0;
}

uint32_t RecordOid(const TableReader::RecordLayout& layout, const DecodeFrame& f, uint16_t infomask) {
  if ((infomask & layout.oidBit) == 0 || f.dataAt < 4 || f.dataAt > kPageSize) return 0;
  return LoadU32(f.page + f.dataAt - 4);
}

}  // namespace

int TableReader::DecodeRecord(const RecordLayout& layout, const uint8_t* record, uint32_t length,
                              pg_some_Table* owner) {
  if (layout.is83 && (length == 0 || length >= kPageSize)) return 0;
  const std::ptrdiff_t recordAt = currentPage_ == nullptr ? -1 : record - currentPage_;
  int64_t recordEnd = kPageSize;
  if (length != 0 && recordAt >= 0) recordEnd = std::min<int64_t>(kPageSize, recordAt + length);
  if (recordAt < 0 || recordAt + static_cast<int64_t>(layout.headerSize) > recordEnd) {
    LogFormat("Wrong offset (%i) or record len (%i), skip record!", static_cast<int>(recordAt),
              static_cast<int>(length));
    return 0;
  }
  if (const char* problem = TupleFlagProblem(layout, record)) {
    // Such a header tells nothing of the version's fate; the live scan set it aside.
    if (versions != Versions::kDead) SetAside({}, problem);
    return 0;
  }
  const uint16_t infomask = LoadU16(record + layout.infomaskAt);
  const RowVersion version = VersionOf(layout, record, infomask);
  const Visibility visibility = JudgeRow(version, Run().settings.commitLog);
  rowsGuessed += visibility.guessed ? 1 : 0;
  hintsCompared += visibility.compared ? 1 : 0;
  hintConflicts += visibility.contradicted ? 1 : 0;
  if (versions == Versions::kLive && !visibility.live) {
    Log("Old or invalid record, skip");
    return 0;
  }
  if (versions == Versions::kDead) {
    if (visibility.live) return 0;
    deadVersion = DescribeDeadVersion(version, visibility, ItemPointer{pageNumber, static_cast<uint16_t>(currentItem)},
                                      StoredCtid(layout, record));
  }
  ++recordsSeen;
  if (columns.empty() && !rowsWithoutColumns) return 0;
  if (const char* problem = TupleHeaderLengthProblem(layout, record)) {
    SetAside({}, problem);
    return 0;
  }
  const size_t natts = LoadU16(record + layout.nattsAt) & layout.nattsMask;
  // Only a complete column list (every attnum, dropped ones too) knows how
  // many attributes a row can have and where its last value must end.
  const bool strict = strictRows && columnLimit < 0 && length != 0;
  if (strict && natts > columns.size()) {
    SetAside({}, "more attributes than the table has");
    return 0;
  }

  const DecodeFrame frame{currentPage_, recordAt, recordEnd, recordAt + record[layout.hoffAt], kPageSize};
  const ColumnWalk walk{layout,
                        frame,
                        columns,
                        columnLimit,
                        natts,
                        (infomask & kInfoHasNull) != 0,
                        static_cast<int64_t>(pageNumber) * kPageSize,
                        doubleAlign_};
  const size_t ncols = columns.size();
  RowValues& values = source_->values;
  values.clear();
  int64_t* offsets = nullptr;
  try {
    if (cacheRows) {
      offsets = static_cast<int64_t*>(ScratchAlloc(static_cast<uint32_t>(ncols * sizeof(int64_t))));
    } else {
      source_->offsets.resize(ncols);
      offsets = source_->offsets.data();
    }
    std::fill(offsets, offsets + ncols, int64_t{-1});
    int64_t dataEnd = -1;
    int taken = DecodeColumns(walk, values, offsets, &dataEnd);
    const char* problem = nullptr;
    if (strict && taken == kCutShort) problem = "a value runs past the record";
    if (strict && taken == 0 && dataEnd != recordEnd) problem = "the values end before the record does";
    if (problem != nullptr) {
      SetAside(values, problem);
      values.clear();
      if (cacheRows) ScratchFree(offsets);
      return 0;
    }
    if (taken != kStopped) {
      const uint32_t oid = RecordOid(layout, frame, infomask);
      taken = owner != nullptr ? owner->ProcessRow(values, oid) : ProcessRow(values, oid);
    }
    values.clear();
    if (taken == kStopped) {
      if (cacheRows) ScratchFree(offsets);
      return kStopped;
    }
    rowsRecovered += taken;
    if (cacheRows) {
      source_->cachedCounts.push_back(static_cast<uint32_t>(ncols));
      cachedOffsets.push_back(offsets);
      ++cachedRows;
    }
    return 0;
  } catch (const ScratchException&) {
  } catch (const std::exception&) {
  }
  Log("ERROR while read record");
  if (cacheRows) ScratchFree(offsets);
  values.clear();
  return 0;
}

bool DecodeTupleValues(bool is83, const uint8_t* tuple, uint32_t size,
                       const std::vector<CatalogColumnDesc*>& columns, int32_t columnLimit, RowValues& values) {
  const TableReader::RecordLayout& layout = is83 ? kRecordLayout83 : kRecordLayout82;
  values.clear();
  if (size < layout.headerSize || size > kMaxTupleBytes) return false;
  const int64_t dataAt = tuple[layout.hoffAt];
  if (dataAt < layout.headerSize || dataAt > size) return false;
  const DecodeFrame frame{tuple, 0, size, dataAt, size};
  const ColumnWalk walk{layout,
                        frame,
                        columns,
                        columnLimit,
                        static_cast<size_t>(LoadU16(tuple + layout.nattsAt) & layout.nattsMask),
                        (LoadU16(tuple + layout.infomaskAt) & kInfoHasNull) != 0,
                        0,
                        DoubleAlignOfRun()};
  return DecodeColumns(walk, values, nullptr) == 0;
}

}  // namespace vesk
