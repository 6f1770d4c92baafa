// One heap page: line pointers from the header's end, tuples from the end of
// the page downward, header fields written by Finish.
#include <cstring>
#include <stdexcept>

#include "heap_builder.h"

namespace vesk::heapbuilder {
namespace {

void Put16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }
void Put32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

}  // namespace

PageBuilder::PageBuilder(Layout layout, const ServerBuild& build) : layout_(layout), build_(build) {}

uint16_t PageBuilder::ItemCount() const { return static_cast<uint16_t>(linePointers_.size()); }

size_t PageBuilder::FreeSpace() const {
  size_t lower = HeaderSize() + 4 * linePointers_.size();
  return upper_ > lower ? upper_ - lower : 0;
}

int PageBuilder::AddTuple(const TupleSpec& tuple, std::span<const ColumnSpec> columns,
                          std::span<const Value> values, uint32_t blockNumber) {
  TupleSpec t = tuple;
  if (t.ctidBlock < 0) t.ctidBlock = blockNumber;
  if (t.ctidItem < 0) t.ctidItem = ItemCount() + 1;
  std::vector<uint8_t> bytes = EncodeTuple(layout_, t, columns, values, build_);
  return AddRawTuple(bytes);
}

int PageBuilder::AddRawTuple(std::span<const uint8_t> bytes) {
  if (bytes.size() > kPageSize - HeaderSize() - 4) throw std::invalid_argument("tuple larger than a page");
  const size_t stored = (bytes.size() + build_.maxAlign - 1) / build_.maxAlign * build_.maxAlign;
  if (FreeSpace() < stored + 4) return -1;
  upper_ -= static_cast<uint32_t>(stored);
  std::memcpy(page_.data() + upper_, bytes.data(), bytes.size());
  linePointers_.push_back(LinePointerWord(upper_, static_cast<uint32_t>(bytes.size())));
  return static_cast<int>(linePointers_.size()) - 1;
}

void PageBuilder::AddLinePointer(uint32_t word) { linePointers_.push_back(word); }

std::vector<uint8_t> PageBuilder::Finish() const {
  std::vector<uint8_t> page(page_.begin(), page_.end());
  uint8_t* p = page.data();
  const uint16_t header = HeaderSize();
  const uint16_t lower = hasLowerOverride_ ? lowerOverride_
                                           : static_cast<uint16_t>(header + 4 * linePointers_.size());
  const uint16_t upper = hasUpperOverride_ ? upperOverride_ : static_cast<uint16_t>(upper_);
  Put32(p + 0, static_cast<uint32_t>(lsn_ >> 32));
  Put32(p + 4, static_cast<uint32_t>(lsn_));
  if (layout_ == Layout::k82) {
    Put32(p + 8, 1);  // timeline
  } else {
    Put16(p + 8, 1);
    Put16(p + 10, 0);  // pd_flags
    Put32(p + 20, pruneXid_);
  }
  Put16(p + 12, lower);
  Put16(p + 14, upper);
  Put16(p + 16, static_cast<uint16_t>(kPageSize));  // no special space on heap pages
  Put16(p + 18, static_cast<uint16_t>(kPageSize | (layout_ == Layout::k82 ? 3 : 4)));
  for (size_t i = 0; i < linePointers_.size(); ++i) {
    size_t at = header + 4 * i;
    if (at + 4 <= kPageSize) Put32(p + at, linePointers_[i]);
  }
  return page;
}

}  // namespace vesk::heapbuilder
