#include "storage/tuple_check.h"

#include "storage/byte_order.h"
#include "storage/row_visibility.h"

namespace vesk {
namespace {

constexpr uint16_t kMovedOff = 0x4000;
constexpr uint16_t kMovedIn = 0x8000;
// t_infomask bit that neither layout assigns: 8.2 left 0x0020 free, 8.3
// moved the OID bit down to 0x0008 and left 0x0010 free.
constexpr uint16_t kUnusedBit82 = 0x0020;
constexpr uint16_t kUnusedBit83 = 0x0010;
// t_infomask2 of 8.3: attribute count below 0x0800, HOT flags from 0x4000.
constexpr uint16_t kUnusedInfomask2 = 0x3800;

bool Both(uint16_t mask, uint16_t a, uint16_t b) { return (mask & a) != 0 && (mask & b) != 0; }

uint32_t AlignUp(uint32_t n, uint32_t to) { return (n + to - 1) & ~(to - 1); }

}  // namespace

const char* TupleFlagProblem(const TableReader::RecordLayout& layout, const uint8_t* record) {
  const uint16_t infomask = LoadU16(record + layout.infomaskAt);
  if (Both(infomask, kInfoXminCommitted, kInfoXminInvalid)) return "inserter both committed and aborted";
  if (Both(infomask, kInfoXmaxCommitted, kInfoXmaxInvalid)) return "deleter both committed and invalid";
  if (Both(infomask, kMovedOff, kMovedIn)) return "moved both off and in";
  if ((infomask & (layout.is83 ? kUnusedBit83 : kUnusedBit82)) != 0) return "unassigned header flag";
  if (layout.is83 && (LoadU16(record + layout.nattsAt) & kUnusedInfomask2) != 0) return "unassigned header flag";
  return nullptr;
}

const char* TupleHeaderLengthProblem(const TableReader::RecordLayout& layout, const uint8_t* record) {
  const uint16_t infomask = LoadU16(record + layout.infomaskAt);
  const uint32_t natts = LoadU16(record + layout.nattsAt) & layout.nattsMask;
  uint32_t length = layout.headerSize;
  if ((infomask & kInfoHasNull) != 0) length += (natts + 7) / 8;
  if ((infomask & layout.oidBit) != 0) length += 4;
  const uint32_t hoff = record[layout.hoffAt];
  // The server's own MAXALIGN is the run's setting, but the header is also
  // what tells a 32-bit server's files apart: either rounding is a server's.
  if (hoff != AlignUp(length, 4) && hoff != AlignUp(length, 8)) return "header length does not fit its null bitmap";
  return nullptr;
}

}  // namespace vesk
