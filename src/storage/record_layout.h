// Where the two tuple layouts keep the header fields the decoder reads.
#pragma once

#include <cstdint>

#include "storage/table_reader.h"

namespace vesk {

struct TableReader::RecordLayout {
  uint32_t headerSize;  // fixed part; the null bitmap follows
  uint32_t xmaxAt;
  uint32_t nattsAt;
  uint16_t nattsMask;
  uint32_t infomaskAt;
  uint32_t hoffAt;
  uint16_t oidBit;
  bool is83;  // 1-byte varlena headers, unaligned TOAST pointers
  const char* wrongOffset;
  const char* wrongLength;
  uint32_t xminAt;
  uint32_t xvacAt;  // t_xvac shares its place with a command id
  uint32_t ctidAt;  // t_ctid: block number as two 16-bit halves, then the item
};

inline constexpr TableReader::RecordLayout kRecordLayout82{
    27, 8, 22, 0xFFFF, 24, 26, 0x0010, false,
    "1 Wrong offset for attr (%i), stopping read record!",
    "2 Wrong length for attr (%i), stopping read record!",
    0, 12, 16};

inline constexpr TableReader::RecordLayout kRecordLayout83{
    23, 4, 18, 0x07FF, 20, 22, 0x0008, true,
    "3 Wrong offset for attr (%i), stopping read record!",
    "4 Wrong length for attr (%i), stopping read record!",
    0, 8, 12};

// t_infomask bits the decoder itself reads (the visibility bits are with
// the visibility rules).
inline constexpr uint16_t kInfoHasNull = 0x0001;
// Set on the version an UPDATE wrote (the newer one), in both layouts.
inline constexpr uint16_t kInfoUpdated = 0x2000;

}  // namespace vesk
