// Record decoders of both layouts on arbitrary pages: byte 0 picks the
// layout (bit 0) and the column count, the next kMaxColumns bytes the column
// kinds, and the rest are the relation's pages. Every value handed to the
// row handler is read in full, so a value reaching outside the page buffer
// trips the address sanitizer.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "column_menu.h"
#include "fuzz_input.h"
#include "storage/row_handler.h"
#include "storage/table_reader.h"
#include <memory>

namespace {

using namespace vesk;

// Reads every byte each value claims, by the same rules the decoder sized it.
class TouchingHandler : public pg_some_Table {
 public:
  explicit TouchingHandler(const std::vector<CatalogColumnDesc>& columns, bool is83)
      : columns_(columns), is83_(is83) {}
  int ProcessRow(const RowValues& values, uint32_t) override {
    for (size_t i = 0; i < values.size() && i < columns_.size(); ++i) {
      const AttrValue& v = values[i];
      if (v.isnull || columns_[i].attbyval || v.datum == 0) continue;
      const uint8_t* p = DatumPointer(v.datum);
      size_t n = Size(columns_[i], p);
      for (size_t k = 0; k < n; ++k) sum_ += p[k];
    }
    return 1;
  }
  unsigned sum_ = 0;

 private:
  size_t Size(const CatalogColumnDesc& d, const uint8_t* p) const {
    if (d.attlen > 0) return static_cast<size_t>(d.attlen);
    if (d.attlen == -2) {
      size_t n = 0;
      while (p[n] != 0) ++n;
      return n + 1;
    }
    uint32_t w = static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24));
    if (!is83_) return w & 0x3FFFFFFFu;
    if (p[0] == 0x01) return p[1];
    if (p[0] & 1) return p[0] >> 1;
    return w >> 2;
  }
  const std::vector<CatalogColumnDesc>& columns_;
  bool is83_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput in(data, size);
  const uint8_t flags = in.Byte();
  const bool is83 = (flags & 1) != 0;
  const size_t ncols = 1 + (flags >> 1) % fuzz::kMaxColumns;
  std::vector<CatalogColumnDesc> columns;
  for (int i = 0; i < fuzz::kMaxColumns; ++i) {
    uint8_t kind = in.Byte();
    if (columns.size() < ncols) columns.push_back(fuzz::ColumnOfKind(kind));
  }
  std::vector<uint8_t> pages = in.Rest();
  if (pages.empty() || pages.size() > 4 * kPageSize) return 0;

  TouchingHandler handler(columns, is83);
  std::unique_ptr<TableReader> reader;
  if (is83) {
    reader = std::make_unique<TableReader83>(&handler);
  } else {
    reader = std::make_unique<TableReader82>(&handler);
  }
  for (CatalogColumnDesc& d : columns) reader->columns.push_back(&d);
  reader->cacheRows = (flags & 0x80) != 0;
  reader->SetMemoryImage(pages.data(), pages.size());
  reader->ReadTable();
  return 0;
}
