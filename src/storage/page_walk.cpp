// The line-pointer walk shared by both layouts.
//
// Pruning and VACUUM leave unused (all-zero) line pointers anywhere in the
// array, also in the first slot, so when the header's pd_lower is plausible
// every slot up to it is visited. Only a page whose pd_lower cannot be right
// falls back to ending at the first zero word (and skipping the page when
// the first word is zero), which is also what keeps a page of the other
// layout from looking like a full one.
#include <cstring>

#include "storage/byte_order.h"
#include "storage/relation_source.h"
#include "storage/table_reader.h"
#include "support/logger.h"
#include "support/recovery_run.h"

namespace vesk {

int TableReader::WalkPage(const uint8_t* page, uint32_t headerSize, bool is82) {
  // A page handed in from outside gets the zero spare bytes the decoder
  // relies on; the scan's own buffer already has them.
  if (page != source_->scanBuffer) {
    std::vector<uint8_t>& copy = source_->copiedPage;
    copy.assign(kPageSize + kPageSpare, 0);
    std::memcpy(copy.data(), page, kPageSize);
    page = copy.data();
  }
  currentPage_ = page;
  const uint32_t lower = LoadU16(page + 12);
  const bool lowerPlausible = lower >= headerSize && lower <= kPageSize;
  if (!lowerPlausible && LoadU32(page + headerSize) == 0) return 0;
  const uint32_t end = lowerPlausible ? lower : kPageSize;
  for (uint32_t at = headerSize; at + 4 <= end; at += 4) {
    if (is82 && StopRequested()) return kStopped;
    const uint32_t word = LoadU32(page + at);
    if (word == 0) {
      if (lowerPlausible) continue;
      return 0;
    }
    const uint32_t len = word >> 17;
    if (len == 0) continue;
    const uint32_t off = word & 0x7FFF;
    currentRecordOffset = static_cast<uint16_t>(off);
    if (off + len > kPageSize) {
      LogFormat("Wrong offset (%i) or record len (%i), skip record!", static_cast<int>(off), static_cast<int>(len));
      continue;
    }
    source_->recordLength = len;
    const int rc = is82 ? ReadRecord(page + off) : ReadRecordLen(page + off, len);
    source_->recordLength = 0;
    if (rc != 0) return kStopped;
    if (StopRequested()) return kStopped;
  }
  return 0;
}

}  // namespace vesk
