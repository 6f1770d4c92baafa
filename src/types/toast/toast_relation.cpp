#include "types/toast/toast_relation.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "catalog/catalog_readers.h"
#include "platform/platform.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/scratch.h"
#include "types/toast/toast_chunk_size.h"
#include "types/toast/varlena.h"

namespace vesk {
namespace {

constexpr uint64_t kMaxChunkPosition = (uint64_t{1} << ChunkEntry::kSizeShift) - 1;
constexpr uint32_t kMaxChunkSize = 0xFFFF;

void SetColumn(CatalogColumnDesc& d, const char* name, uint32_t type, int16_t len, int16_t num,
               bool byval) {
  d = CatalogColumnDesc{};
  std::strncpy(d.attname, name, sizeof d.attname - 1);
  d.atttypid = type;
  d.attlen = len;
  d.attnum = num;
  d.attbyval = byval;
  d.attalign = 'i';
  d.attnotnull = true;
}

bool ByValueId(const ChunkEntry& a, const ChunkEntry& b) { return a.valueId < b.valueId; }

// Header length and payload size of a chunk_data value; false for a form a
// chunk is never stored in (external, compressed, or shorter than its header).
bool ChunkDataShape(const uint8_t* p, uint8_t version, uint32_t& header, uint32_t& size) {
  if (version == 83) {
    if (p[0] == 0x01) return false;
    if (p[0] & 0x01) {
      header = 1;
      size = (p[0] >> 1) - 1u;
      return true;
    }
    uint32_t w = ReadU32(p);
    if ((w & 0x03u) != 0 || (w >> 2) < 4) return false;
    header = 4;
    size = (w >> 2) - 4;
    return true;
  }
  uint32_t w = ReadU32(p);
  if ((w & 0xC0000000u) != 0 || (w & 0x3FFFFFFFu) < 4) return false;
  header = 4;
  size = (w & 0x3FFFFFFFu) - 4;
  return true;
}

// Size and modification time of the relation's first file, empty when it
// cannot be read.
std::string FileStamp(const std::string& path) {
  uint64_t size = 0;
  int64_t modified = 0;
  if (!platform::FileStamp(path, &size, &modified)) return {};
  return std::to_string(size) + "@" + std::to_string(modified);
}

// First chunk number in [0, limit) that `present` does not hold.
int32_t FirstMissing(const std::vector<bool>& present) {
  auto it = std::find(present.begin(), present.end(), false);
  return static_cast<int32_t>(it - present.begin());
}

}  // namespace

ToastRelation::ToastRelation(uint32_t relid, uint8_t version, bool allVersions)
    : relid_(relid), version_(version), allVersions_(allVersions) {
  SetColumn(columns_[0], "chunk_id", 26, 4, 1, true);
  SetColumn(columns_[1], "chunk_seq", 23, 4, 2, true);
  SetColumn(columns_[2], "chunk_data", 17, -1, 3, false);
  columns_[2].attstorage = 'p';
}

ToastRelation::~ToastRelation() = default;

// Every TOAST relation of these server versions has the same three columns,
// so a damaged pg_attribute cannot keep its chunks from being read.
void ToastRelation::UseToastColumns() {
  reader_->columns.assign({&columns_[0], &columns_[1], &columns_[2]});
  reader_->columnLimit = -1;
  reader_->cacheRows = false;
  reader_->versions = allVersions_ ? TableReader::Versions::kAll : TableReader::Versions::kLive;
}

bool ToastRelation::Index(std::unique_ptr<TableReader> reader) {
  reader_ = std::move(reader);
  chunks_.clear();
  usable_ = reader_ && !reader_->path.empty();
  if (!usable_) return true;
  UseToastColumns();
  fileStamp_ = FileStamp(reader_->path);
  if (reader_->ReadTable() == kStopped) return false;
  // The scan visits chunks in file order; a stable sort keeps that order
  // within each value, which is what the chunk-order warnings describe.
  std::stable_sort(chunks_.begin(), chunks_.end(), ByValueId);
  LogFormat("TOAST relation %u: %zu chunks indexed%s", relid_, chunks_.size(), allVersions_ ? ", dead ones too" : "");
  if (!complete_) LogFormat("TOAST relation %u: index incomplete, out of memory", relid_);
  return true;
}

bool ToastRelation::StillCurrent() const {
  return !usable_ || FileStamp(reader_->path) == fileStamp_;
}

int ToastRelation::ProcessRow(const RowValues& values, uint32_t /*oid*/) {
  if (values.size() < 3) return 0;
  for (size_t i = 0; i < 3; ++i) {
    if (values[i].isnull) return 0;
  }
  if (values[2].datum == 0) return 0;
  auto valueId = static_cast<uint32_t>(values[0].datum);
  auto seq = static_cast<int32_t>(static_cast<uint32_t>(values[1].datum));
  return AddChunk(valueId, seq, DatumPointer(values[2].datum)) ? 1 : 0;
}

bool ToastRelation::AddChunk(uint32_t valueId, int32_t seq, const uint8_t* chunkData) {
  uint32_t header = 0, size = 0;
  int64_t position = reader_->PositionInRelation(chunkData);
  if (!ChunkDataShape(chunkData, version_, header, size) || size > kMaxChunkSize || position < 0 ||
      static_cast<uint64_t>(position) + header > kMaxChunkPosition) {
    LogFormat("Bad chunk data in chunk %d for toast value %u, skipped", seq, valueId);
    return false;
  }
  uint64_t where = (static_cast<uint64_t>(size) << ChunkEntry::kSizeShift) |
                   (static_cast<uint64_t>(position) + header);
  try {
    chunks_.push_back(ChunkEntry{valueId, seq, where});
  } catch (const std::bad_alloc&) {
    complete_ = false;
    return false;
  }
  return true;
}

bool ToastRelation::Assemble(uint32_t valueId, uint32_t extSize, uint8_t* dest) {
  auto range = std::equal_range(chunks_.begin(), chunks_.end(), ChunkEntry{valueId, 0, 0}, ByValueId);
  const ChunkEntry* first = chunks_.data() + (range.first - chunks_.begin());
  const ChunkEntry* last = chunks_.data() + (range.second - chunks_.begin());
  // Servers of different builds cut values into chunks of different sizes;
  // chunk 0 of a value shows the size its server used for every chunk but
  // the last.
  auto zero = std::find_if(first, last, [](const ChunkEntry& e) { return e.seq == 0; });
  if (zero == last || extSize == 0) {
    LogFormat("missing chunk number %d for toast value %u", 0, valueId);
    return false;
  }
  uint32_t chunkSize = std::min(zero->Size(), extSize);
  if (chunkSize == 0) {
    LogFormat("unexpected chunk size %d in chunk %d for toast value %u", 0, 0, valueId);
    return false;
  }
  NoteChunkSize(chunkSize, extSize);
  return PlaceChunks(first, last, extSize, chunkSize, dest);
}

// The chunks themselves are the evidence that counts; a first chunk of
// another size than the build's says the settings of the run (or this
// relation) are not what they seem, which is worth one line per relation.
void ToastRelation::NoteChunkSize(uint32_t chunkSize, uint32_t extSize) {
  if (sizeNoted_ || extSize <= chunkSize) return;
  const uint32_t expected = RunToastChunkSize(version_);
  if (chunkSize == expected) return;
  sizeNoted_ = true;
  LogFormat("TOAST relation %u: chunks of %u bytes, not the %u of the server build; the stored size is used", relid_,
            chunkSize, expected);
}

bool ToastRelation::PlaceChunks(const ChunkEntry* first, const ChunkEntry* last, uint32_t extSize,
                                uint32_t chunkSize, uint8_t* dest) {
  const uint32_t valueId = first->valueId;
  const uint64_t count = (uint64_t{extSize} + chunkSize - 1) / chunkSize;
  const auto stored = static_cast<uint64_t>(last - first);
  // More chunks needed than stored: some are missing, whatever else is wrong.
  std::vector<bool> present(static_cast<size_t>(std::min(count, stored + 1)), false);
  if (count > stored) {
    for (const ChunkEntry* e = first; e != last; ++e) {
      if (e->seq >= 0 && static_cast<uint64_t>(e->seq) < present.size()) present[static_cast<size_t>(e->seq)] = true;
    }
    LogFormat("missing chunk number %d for toast value %u", FirstMissing(present), valueId);
    return false;
  }
  int32_t taken = 0;
  for (const ChunkEntry* e = first; e != last; ++e) {
    if (e->seq != taken) {
      LogFormat("unexpected chunk number %d (expected %d) for toast value %u", e->seq, taken, valueId);
    }
    if (e->seq < 0 || static_cast<uint64_t>(e->seq) >= count) {
      LogFormat("unexpected chunk number %d for toast value %u", e->seq, valueId);
      continue;
    }
    auto seq = static_cast<uint64_t>(e->seq);
    uint64_t expected = seq + 1 < count ? chunkSize : extSize - (count - 1) * chunkSize;
    if (e->Size() != expected) {
      LogFormat("unexpected chunk size %d in chunk %d for toast value %u", static_cast<int>(e->Size()),
                e->seq, valueId);
      continue;
    }
    if (present[static_cast<size_t>(seq)]) {
      LogFormat("duplicate chunk number %d for toast value %u, first copy kept", e->seq, valueId);
      continue;
    }
    if (!reader_->ReadAt(e->Position(), dest + seq * chunkSize, e->Size())) {
      LogFormat("Cannot read chunk %d for toast value %u", e->seq, valueId);
      continue;
    }
    LogFormat("Collect chunk N %i with size %i", e->seq, static_cast<int>(e->Size()));
    present[static_cast<size_t>(seq)] = true;
    ++taken;
  }
  if (static_cast<uint64_t>(taken) != count) {
    LogFormat("missing chunk number %d for toast value %u", FirstMissing(present), valueId);
    return false;
  }
  return true;
}

namespace {

// Without its catalog rows, the relation is looked for in the file named by
// its OID: a TOAST relation that was never rewritten keeps that file, and
// chunk ids and sizes still have to match before a value is taken from it.
std::unique_ptr<TableReader> ReaderByFileName(uint32_t relid, ToastRelation* owner, uint8_t version) {
  std::string name = std::to_string(relid);
  if (!platform::FileExists(Run().databaseDirectory + name)) return nullptr;
  LogFormat("TOAST relation %u is not in the catalogs, reading file %s", relid, name.c_str());
  return MakeReader(version, name.c_str(), owner);
}

}  // namespace

std::unique_ptr<ToastRelation> OpenToastRelation(uint32_t relid, uint8_t version, bool allVersions) {
  auto relation = std::make_unique<ToastRelation>(relid, version, allVersions);
  std::unique_ptr<TableReader> reader;
  const RecoveryRun& run = Run();
  if (run.types && run.classes && run.attributes) {
    reader = OpenRelationById(relid, relation.get(), version);
  }
  if (!reader || reader->path.empty()) reader = ReaderByFileName(relid, relation.get(), version);
  if (!reader) LogFormat("TOAST relation %u is not in the catalogs, its values are lost", relid);
  if (!relation->Index(std::move(reader))) return nullptr;
  return relation;
}

}  // namespace vesk
