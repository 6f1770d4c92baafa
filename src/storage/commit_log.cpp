#include "storage/commit_log.h"

#include <cstdio>
#include <filesystem>
#include <utility>

#include "platform/platform.h"
#include "support/logger.h"

namespace vesk {
namespace {

constexpr uint32_t kSlruPageSize = 8192;
constexpr uint32_t kPagesPerSlruSegment = 32;
// Sub-transactions nest; a longer chain of parents than this is damage.
constexpr int kMaxParentChain = 64;

std::string SegmentName(uint32_t segment) {
  char name[16];
  std::snprintf(name, sizeof name, "%04X", segment);
  return name;
}

bool IsDirectory(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

// Reads page `pageNumber` of the directory into `out`; the bytes read (0 when
// the segment file is missing or ends before the page).
uint32_t ReadSlruPage(const std::string& directory, uint32_t pageNumber, uint8_t* out) {
  const std::string path = directory + platform::kPathSeparator + SegmentName(pageNumber / kPagesPerSlruSegment);
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return 0;
  size_t read = 0;
  if (std::fseek(file, static_cast<long>((pageNumber % kPagesPerSlruSegment) * kSlruPageSize), SEEK_SET) == 0) {
    read = std::fread(out, 1, kSlruPageSize, file);
  }
  std::fclose(file);
  return static_cast<uint32_t>(read);
}

}  // namespace

SlruDirectory::SlruDirectory(std::string directory, uint32_t bytesPerEntry, uint32_t entriesPerByte)
    : directory_(std::move(directory)),
      bytesPerEntry_(bytesPerEntry),
      entriesPerByte_(entriesPerByte),
      entriesPerPage_(kSlruPageSize * entriesPerByte / bytesPerEntry),
      present_(IsDirectory(directory_)) {}

SlruDirectory::Page& SlruDirectory::Load(uint32_t pageNumber) {
  Page* oldest = &cache_[0];
  for (Page& page : cache_) {
    if (page.number == pageNumber) {
      page.lastUse = ++clock_;
      return page;
    }
    if (page.lastUse < oldest->lastUse) oldest = &page;
  }
  Page& page = *oldest;
  page.number = pageNumber;
  page.lastUse = ++clock_;
  page.bytes.assign(kSlruPageSize, 0);
  page.length = present_ ? ReadSlruPage(directory_, pageNumber, page.bytes.data()) : 0;
  const uint32_t segment = pageNumber / kPagesPerSlruSegment;
  if (present_ && page.length < kSlruPageSize && missing_.insert(segment).second) {
    const uint64_t firstEntry =
        static_cast<uint64_t>(pageNumber) * entriesPerPage_ + page.length / bytesPerEntry_ * entriesPerByte_;
    LogFormat("Segment %s of %s is missing or ends early: transactions from %llu on are not covered",
              SegmentName(segment).c_str(), directory_.c_str(), static_cast<unsigned long long>(firstEntry));
  }
  return page;
}

const uint8_t* SlruDirectory::EntryOf(uint32_t xid) {
  if (!present_) return nullptr;
  const uint32_t pageNumber = xid / entriesPerPage_;
  const uint32_t index = xid % entriesPerPage_;
  const uint32_t byteAt = index / entriesPerByte_ * bytesPerEntry_;
  const Page& page = Load(pageNumber);
  if (byteAt + bytesPerEntry_ > page.length) return nullptr;
  return page.bytes.data() + byteAt;
}

std::unique_ptr<CommitLog> CommitLog::Open(const std::string& clusterDirectory) {
  std::string base = clusterDirectory;
  if (!base.empty() && base.back() == platform::kPathSeparator) base.pop_back();
  const std::string clog = base + platform::kPathSeparator + "pg_clog";
  if (!IsDirectory(clog)) return nullptr;
  return std::make_unique<CommitLog>(clog, base + platform::kPathSeparator + "pg_subtrans");
}

CommitLog::CommitLog(const std::string& clogDirectory, const std::string& subtransDirectory)
    : clog_(clogDirectory, 1, 4), subtrans_(subtransDirectory, 4, 1) {}

bool CommitLog::Status(uint32_t xid, XidStatus* status) const {
  const uint8_t* entry = clog_.EntryOf(xid);
  if (entry == nullptr) return false;
  *status = static_cast<XidStatus>((*entry >> ((xid % 4) * 2)) & 3);
  return true;
}

uint32_t CommitLog::ParentOf(uint32_t xid) const {
  const uint8_t* entry = subtrans_.EntryOf(xid);
  if (entry == nullptr) return 0;
  return static_cast<uint32_t>(entry[0]) | static_cast<uint32_t>(entry[1]) << 8 |
         static_cast<uint32_t>(entry[2]) << 16 | static_cast<uint32_t>(entry[3]) << 24;
}

bool CommitLog::BeganAfterCheckpoint(uint32_t xid) const {
  return knowsCheckpoint_ && static_cast<int32_t>(xid - checkpointNextXid_) >= 0;
}

XidOutcome CommitLog::Outcome(uint32_t xid) const {
  for (int depth = 0; depth <= kMaxParentChain; ++depth) {
    if (xid == kInvalidXid) return XidOutcome::kAborted;
    if (xid == kBootstrapXid || xid == kFrozenXid) return XidOutcome::kCommitted;
    XidStatus status;
    if (!Status(xid, &status)) return XidOutcome::kUnknown;
    switch (status) {
      case XidStatus::kCommitted: return XidOutcome::kCommitted;
      case XidStatus::kAborted: return XidOutcome::kAborted;
      case XidStatus::kInProgress: return BeganAfterCheckpoint(xid) ? XidOutcome::kUnknown : XidOutcome::kAborted;
      case XidStatus::kSubCommitted: break;
    }
    // A sub-transaction counts as its parent does. A parent is always older
    // than its child; anything else is damage. Without a parent the server
    // takes the top transaction for crashed, and so do we.
    const uint32_t parent = ParentOf(xid);
    if (parent == kInvalidXid) return XidOutcome::kAborted;
    if (static_cast<int32_t>(parent - xid) >= 0) return XidOutcome::kUnknown;
    xid = parent;
  }
  return XidOutcome::kUnknown;
}

}  // namespace vesk
