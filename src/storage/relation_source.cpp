#include "storage/relation_source.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace vesk {

TableReader::Source::~Source() { Close(); }

bool TableReader::Source::Open(const std::string& path) {
  Close();
  path_ = path;
  nextSegment_ = 0;
  nextIndex_ = 0;
  inStep_ = false;
  opened_ = image != nullptr || Segment(0) != nullptr;
  return opened_;
}

void TableReader::Source::Close() {
  for (std::FILE* f : segments_) {
    if (f != nullptr) std::fclose(f);
  }
  segments_.clear();
  opened_ = false;
}

std::FILE* TableReader::Source::Segment(uint64_t number) {
  // Block numbers are 32-bit: a segment past the last block is no segment
  // (and would ask for a table of file pointers larger than memory).
  if (number > UINT32_MAX / std::max<uint32_t>(pagesPerSegment, 1)) return nullptr;
  const auto segment = static_cast<size_t>(number);
  if (segment < segments_.size() && segments_[segment] != nullptr) return segments_[segment];
  std::string name = segment == 0 ? path_ : path_ + "." + std::to_string(segment);
  std::FILE* f = std::fopen(name.c_str(), "rb");
  if (f == nullptr) return nullptr;
  if (segments_.size() <= segment) segments_.resize(segment + 1, nullptr);
  segments_[segment] = f;
  return f;
}

size_t TableReader::Source::ReadImage(uint64_t position, void* buffer, size_t size) const {
  if (position >= imageSize) return 0;
  auto n = static_cast<size_t>(std::min<uint64_t>(size, imageSize - position));
  std::memcpy(buffer, image + position, n);
  return n;
}

size_t TableReader::Source::NextPage(uint8_t* buffer, uint64_t* pageNumber) {
  if (!opened_) return 0;
  if (image != nullptr) {
    size_t n = ReadImage(nextIndex_ * kPageSize, buffer, kPageSize);
    *pageNumber = nextIndex_++;
    return n;
  }
  for (;;) {
    if (nextIndex_ >= pagesPerSegment) {
      ++nextSegment_;
      nextIndex_ = 0;
      inStep_ = false;
    }
    std::FILE* f = Segment(nextSegment_);
    if (f == nullptr) return 0;
    // Seek only when the stream may have moved (a new segment, ReadAt).
    size_t n = 0;
    if (inStep_ || fseeko(f, static_cast<off_t>(nextIndex_ * kPageSize), SEEK_SET) == 0) {
      n = std::fread(buffer, 1, kPageSize, f);
    }
    inStep_ = n == kPageSize;
    if (n == 0) {
      nextIndex_ = pagesPerSegment;  // this segment ends here
      continue;
    }
    *pageNumber = nextSegment_ * pagesPerSegment + nextIndex_;
    ++nextIndex_;
    return n;
  }
}

bool TableReader::Source::ReadAt(uint64_t position, void* buffer, size_t size) {
  if (!opened_) return false;
  inStep_ = false;
  auto* out = static_cast<uint8_t*>(buffer);
  if (image != nullptr) return ReadImage(position, out, size) == size;
  const uint64_t segmentBytes = static_cast<uint64_t>(pagesPerSegment) * kPageSize;
  while (size > 0) {
    std::FILE* f = Segment(position / segmentBytes);
    if (f == nullptr) return false;
    uint64_t within = position % segmentBytes;
    size_t chunk = static_cast<size_t>(std::min<uint64_t>(size, segmentBytes - within));
    if (fseeko(f, static_cast<off_t>(within), SEEK_SET) != 0 || std::fread(out, 1, chunk, f) != chunk) {
      return false;
    }
    out += chunk;
    position += chunk;
    size -= chunk;
  }
  return true;
}

}  // namespace vesk
