// Heap page builder: writes PostgreSQL 8.2 and 8.3 heap pages, tuples and
// relation files byte for byte as a server would, so that tests and
// generators can make exactly the input the table readers and decoders take
// apart. It is the inverse of src/storage: what it builds they read.
//
// Everything is little-endian. Misuse (a fixed value of the wrong width, a
// tuple larger than a page) throws std::invalid_argument; a page that is full
// is reported by a negative item number, never by an exception.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <initializer_list>
#include <vector>

#include "storage/column_desc.h"

namespace vesk::heapbuilder {

enum class Layout { k82, k83 };

inline constexpr uint32_t kPageSize = 8192;

// What the server build decided beyond the layout: the default is the common
// 64-bit build with float8 date/time storage; i386 servers align everything
// (tuple headers, tuples on the page, 'd' columns) to 4.
struct ServerBuild {
  uint32_t maxAlign = 8;
  uint32_t doubleAlign = 8;
  bool integerDatetimes = false;  // changes values only (see the value makers)

  static ServerBuild Bits32() { return ServerBuild{4, 4, false}; }
};
inline constexpr uint32_t kPagesPerSegment = 131072;

// t_infomask bits. Where the two layouts differ the name says which.
inline constexpr uint16_t kHasNull = 0x0001;
inline constexpr uint16_t kHasVarWidth = 0x0002;
inline constexpr uint16_t kHasExternal82 = 0x0004;  // 8.3: same bit, same meaning
inline constexpr uint16_t kHasCompressed82 = 0x0008;
inline constexpr uint16_t kHasOid82 = 0x0010;
inline constexpr uint16_t kHasOid83 = 0x0008;
inline constexpr uint16_t kXmaxExclLock = 0x0040;
inline constexpr uint16_t kXmaxSharedLock = 0x0080;
inline constexpr uint16_t kXminCommitted = 0x0100;
inline constexpr uint16_t kXminInvalid = 0x0200;
inline constexpr uint16_t kXmaxCommitted = 0x0400;
inline constexpr uint16_t kXmaxInvalid = 0x0800;
inline constexpr uint16_t kUpdated = 0x2000;

// Line pointer flags (bits 15-16 of the word). 8.2 calls 1 LP_USED.
inline constexpr uint32_t kLpUnused = 0;
inline constexpr uint32_t kLpNormal = 1;
inline constexpr uint32_t kLpRedirect = 2;
inline constexpr uint32_t kLpDead = 3;

inline constexpr uint32_t LinePointerWord(uint32_t off, uint32_t len, uint32_t flags = kLpNormal) {
  return (off & 0x7FFFu) | ((flags & 3u) << 15) | ((len & 0x7FFFu) << 17);
}

// Physical properties of one column, as pg_attribute stores them.
struct ColumnSpec {
  int16_t attlen = -1;    // > 0 fixed, -1 varlena, -2 NUL-terminated string
  bool attbyval = false;
  char attalign = 'i';    // 'c', 's', 'i', 'd'
  char attstorage = 'x';  // 'p' keeps 8.3 values out of the 1-byte header form

  static ColumnSpec From(const CatalogColumnDesc& d) {
    return ColumnSpec{d.attlen, d.attbyval, d.attalign, d.attstorage};
  }
};
std::vector<ColumnSpec> ColumnsFrom(std::span<const CatalogColumnDesc> descs);

// How a variable-length value is stored.
enum class VarlenaForm {
  kAuto,        // 8.2: 4-byte; 8.3: 1-byte when the server would (total <= 127, storage not 'p')
  kLong,        // 4-byte header, plain
  kShort,       // 8.3 1-byte header (total size <= 127), never aligned
  kCompressed,  // 4-byte header with the compressed flag, raw-size word, pglz stream
  kExternal,    // TOAST pointer (8.2: 20-byte varattrib; 8.3: 0x01, 18, 16 unaligned bytes)
};

// A TOAST pointer's fields, written as given.
struct ExternalPointer {
  int32_t rawSize = 0;   // size of the original value (8.2: as the server stored it)
  int32_t extSize = 0;   // bytes stored in the chunks
  uint32_t valueId = 0;  // chunk_id
  uint32_t toastRelId = 0;
  bool compressed = false;  // 8.2: sets bit 30 of the header word; 8.3: ignored (extSize < rawSize - 4 says it)
};

// One column value of a tuple.
struct Value {
  enum class Kind { kNull, kFixed, kVarlena, kCString, kRaw };
  Kind kind = Kind::kNull;
  std::vector<uint8_t> bytes;  // kFixed: exactly attlen bytes; kVarlena: the payload
                               // (kCompressed: the uncompressed payload, or the stream
                               // when `streamGiven`); kCString: the text without NUL;
                               // kRaw: the stored bytes, header included
  VarlenaForm form = VarlenaForm::kAuto;
  ExternalPointer external;     // kExternal only
  bool streamGiven = false;     // kCompressed: `bytes` already is a pglz stream
  int32_t rawSize = 0;          // kCompressed with streamGiven: the raw-size word
  bool alignRaw = true;         // kRaw: align to the column's attalign first (zero padding)
};

Value Null();
Value Bool(bool v);
Value Char(uint8_t v);
Value Int16(int16_t v);
Value Int32(int32_t v);
Value Oid(uint32_t v);
Value Int64(int64_t v);
Value Float4(float v);
Value Float8(double v);
Value Name(std::string_view text);                 // 64 bytes, NUL padded (cut at 63)
Value Fixed(std::vector<uint8_t> bytes);            // any fixed-width stored form
Value Text(std::string_view text, VarlenaForm form = VarlenaForm::kAuto);
Value Varlena(std::vector<uint8_t> payload, VarlenaForm form = VarlenaForm::kAuto);
Value Compressed(std::vector<uint8_t> payload);     // our compressor makes the stream
Value CompressedStream(std::vector<uint8_t> stream, int32_t rawSize);
Value External(const ExternalPointer& pointer);
Value CString(std::string_view text);
Value Raw(std::vector<uint8_t> stored, bool align = true);

// Header fields of one tuple. The builder ORs kHasNull, kHasVarWidth,
// kHasExternal82 and the layout's OID bit into `infomask` as the values
// require, unless `autoFlags` is false.
struct TupleSpec {
  uint32_t xmin = 2;  // FrozenTransactionId
  uint32_t xmax = 0;
  uint32_t cmin = 0;  // 8.2 t_cmin / 8.3 t_cid
  uint32_t cmax = 0;  // 8.2 only (t_cmax / t_xvac)
  uint16_t infomask = kXminCommitted | kXmaxInvalid;
  uint16_t infomask2Flags = 0;  // 8.3: bits above the attribute count (HOT flags)
  int32_t natts = -1;           // stored attribute count; -1 = number of values
  bool hasOid = false;
  uint32_t oid = 0;
  int32_t hoff = -1;            // t_hoff override; -1 = computed (MAXALIGNed)
  bool autoFlags = true;
  // t_ctid; -1 = the tuple's own position (filled by the page builder).
  int64_t ctidBlock = -1;
  int32_t ctidItem = -1;
};

// The stored bytes of one tuple (header, bitmap, OID, aligned data).
// `values` may be shorter than `columns` (a row stored before columns were
// added): only the given values are written and counted in natts.
std::vector<uint8_t> EncodeTuple(Layout layout, const TupleSpec& tuple,
                                 std::span<const ColumnSpec> columns,
                                 std::span<const Value> values, const ServerBuild& build = {});

// Stored bytes of one variable-length value in the given layout (header
// included, no alignment padding).
std::vector<uint8_t> EncodeVarlena(Layout layout, const Value& value, char attstorage = 'x');

// pglz stream (no header words) that the server's decompressor reads back to
// `input`: control bytes, literals, 2- and 3-byte tags (offset 1..4095,
// length 3..273). Greedy matching.
std::vector<uint8_t> PglzCompress(std::span<const uint8_t> input);

// One heap page. Tuples are placed from the end of the page downward, each
// MAXALIGNed (the build's); line pointers grow from the header's end.
class PageBuilder {
 public:
  explicit PageBuilder(Layout layout, const ServerBuild& build = {});

  Layout layout() const { return layout_; }
  uint16_t HeaderSize() const { return layout_ == Layout::k82 ? 20 : 24; }
  uint16_t ItemCount() const;
  // Bytes still free between the line pointers and the lowest tuple.
  size_t FreeSpace() const;

  // Appends a tuple with a normal line pointer; the item number (0-based) or
  // -1 when it does not fit. `blockNumber` fills t_ctid when the tuple's ctidBlock is -1.
  int AddTuple(const TupleSpec& tuple, std::span<const ColumnSpec> columns,
               std::span<const Value> values, uint32_t blockNumber = 0);
  // Stores given tuple bytes with a normal line pointer of their length.
  int AddRawTuple(std::span<const uint8_t> bytes);
  // Appends a line pointer word exactly as given (nothing is stored).
  void AddLinePointer(uint32_t word);
  // Appends an all-zero (unused) line pointer.
  void AddUnusedLinePointer() { AddLinePointer(0); }

  // Header fields; pd_lower and pd_upper follow the items unless overridden.
  void SetLsn(uint64_t lsn) { lsn_ = lsn; }
  void SetPruneXid(uint32_t xid) { pruneXid_ = xid; }  // 8.3 only
  void OverrideLower(uint16_t lower) { lowerOverride_ = lower; hasLowerOverride_ = true; }
  void OverrideUpper(uint16_t upper) { upperOverride_ = upper; hasUpperOverride_ = true; }

  // The finished 8192 bytes (header written now).
  std::vector<uint8_t> Finish() const;

 private:
  Layout layout_;
  ServerBuild build_;
  std::array<uint8_t, kPageSize> page_{};
  std::vector<uint32_t> linePointers_;
  uint32_t upper_ = kPageSize;
  uint64_t lsn_ = 0;
  uint32_t pruneXid_ = 0;
  uint16_t lowerOverride_ = 0;
  uint16_t upperOverride_ = 0;
  bool hasLowerOverride_ = false;
  bool hasUpperOverride_ = false;
};

// A whole relation: rows fill pages in order, a new page starts when one is
// full. Pages can also be added raw (damaged or hand-made).
class RelationBuilder {
 public:
  RelationBuilder(Layout layout, std::vector<ColumnSpec> columns, const ServerBuild& build = {});

  // Appends a row; returns its (page, item).
  std::pair<uint32_t, int> AddRow(std::span<const Value> values, const TupleSpec& tuple = {});
  std::pair<uint32_t, int> AddRow(std::initializer_list<Value> values, const TupleSpec& tuple = {});
  // The page rows currently go to (started on demand).
  PageBuilder& CurrentPage();
  // Closes the current page; the next row starts a new one.
  void EndPage();
  // Appends finished page bytes (short or long input is cut or zero-filled to 8192).
  void AddPage(std::vector<uint8_t> page);

  size_t PageCount() const;
  // All pages concatenated (the current page included).
  std::vector<uint8_t> Bytes() const;
  // Writes `path`, then `path.1`, `path.2` ... every `pagesPerSegment` pages.
  bool WriteFile(const std::string& path, uint32_t pagesPerSegment = kPagesPerSegment) const;

 private:
  Layout layout_;
  ServerBuild build_;
  std::vector<ColumnSpec> columns_;
  std::vector<std::vector<uint8_t>> pages_;  // finished pages
  std::vector<PageBuilder> open_;            // zero or one open page
};

// Writes `pages` as pages firstPage, firstPage+1, ... of the relation at
// `path`, into the segment files they fall in (`path`, `path.1`, ...),
// creating and extending files sparsely. Existing bytes elsewhere are kept.
bool WritePagesAt(const std::string& path, uint64_t firstPage,
                  std::span<const std::vector<uint8_t>> pages,
                  uint32_t pagesPerSegment = kPagesPerSegment);

}  // namespace vesk::heapbuilder

namespace vesk::heapbuilder {

// Transaction status bits as pg_clog stores them.
inline constexpr uint8_t kXactInProgress = 0;
inline constexpr uint8_t kXactCommitted = 1;
inline constexpr uint8_t kXactAborted = 2;
inline constexpr uint8_t kXactSubCommitted = 3;

// Writes pg_clog segment files into `directory` (which must exist): each
// segment holding a listed transaction, from its first page to the page of
// the last one listed there, as a server leaves them; unlisted transactions
// read as in progress.
bool WriteClog(const std::string& directory, const std::vector<std::pair<uint32_t, uint8_t>>& statuses);
// The same for pg_subtrans: the parent of each listed sub-transaction.
bool WriteSubtrans(const std::string& directory, const std::vector<std::pair<uint32_t, uint32_t>>& parents);

}  // namespace vesk::heapbuilder
