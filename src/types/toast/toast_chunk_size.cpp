#include "types/toast/toast_chunk_size.h"

#include "support/recovery_run.h"

namespace vesk {
namespace {

constexpr uint32_t kBlockSize = 8192;
constexpr uint32_t kLinePointer = 4;
constexpr uint32_t kChunkColumns = 4 + 4 + 4;  // chunk_id, chunk_seq, chunk_data's length word

}  // namespace

uint32_t ServerToastChunkSize(uint8_t version, uint32_t maxAlign) {
  const uint32_t align = maxAlign == 4 ? 4 : 8;
  auto up = [align](uint32_t n) { return (n + align - 1) / align * align; };
  if (version == 83) {
    // A quarter of the page after its 24-byte header and four line pointers,
    // rounded down, less the 23-byte tuple header and the chunk's columns.
    const uint32_t perTuple = (kBlockSize - up(24 + 4 * kLinePointer)) / 4 / align * align;
    return perTuple - up(23) - kChunkColumns;
  }
  // 8.2: a quarter of the largest tuple (the page less its header, one line
  // pointer and room for 32 bytes of special space), less the padded 27-byte
  // tuple header and the columns, padded together.
  const uint32_t threshold = (kBlockSize - up(24 + 32)) / 4;
  return threshold - up(up(27) + kChunkColumns);
}

uint32_t RunToastChunkSize(uint8_t version) {
  const DatabaseSettings& settings = Run().settings;
  if (settings.toastMaxChunkSize != 0) return settings.toastMaxChunkSize;
  return ServerToastChunkSize(version, settings.maxAlign);
}

}  // namespace vesk
