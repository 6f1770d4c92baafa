#include "storage/control_file.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "storage/byte_order.h"

namespace vesk {
namespace {

constexpr uint32_t kVersion82 = 822;
constexpr uint32_t kVersion83 = 833;
constexpr double kFloatFormat = 1234567.0;
constexpr uint32_t kSupportedBlockSize = 8192;
// The server writes a whole block; anything beyond is not ours to read.
constexpr size_t kMaxFileBytes = 8192;

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

uint32_t ByteSwap32(uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

// How the writing machine laid the struct out.
struct Arrangement {
  uint32_t timeWidth;    // sizeof(time_t)
  uint32_t doubleAlign;  // alignment of double and uint64 inside a struct
};
// 64-bit servers; i386; 32-bit machines that align doubles at 8 (ARM EABI,
// PowerPC). The first whose CRC matches wins.
constexpr Arrangement kArrangements[] = {{8, 8}, {4, 4}, {4, 8}};

// Offsets of the fields we read, for one version and arrangement.
struct Offsets {
  uint32_t catalogVersion = 12;
  uint32_t maxAlign = 0;
  uint32_t floatFormat = 0;
  uint32_t blockSize = 0;
  uint32_t segmentPages = 0;
  uint32_t nameDataLen = 0;
  uint32_t toastMaxChunkSize = 0;  // 0: the version has none
  uint32_t integerDatetimes = 0;
  uint32_t nextXid = 0;
  uint32_t crc = 0;
};

class StructCursor {
 public:
  uint32_t Field(uint32_t size, uint32_t align) {
    at_ = AlignUp(at_, align);
    uint32_t start = at_;
    at_ += size;
    return start;
  }
  void Align(uint32_t align) { at_ = AlignUp(at_, align); }

 private:
  static uint32_t AlignUp(uint32_t v, uint32_t a) { return (v + a - 1) / a * a; }
  uint32_t at_ = 0;
};

Offsets OffsetsFor(uint32_t version, Arrangement a) {
  const bool is82 = version == kVersion82;
  const uint32_t t = a.timeWidth;
  // A struct is aligned to its widest member: CheckPoint holds a time_t.
  const uint32_t checkpointAlign = t > 4 ? t : 4;
  Offsets o;
  StructCursor c;
  c.Field(8, a.doubleAlign);  // system_identifier
  c.Field(4, 4);              // pg_control_version
  o.catalogVersion = c.Field(4, 4);
  c.Field(4, 4);  // state
  c.Field(t, t);  // time
  if (is82) {
    c.Field(4, 4);  // logId
    c.Field(4, 4);  // logSeg
  }
  c.Field(8, 4);  // checkPoint
  c.Field(8, 4);  // prevCheckPoint
  c.Align(checkpointAlign);
  c.Field(is82 ? 16 : 8, 4);  // redo (8.2: and undo)
  // timeline, epoch, xid, oid, multi, multi offset
  o.nextXid = c.Field(4 * 6, 4) + 8;
  c.Field(t, t);              // checkpoint time
  c.Align(checkpointAlign);
  c.Field(8, 4);  // minRecoveryPoint
  o.maxAlign = c.Field(4, 4);
  o.floatFormat = c.Field(8, a.doubleAlign);
  o.blockSize = c.Field(4, 4);
  o.segmentPages = c.Field(4, 4);
  c.Field(4, 4);  // xlog_blcksz
  c.Field(4, 4);  // xlog_seg_size
  o.nameDataLen = c.Field(4, 4);
  c.Field(4, 4);  // indexMaxKeys
  if (!is82) o.toastMaxChunkSize = c.Field(4, 4);
  o.integerDatetimes = c.Field(4, 4);
  c.Field(4, 4);    // localeBuflen
  c.Field(128, 1);  // lc_collate
  c.Field(128, 1);  // lc_ctype
  o.crc = c.Field(4, 4);
  return o;
}

double LoadDouble(const uint8_t* p) {
  double v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

ControlFile Refused(ControlFileStatus status, std::string problem) {
  ControlFile file;
  file.status = status;
  file.problem = std::move(problem);
  return file;
}

ControlFile Decode(std::span<const uint8_t> bytes, uint32_t version, const Offsets& o, uint32_t timeWidth) {
  ControlFile f;
  f.version = version;
  f.catalogVersion = LoadU32(bytes.data() + o.catalogVersion);
  f.maxAlign = LoadU32(bytes.data() + o.maxAlign);
  f.floatFormat = LoadDouble(bytes.data() + o.floatFormat);
  f.blockSize = LoadU32(bytes.data() + o.blockSize);
  f.segmentPages = LoadU32(bytes.data() + o.segmentPages);
  f.nameDataLen = LoadU32(bytes.data() + o.nameDataLen);
  f.toastMaxChunkSize = o.toastMaxChunkSize != 0 ? LoadU32(bytes.data() + o.toastMaxChunkSize) : 0;
  f.nextXid = LoadU32(bytes.data() + o.nextXid);
  const uint32_t intTimes = LoadU32(bytes.data() + o.integerDatetimes);
  f.integerDatetimes = intTimes == 1;
  f.timeWidth = timeWidth;
  f.status = ControlFileStatus::kValid;
  char text[160];
  if (f.floatFormat != kFloatFormat) {
    f.status = ControlFileStatus::kUnsupported;
    std::snprintf(text, sizeof text, "floatFormat %.17g is not %.1f: another floating-point format or byte order",
                  f.floatFormat, kFloatFormat);
  } else if (f.maxAlign != 4 && f.maxAlign != 8) {
    f.status = ControlFileStatus::kImplausible;
    std::snprintf(text, sizeof text, "maxAlign %u", f.maxAlign);
  } else if (f.blockSize < 1024 || f.blockSize > 32768 || (f.blockSize & (f.blockSize - 1)) != 0) {
    f.status = ControlFileStatus::kImplausible;
    std::snprintf(text, sizeof text, "blcksz %u", f.blockSize);
  } else if (f.blockSize != kSupportedBlockSize) {
    f.status = ControlFileStatus::kUnsupported;
    std::snprintf(text, sizeof text, "block size %u (only %u is read)", f.blockSize, kSupportedBlockSize);
  } else if (f.segmentPages == 0 || f.segmentPages > (1u << 22)) {
    f.status = ControlFileStatus::kImplausible;
    std::snprintf(text, sizeof text, "relseg_size %u", f.segmentPages);
  } else if (f.nameDataLen != 64) {
    f.status = ControlFileStatus::kImplausible;
    std::snprintf(text, sizeof text, "nameDataLen %u (only 64 is read)", f.nameDataLen);
  } else if (version == kVersion83 && (f.toastMaxChunkSize < 64 || f.toastMaxChunkSize > f.blockSize / 2)) {
    f.status = ControlFileStatus::kImplausible;
    std::snprintf(text, sizeof text, "toast_max_chunk_size %u", f.toastMaxChunkSize);
  } else if (intTimes > 1) {
    f.status = ControlFileStatus::kImplausible;
    std::snprintf(text, sizeof text, "enableIntTimes %u", intTimes);
  } else {
    text[0] = '\0';
  }
  f.problem = text;
  return f;
}

}  // namespace

uint32_t ControlFileCrc(std::span<const uint8_t> bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (uint8_t b : bytes) crc = kCrcTable[((crc >> 24) ^ b) & 0xFF] ^ (crc << 8);
  return crc ^ 0xFFFFFFFFu;
}

ControlFile ParseControlFile(std::span<const uint8_t> bytes) {
  if (bytes.size() < 16) return Refused(ControlFileStatus::kTruncated, "shorter than its header");
  const uint32_t version = LoadU32(bytes.data() + 8);
  if (version != kVersion82 && version != kVersion83) {
    const uint32_t swapped = ByteSwap32(version);
    if (swapped == kVersion82 || swapped == kVersion83) {
      return Refused(ControlFileStatus::kByteSwapped,
                     "pg_control_version " + std::to_string(swapped) + " stored big-endian");
    }
    return Refused(ControlFileStatus::kUnknownVersion, "pg_control_version " + std::to_string(version));
  }
  bool anyInside = false;
  for (const Arrangement& a : kArrangements) {
    const Offsets o = OffsetsFor(version, a);
    if (o.crc + 4 > bytes.size()) continue;
    anyInside = true;
    if (ControlFileCrc(bytes.first(o.crc)) != LoadU32(bytes.data() + o.crc)) continue;
    return Decode(bytes, version, o, a.timeWidth);
  }
  if (!anyInside) return Refused(ControlFileStatus::kTruncated, std::to_string(bytes.size()) + " bytes");
  return Refused(ControlFileStatus::kBadCrc, "CRC matches no known layout");
}

ControlFile ReadControlFile(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return Refused(ControlFileStatus::kMissing, "cannot open " + path);
  std::vector<uint8_t> bytes(kMaxFileBytes);
  const size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  bytes.resize(got);
  return ParseControlFile(bytes);
}

const char* ControlFileStatusText(ControlFileStatus status) {
  switch (status) {
    case ControlFileStatus::kMissing: return "missing";
    case ControlFileStatus::kTruncated: return "truncated";
    case ControlFileStatus::kBadCrc: return "bad CRC";
    case ControlFileStatus::kUnknownVersion: return "not an 8.2 or 8.3 control file";
    case ControlFileStatus::kByteSwapped: return "written by a big-endian server";
    case ControlFileStatus::kImplausible: return "implausible values";
    case ControlFileStatus::kUnsupported: return "unsupported server build";
    case ControlFileStatus::kValid: return "valid";
  }
  return "?";
}

}  // namespace vesk
