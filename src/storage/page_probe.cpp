#include "storage/page_probe.h"

#include <cstdio>
#include <vector>

#include "storage/byte_order.h"
#include "storage/table_reader.h"

namespace vesk {
namespace {

constexpr uint16_t kHasNull = 0x0001;

struct TupleHeaderShape {
  uint32_t pageHeader;  // where line pointers begin
  uint32_t bitsAt;      // offsetof(t_bits): the unpadded header length
  uint32_t nattsAt;
  uint16_t nattsMask;
  uint32_t infomaskAt;
  uint16_t hasOid;
  uint32_t hoffAt;
};
constexpr TupleHeaderShape kShape82{20, 27, 22, 0xFFFF, 24, 0x0010, 26};
constexpr TupleHeaderShape kShape83{24, 23, 18, 0x07FF, 20, 0x0008, 22};

uint32_t AlignUp(uint32_t v, uint32_t a) { return (v + a - 1) / a * a; }

// One vote per tuple whose padding differs between the two alignments.
void VoteOnTuple(const uint8_t* tuple, const TupleHeaderShape& s, PageProbe& probe) {
  const uint16_t infomask = LoadU16(tuple + s.infomaskAt);
  const uint32_t natts = LoadU16(tuple + s.nattsAt) & s.nattsMask;
  uint32_t raw = s.bitsAt;
  if (infomask & kHasNull) raw += (natts + 7) / 8;
  if (infomask & s.hasOid) raw += 4;
  const uint32_t by4 = AlignUp(raw, 4);
  const uint32_t by8 = AlignUp(raw, 8);
  if (by4 == by8) return;
  const uint8_t hoff = tuple[s.hoffAt];
  if (hoff == by4) ++probe.align4;
  if (hoff == by8) ++probe.align8;
}

void VoteOnPage(const uint8_t* page, const TupleHeaderShape& s, PageProbe& probe) {
  const uint32_t lower = LoadU16(page + 12);
  if (lower < s.pageHeader || lower > kPageSize) return;
  for (uint32_t at = s.pageHeader; at + 4 <= lower; at += 4) {
    const uint32_t word = LoadU32(page + at);
    const uint32_t off = word & 0x7FFF;
    const uint32_t len = word >> 17;
    // Used (8.2) or normal (8.3) items carry a tuple.
    if (((word >> 15) & 1) == 0 || len < s.bitsAt || off < s.pageHeader || off + len > kPageSize) continue;
    VoteOnTuple(page + off, s, probe);
  }
}

void ProbePage(const uint8_t* page, PageProbe& probe) {
  const uint16_t word = LoadU16(page + 18);
  if (word == 0) return;  // a new, never initialised page
  ++probe.pages;
  const uint32_t size = word & 0xFF00u;
  const uint32_t layout = word & 0x00FFu;
  const uint16_t swapped = static_cast<uint16_t>((word >> 8) | (word << 8));
  const uint32_t swappedLayout = swapped & 0x00FFu;
  // Servers write a power-of-two block size of 1 to 32 KiB and a layout
  // version of at most 4 (0 before 7.3); anything else is no server's mark.
  const bool blockSize = size >= 0x0400 && size <= 0x8000 && (size & (size - 1)) == 0;
  if ((swapped & 0xFF00u) == kPageSize && (swappedLayout == 3 || swappedLayout == 4)) {
    ++probe.byteSwapped;
  } else if (!blockSize || layout > 4) {
    ++probe.garbled;
  } else if (size != kPageSize) {
    ++probe.otherSize;
    probe.lastOtherSize = size;
  } else if (layout == 3) {
    ++probe.layout3;
    VoteOnPage(page, kShape82, probe);
  } else if (layout == 4) {
    ++probe.layout4;
    VoteOnPage(page, kShape83, probe);
  } else {
    ++probe.otherLayout;
    probe.lastOtherLayout = layout;
  }
}

}  // namespace

void ProbePages(const uint8_t* bytes, size_t size, PageProbe& probe) {
  for (size_t at = 0; at + kPageSize <= size; at += kPageSize) ProbePage(bytes + at, probe);
}

void ProbeRelationFile(const std::string& path, uint32_t maxPages, PageProbe& probe) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return;
  std::vector<uint8_t> page(kPageSize);
  for (uint32_t i = 0; i < maxPages && std::fread(page.data(), 1, kPageSize, f) == kPageSize; ++i) {
    ProbePage(page.data(), probe);
  }
  std::fclose(f);
}

}  // namespace vesk
