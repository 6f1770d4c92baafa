// Rows into pages in order, and pages into segment files.
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "heap_builder.h"

namespace vesk::heapbuilder {
namespace {

std::string SegmentPath(const std::string& path, uint64_t segment) {
  return segment == 0 ? path : path + "." + std::to_string(segment);
}

bool WriteWhole(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

RelationBuilder::RelationBuilder(Layout layout, std::vector<ColumnSpec> columns, const ServerBuild& build)
    : layout_(layout), build_(build), columns_(std::move(columns)) {}

PageBuilder& RelationBuilder::CurrentPage() {
  if (open_.empty()) open_.emplace_back(layout_, build_);
  return open_.front();
}

void RelationBuilder::EndPage() {
  if (open_.empty()) return;
  pages_.push_back(open_.front().Finish());
  open_.clear();
}

void RelationBuilder::AddPage(std::vector<uint8_t> page) {
  EndPage();
  page.resize(kPageSize, 0);
  pages_.push_back(std::move(page));
}

std::pair<uint32_t, int> RelationBuilder::AddRow(std::span<const Value> values, const TupleSpec& tuple) {
  auto block = static_cast<uint32_t>(pages_.size());
  int item = CurrentPage().AddTuple(tuple, columns_, values, block);
  if (item < 0) {
    EndPage();
    block = static_cast<uint32_t>(pages_.size());
    item = CurrentPage().AddTuple(tuple, columns_, values, block);
    if (item < 0) throw std::invalid_argument("row does not fit in an empty page");
  }
  return {block, item};
}

std::pair<uint32_t, int> RelationBuilder::AddRow(std::initializer_list<Value> values, const TupleSpec& tuple) {
  return AddRow(std::span<const Value>(values.begin(), values.size()), tuple);
}

size_t RelationBuilder::PageCount() const { return pages_.size() + open_.size(); }

std::vector<uint8_t> RelationBuilder::Bytes() const {
  std::vector<uint8_t> out;
  out.reserve(PageCount() * kPageSize);
  for (const auto& page : pages_) out.insert(out.end(), page.begin(), page.end());
  for (const auto& open : open_) {
    std::vector<uint8_t> page = open.Finish();
    out.insert(out.end(), page.begin(), page.end());
  }
  return out;
}

bool RelationBuilder::WriteFile(const std::string& path, uint32_t pagesPerSegment) const {
  if (pagesPerSegment == 0) throw std::invalid_argument("segment size 0");
  const std::vector<uint8_t> all = Bytes();
  const size_t segmentBytes = static_cast<size_t>(pagesPerSegment) * kPageSize;
  uint64_t segment = 0;
  size_t at = 0;
  do {
    size_t n = std::min(segmentBytes, all.size() - at);
    std::vector<uint8_t> part(all.begin() + static_cast<std::ptrdiff_t>(at),
                              all.begin() + static_cast<std::ptrdiff_t>(at + n));
    if (!WriteWhole(SegmentPath(path, segment), part)) return false;
    at += n;
    ++segment;
  } while (at < all.size());
  return true;
}

bool WritePagesAt(const std::string& path, uint64_t firstPage,
                  std::span<const std::vector<uint8_t>> pages, uint32_t pagesPerSegment) {
  if (pagesPerSegment == 0) throw std::invalid_argument("segment size 0");
  const uint64_t segmentBytes = static_cast<uint64_t>(pagesPerSegment) * kPageSize;
  std::error_code ec;
  for (size_t k = 0; k < pages.size(); ++k) {
    const uint64_t pageNo = firstPage + k;
    const uint64_t segment = pageNo / pagesPerSegment;
    // Every earlier segment is full size, as a server leaves them.
    for (uint64_t s = 0; s < segment; ++s) {
      std::string earlier = SegmentPath(path, s);
      if (!std::filesystem::exists(earlier) && !WriteWhole(earlier, {})) return false;
      if (std::filesystem::file_size(earlier, ec) < segmentBytes) {
        std::filesystem::resize_file(earlier, segmentBytes, ec);
        if (ec) return false;
      }
    }
    std::string file = SegmentPath(path, segment);
    if (!std::filesystem::exists(file) && !WriteWhole(file, {})) return false;
    std::FILE* f = std::fopen(file.c_str(), "r+b");
    if (f == nullptr) return false;
    std::vector<uint8_t> page = pages[k];
    page.resize(kPageSize, 0);
    bool ok = fseeko(f, static_cast<off_t>((pageNo % pagesPerSegment) * kPageSize), SEEK_SET) == 0 &&
              std::fwrite(page.data(), 1, kPageSize, f) == kPageSize;
    if (std::fclose(f) != 0 || !ok) return false;
  }
  return true;
}

}  // namespace vesk::heapbuilder
