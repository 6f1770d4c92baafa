// What the first pages of a relation file say about the server that wrote
// them, read from page and tuple headers alone (no catalog needed): the
// layout version in pd_pagesize_version, the page size, the byte order, and
// the tuple-header padding (t_hoff), which the server rounds up to its
// MAXALIGN.
#pragma once

#include <cstdint>
#include <string>

namespace vesk {

struct PageProbe {
  uint32_t pages = 0;          // pages with a non-zero header read
  uint32_t layout3 = 0;        // pages marked with layout version 3 (8.1, 8.2)
  uint32_t layout4 = 0;        // pages marked 4 (8.3)
  uint32_t otherLayout = 0;    // pages marked with another server version (0..2), of 8192 bytes
  uint32_t lastOtherLayout = 0;
  uint32_t otherSize = 0;      // pages of another server's block size (1 to 32 KiB)
  uint32_t lastOtherSize = 0;
  uint32_t byteSwapped = 0;    // headers that read right only byte-swapped
  uint32_t garbled = 0;        // marks no server of any version writes
  uint32_t align4 = 0;         // tuple headers padded as a 4-byte MAXALIGN pads them
  uint32_t align8 = 0;         // ... as an 8-byte one does
};

// Adds the evidence of up to `maxPages` pages of the file at `path` (its
// first segment) to `probe`. A missing or short file adds nothing.
void ProbeRelationFile(const std::string& path, uint32_t maxPages, PageProbe& probe);

// The same for pages already in memory (`size` bytes, whole pages only).
void ProbePages(const uint8_t* bytes, size_t size, PageProbe& probe);

}  // namespace vesk
