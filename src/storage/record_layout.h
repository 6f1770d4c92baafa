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
};

inline constexpr TableReader::RecordLayout kRecordLayout82{
    27, 8, 22, 0xFFFF, 24, 26, 0x0010, false,
    "1 Wrong offset for attr (%i), stopping read record!",
    "2 Wrong length for attr (%i), stopping read record!"};

inline constexpr TableReader::RecordLayout kRecordLayout83{
    23, 4, 18, 0x07FF, 20, 22, 0x0008, true,
    "3 Wrong offset for attr (%i), stopping read record!",
    "4 Wrong length for attr (%i), stopping read record!"};

// t_infomask bits, the same in both layouts.
inline constexpr uint16_t kInfoHasNull = 0x0001;
inline constexpr uint16_t kInfoXmaxLockOnly = 0x0040 | 0x0080;  // exclusive or shared row lock
inline constexpr uint16_t kInfoXminInvalid = 0x0200;
inline constexpr uint16_t kInfoXmaxInvalid = 0x0800;

}  // namespace vesk
