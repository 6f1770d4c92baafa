// Helpers for the storage tests: a row handler that copies what it is handed
// (values point into the page buffer only while the handler runs), and the
// shared temporary directory and log capture.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "common/log_capture.h"
#include "common/temp_dir.h"
#include "heapbuilder/heap_builder.h"
#include "storage/table_reader.h"
#include "support/logger.h"
#include "support/recovery_run.h"

namespace vesk::storage_test {

namespace hb = vesk::heapbuilder;

using testing::LogCapture;
using testing::TempDir;

struct Cell {
  bool isnull = true;
  Datum datum = 0;
  int64_t position = -1;       // of a pass-by-reference value in the relation
  std::vector<uint8_t> bytes;  // its first bytes (up to 64, inside the page)
};

struct SeenRow {
  std::vector<Cell> cells;
  uint32_t oid = 0;
};

// Keeps every row; can stop the scan or throw after a given number of rows.
class Recorder : public pg_some_Table {
 public:
  TableReader* reader = nullptr;  // to turn value addresses into positions
  std::vector<SeenRow> rows;
  int stopAfter = -1;
  int throwAt = -1;

  int ProcessRow(const RowValues& values, uint32_t oid) override {
    if (throwAt >= 0 && static_cast<int>(calls_++) == throwAt) throw std::runtime_error("handler failed");
    SeenRow row;
    row.oid = oid;
    for (size_t i = 0; i < values.size(); ++i) row.cells.push_back(Capture(values[i], i));
    rows.push_back(std::move(row));
    if (stopAfter >= 0 && static_cast<int>(rows.size()) >= stopAfter) return kStopped;
    return 1;
  }

 private:
  Cell Capture(const AttrValue& v, size_t column) const {
    Cell c;
    c.isnull = v.isnull;
    c.datum = v.datum;
    if (reader == nullptr || v.datum == 0 || column >= reader->columns.size() ||
        reader->columns[column]->attbyval) {
      return c;
    }
    c.position = reader->PositionInRelation(DatumPointer(v.datum));
    if (c.position >= 0) {
      const size_t inPage = kPageSize - static_cast<size_t>(c.position % kPageSize);
      c.bytes.assign(DatumPointer(v.datum), DatumPointer(v.datum) + std::min<size_t>(64, inPage));
    }
    return c;
  }
  size_t calls_ = 0;
};

// Column descriptions owned by a test, in the reader's pointer list form.
class Columns {
 public:
  explicit Columns(std::vector<hb::ColumnSpec> specs) : specs_(std::move(specs)) {
    for (size_t i = 0; i < specs_.size(); ++i) {
      CatalogColumnDesc d;
      d.attnum = static_cast<int16_t>(i + 1);
      d.attlen = specs_[i].attlen;
      d.attbyval = specs_[i].attbyval;
      d.attalign = specs_[i].attalign;
      d.attstorage = specs_[i].attstorage;
      descs_.push_back(d);
    }
  }
  const std::vector<hb::ColumnSpec>& specs() const { return specs_; }
  CatalogColumnDesc& operator[](size_t i) { return descs_[i]; }
  void AttachTo(TableReader& reader) {
    reader.columns.clear();
    for (CatalogColumnDesc& d : descs_) reader.columns.push_back(&d);
  }

 private:
  std::vector<hb::ColumnSpec> specs_;
  std::vector<CatalogColumnDesc> descs_;
};

inline hb::ColumnSpec Int4Col() { return {4, true, 'i', 'p'}; }
inline hb::ColumnSpec Int2Col() { return {2, true, 's', 'p'}; }
inline hb::ColumnSpec CharCol() { return {1, true, 'c', 'p'}; }
inline hb::ColumnSpec Int8Col() { return {8, false, 'd', 'p'}; }
inline hb::ColumnSpec TextCol() { return {-1, false, 'i', 'x'}; }
inline hb::ColumnSpec NameCol() { return {64, false, 'i', 'p'}; }
inline hb::ColumnSpec CStringCol() { return {-2, false, 'c', 'p'}; }

// A reader of either layout over bytes in memory, with a recorder as owner.
struct ReaderUnderTest {
  ReaderUnderTest(hb::Layout layout, Columns& columns) {
    if (layout == hb::Layout::k82) {
      reader = std::make_unique<TableReader82>(&recorder);
    } else {
      reader = std::make_unique<TableReader83>(&recorder);
    }
    recorder.reader = reader.get();
    columns.AttachTo(*reader);
    reader->cacheRows = false;
  }
  int Read(const std::vector<uint8_t>& bytes) {
    image = bytes;
    reader->SetMemoryImage(image.data(), image.size());
    return reader->ReadTable();
  }
  Recorder recorder;
  std::unique_ptr<TableReader> reader;
  std::vector<uint8_t> image;
};

inline std::string LayoutName(hb::Layout layout) { return layout == hb::Layout::k82 ? "82" : "83"; }

inline std::string LayoutParamName(const ::testing::TestParamInfo<hb::Layout>& param) {
  return LayoutName(param.param);
}

inline std::string CellText(const Cell& c, hb::Layout layout) {
  // Payload of a plain varlena value (either header form).
  if (c.bytes.empty()) return {};
  size_t header = 4;
  size_t total = 0;
  if (layout == hb::Layout::k82) {
    uint32_t w;
    std::memcpy(&w, c.bytes.data(), 4);
    total = w & 0x3FFFFFFFu;
  } else if ((c.bytes[0] & 1) != 0) {
    header = 1;
    total = c.bytes[0] >> 1;
  } else {
    uint32_t w;
    std::memcpy(&w, c.bytes.data(), 4);
    total = w >> 2;
  }
  total = std::min(total, c.bytes.size());
  return total < header ? std::string() : std::string(c.bytes.begin() + static_cast<long>(header),
                                                      c.bytes.begin() + static_cast<long>(total));
}

}  // namespace vesk::storage_test
