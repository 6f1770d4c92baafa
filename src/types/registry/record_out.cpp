#include "types/registry/record_out.h"

#include <cstring>
#include <vector>

#include "catalog/catalog_readers.h"
#include "storage/tuple_values.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/scratch.h"
#include "types/array/element_text.h"
#include "types/geometric/output_guard.h"
#include "types/registry/nesting_guard.h"
#include "types/toast/toast.h"
#include "types/toast/varlena.h"

namespace vesk {
namespace {

// A row type cannot contain itself, but a damaged catalog can say it does;
// real nesting is a level or two.
constexpr int kMaxNesting = 8;
thread_local int nesting = 0;

// The value's plain bytes copied into a block with zero bytes behind them,
// which the attribute walk may read while it checks a length.
class TupleCopy {
 public:
  TupleCopy(const uint8_t* stored, uint8_t version) {
    const uint8_t* plain = version == 83 ? ExpandShortVarlena(stored) : pg_detoast_datum(stored);
    if (plain == nullptr) return;
    const uint32_t size = version == 83 ? VarSize83(plain) : VarSize82(plain);
    if (size >= 4 && size <= kScratchMaxBlock - kTupleSpare) {
      bytes_ = static_cast<uint8_t*>(ScratchAlloc(size + kTupleSpare));
      std::memcpy(bytes_, plain, size);
      std::memset(bytes_ + size, 0, kTupleSpare);
      size_ = size;
    }
    if (plain != stored) ScratchFree(plain);
  }
  ~TupleCopy() { ScratchFree(bytes_); }
  TupleCopy(const TupleCopy&) = delete;
  TupleCopy& operator=(const TupleCopy&) = delete;

  const uint8_t* bytes() const { return bytes_; }
  uint32_t size() const { return size_; }

 private:
  uint8_t* bytes_ = nullptr;
  uint32_t size_ = 0;
};

bool NeedsQuotes(const char* text) {
  if (*text == '\0') return true;
  for (const char* p = text; *p != '\0'; ++p) {
    switch (*p) {
      case '"': case '\\': case '(': case ')': case ',':
      case ' ': case '\t': case '\n': case '\v': case '\f': case '\r':
        return true;
      default:
        break;
    }
  }
  return false;
}

// The field's text appended to `out`; false when it cannot be printed.
bool AppendField(std::string& out, uint8_t version, const CatalogColumnDesc& column, Datum d) {
  char* text = NestedValueText(version, column.atttypid, d, column.atttypmod);
  if (text == kNullElementText) return true;  // an empty field is NULL
  if (text == nullptr) {
    LogValue("Cant print field of row value, return NULL:", column.attname);
    return false;
  }
  AppendRecordField(out, text);
  ScratchFree(text);
  return true;
}

char* RecordText(uint8_t version, const TypeRecord& type, Datum d) {
  if (nesting >= kMaxNesting) {
    Log("Row value nested too deep, return NULL");
    return nullptr;
  }
  NestingGuard scope(nesting);
  pg_attribute_Table* attributes = Run().attributes;
  if (attributes == nullptr) return nullptr;
  const pg_attribute_Table::RowTypeColumns& row = attributes->ColumnsOfRowType(type.typrelid);
  if (row.columns.empty() || row.columnLimit >= 0) {
    LogNumber("Cant find all columns of row type, return NULL. Oid", static_cast<int>(type.oid));
    return nullptr;
  }
  TupleCopy tuple(DatumPointer(d), version);
  RowValues values;
  if (tuple.bytes() == nullptr ||
      !DecodeTupleValues(version == 83, tuple.bytes(), tuple.size(), row.columns, -1, values) ||
      values.size() < row.columns.size()) {
    LogNumber("Damaged row value, return NULL. Type Oid", static_cast<int>(type.oid));
    return nullptr;
  }
  std::string out = "(";
  bool first = true;
  for (size_t i = 0; i < row.columns.size(); ++i) {
    const CatalogColumnDesc& column = *row.columns[i];
    if (column.attisdropped) continue;
    if (!first) out += ',';
    first = false;
    if (values[i].isnull) continue;
    if (!AppendField(out, version, column, values[i].datum)) return nullptr;
  }
  out += ')';
  return ScratchDup(out.c_str());
}

}  // namespace

void AppendRecordField(std::string& out, const char* text) {
  const bool quote = NeedsQuotes(text);
  if (quote) out += '"';
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '"' || *p == '\\') out += *p;
    out += *p;
  }
  if (quote) out += '"';
}

char* record_out(uint8_t version, const TypeRecord& type, Datum d) {
  if (!d) return nullptr;
  return GuardedOutput([&] { return RecordText(version, type, d); });
}

}  // namespace vesk
