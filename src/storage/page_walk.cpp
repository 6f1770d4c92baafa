// The line-pointer walk shared by both layouts.
//
// A page is walked only when its header is one a server could have written:
// a page of random bytes, of the other layout or torn across its header
// says nothing trustworthy about where its records are, and guessing turns
// garbage into rows. Such a page is skipped and counted. An all-zero page is
// a page the server never wrote: empty, not damaged.
//
// On a plausible page, pruning and VACUUM leave unused (all-zero) line
// pointers anywhere in the array, also in the first slot, so every slot up
// to pd_lower is visited.
#include <cstring>

#include "storage/byte_order.h"
#include "storage/page_check.h"
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
  ++pagesRead;
  if (IsZeroPage(page)) return 0;
  if (const char* problem = PageHeaderProblem(page, headerSize, sequencePages)) {
    ++pagesSkipped;
    LogFormat("Page %u of %s skipped: %s", pageNumber, tableName, problem);
    return 0;
  }
  const uint32_t lower = LoadU16(page + 12);
  const uint32_t upper = LoadU16(page + 14);
  const uint32_t special = LoadU16(page + 16);
  for (uint32_t at = headerSize; at + 4 <= lower; at += 4) {
    if (is82 && StopRequested()) return kStopped;
    const uint32_t word = LoadU32(page + at);
    const uint32_t len = word >> 17;
    if (len == 0) {  // unused, dead or redirecting: no storage
      if (!is82) NotePrunedPointer(word);
      continue;
    }
    const uint32_t off = word & 0x7FFF;
    currentRecordOffset = static_cast<uint16_t>(off);
    currentItem = (at - headerSize) / 4 + 1;
    if (const char* problem = ItemProblem(off, len, upper, special)) {
      // The scan for dead versions follows the live one, which told of it.
      if (versions == Versions::kDead) continue;
      LogFormat("Wrong offset (%i) or record len (%i), skip record!", static_cast<int>(off), static_cast<int>(len));
      SetAside({}, problem);
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

void TableReader::NotePrunedPointer(uint32_t word) {
  // lp_flags of 8.3: 2 redirect, 3 dead (both without storage after pruning).
  const uint32_t flags = (word >> 15) & 0x3;
  if (flags == 2) ++prunedRedirects;
  if (flags == 3) ++prunedDead;
}

void TableReader::SetAside(const RowValues& values, const char* reason) {
  ++rowsQuarantined;
  LogFormat("Record %u of page %u of %s set aside: %s", currentItem, pageNumber, tableName, reason);
  if (quarantine != nullptr) quarantine->QuarantineRow(values, pageNumber, currentItem, reason);
}

}  // namespace vesk
