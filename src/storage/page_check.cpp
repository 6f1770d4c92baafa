#include "storage/page_check.h"

#include <cstring>

#include "storage/byte_order.h"
#include "storage/table_reader.h"

namespace vesk {
namespace {

// Low byte of pd_pagesize_version: the page layout version of each server.
constexpr uint32_t kLayoutVersion82 = 3;
constexpr uint32_t kLayoutVersion83 = 4;
// pd_flags bits an 8.3 server sets (PD_HAS_FREE_LINES, PD_PAGE_FULL).
constexpr uint16_t kValidFlags83 = 0x0003;
// What a sequence keeps in its page's special space (MAXALIGN'd: 8 bytes on
// 64-bit servers, 4 on 32-bit ones).
constexpr uint32_t kSequenceMagic = 0x1717;

bool HoldsSequenceMagic(const uint8_t* page, uint32_t special) {
  return (special == kPageSize - 8 || special == kPageSize - 4) && LoadU32(page + special) == kSequenceMagic;
}

}  // namespace

bool IsZeroPage(const uint8_t* page) {
  static const uint8_t zeros[kPageSize] = {};
  return std::memcmp(page, zeros, kPageSize) == 0;
}

const char* PageHeaderProblem(const uint8_t* page, uint32_t headerSize, bool sequencePage) {
  const bool is83 = headerSize == 24;
  const uint32_t sizeVersion = LoadU16(page + 18);
  if ((sizeVersion & 0xFF00u) != kPageSize) return "page size is not 8192";
  if ((sizeVersion & 0xFFu) != (is83 ? kLayoutVersion83 : kLayoutVersion82)) {
    return "page layout version is not this server's";
  }
  const uint32_t lower = LoadU16(page + 12);
  const uint32_t upper = LoadU16(page + 14);
  const uint32_t special = LoadU16(page + 16);
  if (lower < headerSize || lower > upper || upper > special || special > kPageSize) {
    return "pd_lower, pd_upper and pd_special out of order";
  }
  if (sequencePage) {
    if (!HoldsSequenceMagic(page, special)) return "no sequence magic in the special space";
  } else if (special != kPageSize) {
    return "special space on a heap page";
  }
  if ((lower - headerSize) % 4 != 0) return "pd_lower inside a line pointer";
  if (is83 && (LoadU16(page + 10) & ~kValidFlags83) != 0) return "unknown page flags";
  return nullptr;
}

const char* ItemProblem(uint32_t offset, uint32_t length, uint32_t upper, uint32_t special) {
  // Tuples are placed at MAXALIGN boundaries, 4 at the least.
  if (offset % 4 != 0) return "item offset not aligned";
  if (offset < upper || offset + length > special) return "item outside the tuple space";
  return nullptr;
}

}  // namespace vesk
