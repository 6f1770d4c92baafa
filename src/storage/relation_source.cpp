#include "storage/relation_source.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace vesk {
namespace {

// 128 KiB: few enough system calls, and little memory per open relation.
constexpr uint64_t kReadAheadPages = 16;

}  // namespace

TableReader::Source::~Source() { Close(); }

bool TableReader::Source::Open(const std::string& path) {
  Close();
  path_ = path;
  nextSegment_ = 0;
  nextIndex_ = 0;
  opened_ = image != nullptr || Segment(0) != nullptr;
  return opened_;
}

void TableReader::Source::Close() {
  EndScan();
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
    }
    const bool inChunk = current_.pages != 0 && current_.segment == nextSegment_ &&
                         nextIndex_ >= current_.firstIndex && nextIndex_ < current_.firstIndex + current_.pages;
    if (!inChunk && !LoadChunk(nextSegment_, nextIndex_)) {
      EndScan();
      return 0;
    }
    const uint64_t at = (nextIndex_ - current_.firstIndex) * kPageSize;
    if (at >= current_.size) {
      nextIndex_ = pagesPerSegment;  // this segment ends here
      continue;
    }
    const auto n = static_cast<size_t>(std::min<uint64_t>(kPageSize, current_.size - at));
    std::memcpy(buffer, current_.bytes.data() + at, n);
    *pageNumber = nextSegment_ * pagesPerSegment + nextIndex_;
    ++nextIndex_;
    return n;
  }
}

void TableReader::Source::ReadChunk(void* chunk) {
  auto* c = static_cast<Chunk*>(chunk);
  c->size = 0;
  if (fseeko(c->file, static_cast<off_t>(c->firstIndex * kPageSize), SEEK_SET) == 0) {
    c->size = std::fread(c->bytes.data(), 1, static_cast<size_t>(c->pages) * kPageSize, c->file);
  }
}

bool TableReader::Source::LoadChunk(uint64_t segment, uint64_t index) {
  std::FILE* f = Segment(segment);
  if (f == nullptr) return false;
  FinishReadAhead();
  if (ahead_.pages != 0 && ahead_.segment == segment && ahead_.firstIndex == index) {
    std::swap(current_, ahead_);
  } else {
    current_.file = f;
    current_.segment = segment;
    current_.firstIndex = index;
    current_.pages = std::min<uint64_t>(kReadAheadPages, pagesPerSegment - index);
    current_.bytes.resize(static_cast<size_t>(current_.pages) * kPageSize);
    ReadChunk(&current_);
  }
  ahead_.pages = 0;
  // A short chunk ended its segment: nothing of this file is left to read.
  if (current_.size == current_.pages * kPageSize) StartReadAhead();
  return true;
}

void TableReader::Source::StartReadAhead() {
  const uint64_t next = current_.firstIndex + current_.pages;
  if (next >= pagesPerSegment) return;
  if (reader_ == nullptr) reader_ = std::make_unique<platform::Worker>();
  ahead_.file = current_.file;
  ahead_.segment = current_.segment;
  ahead_.firstIndex = next;
  ahead_.pages = std::min<uint64_t>(kReadAheadPages, pagesPerSegment - next);
  ahead_.bytes.resize(static_cast<size_t>(ahead_.pages) * kPageSize);
  aheadInFlight_ = true;
  reader_->Post(ReadChunk, &ahead_);
}

void TableReader::Source::EndScan() {
  // Readers of the catalogs and of TOAST relations stay open for a whole run:
  // between scans they keep neither a thread nor chunk memory.
  FinishReadAhead();
  reader_.reset();
  current_ = Chunk{};
  ahead_ = Chunk{};
}

void TableReader::Source::FinishReadAhead() {
  if (!aheadInFlight_) return;
  reader_->Wait();
  aheadInFlight_ = false;
}

bool TableReader::Source::ReadAt(uint64_t position, void* buffer, size_t size) {
  if (!opened_) return false;
  FinishReadAhead();
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
