// pg_clog and pg_subtrans files: 8192-byte pages, 32 to a segment file named
// by its number in four upper-case hex digits.
#include <cstdio>
#include <fstream>
#include <map>

#include "heap_builder.h"

namespace vesk::heapbuilder {
namespace {

constexpr uint32_t kSlruPage = 8192;
constexpr uint32_t kSlruPagesPerSegment = 32;

// Segment number -> its bytes, each grown to whole pages as entries land.
using Segments = std::map<uint32_t, std::vector<uint8_t>>;

std::vector<uint8_t>& Reach(Segments& segments, uint64_t byteInLog) {
  const uint64_t segmentBytes = uint64_t{kSlruPage} * kSlruPagesPerSegment;
  std::vector<uint8_t>& bytes = segments[static_cast<uint32_t>(byteInLog / segmentBytes)];
  const uint64_t pageEnd = (byteInLog % segmentBytes / kSlruPage + 1) * kSlruPage;
  if (bytes.size() < pageEnd) bytes.resize(pageEnd, 0);
  return bytes;
}

bool WriteSegments(const std::string& directory, const Segments& segments) {
  for (const auto& [number, bytes] : segments) {
    char name[8];
    std::snprintf(name, sizeof name, "%04X", number);
    std::ofstream out(directory + "/" + name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) return false;
  }
  return true;
}

}  // namespace

bool WriteClog(const std::string& directory, const std::vector<std::pair<uint32_t, uint8_t>>& statuses) {
  Segments segments;
  const uint64_t segmentBytes = uint64_t{kSlruPage} * kSlruPagesPerSegment;
  for (const auto& [xid, status] : statuses) {
    const uint64_t at = xid / 4;
    std::vector<uint8_t>& bytes = Reach(segments, at);
    const unsigned shift = (xid % 4) * 2;
    uint8_t& byte = bytes[at % segmentBytes];
    byte = static_cast<uint8_t>((byte & ~(3u << shift)) | ((status & 3u) << shift));
  }
  return WriteSegments(directory, segments);
}

bool WriteSubtrans(const std::string& directory, const std::vector<std::pair<uint32_t, uint32_t>>& parents) {
  Segments segments;
  const uint64_t segmentBytes = uint64_t{kSlruPage} * kSlruPagesPerSegment;
  for (const auto& [xid, parent] : parents) {
    const uint64_t at = uint64_t{xid} * 4;
    std::vector<uint8_t>& bytes = Reach(segments, at);
    for (unsigned i = 0; i < 4; ++i) bytes[at % segmentBytes + i] = static_cast<uint8_t>(parent >> (8 * i));
  }
  return WriteSegments(directory, segments);
}

}  // namespace vesk::heapbuilder
