// The cluster's control file, global/pg_control, as an 8.2 or 8.3 server
// writes it: the build parameters that decide how every data page is laid
// out. The struct's field offsets depend on the writing machine (time_t and
// the alignment of doubles differ between 32- and 64-bit servers), so each
// known arrangement is tried and the stored CRC tells which one wrote it.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace vesk {

enum class ControlFileStatus : uint8_t {
  kMissing,       // no file, or it could not be read
  kTruncated,     // shorter than any arrangement's CRC position
  kBadCrc,        // no arrangement's CRC matches
  kUnknownVersion,  // CRC matches, but not a pg_control of 8.2 or 8.3
  kByteSwapped,   // written by a big-endian server
  kImplausible,   // CRC matches, but the values cannot come from a server
  kUnsupported,   // a real server build this engine cannot read (block size)
  kValid,
};

struct ControlFile {
  ControlFileStatus status = ControlFileStatus::kMissing;
  uint32_t version = 0;  // pg_control_version: 822 or 833
  uint32_t catalogVersion = 0;
  uint32_t maxAlign = 0;
  double floatFormat = 0;
  uint32_t blockSize = 0;
  uint32_t segmentPages = 0;
  uint32_t nameDataLen = 0;
  uint32_t toastMaxChunkSize = 0;  // 8.3 only; 0 for 8.2
  bool integerDatetimes = false;
  // The next transaction id when the last checkpoint began. Transactions
  // from it on began after the checkpoint, so after a crash the commit log
  // on disk may not hold how they ended (that was in the WAL).
  uint32_t nextXid = 0;
  uint32_t timeWidth = 0;  // bytes of time_t in the arrangement the CRC chose
  std::string problem;     // why the file was not taken, for the log
};

// CRC of the 8.2/8.3 control file and WAL: the reflected CRC-32 table driven
// MSB-first, as those servers computed it (not the usual CRC-32).
uint32_t ControlFileCrc(std::span<const uint8_t> bytes);

// Decodes the bytes of a control file; never reads beyond `bytes`.
ControlFile ParseControlFile(std::span<const uint8_t> bytes);

// Reads and decodes the file at `path` (kMissing when there is none).
ControlFile ReadControlFile(const std::string& path);

const char* ControlFileStatusText(ControlFileStatus status);

}  // namespace vesk
