// pglz streams: bytes 0-1 give the raw size (up to 64 KiB), byte 2 picks the
// entry point, the rest is the stream. The decompressor must stay inside the
// stored value and the destination whatever the stream says; the inline
// rebuild paths of both layouts run on the same stream.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_input.h"
#include "support/scratch.h"
#include "types/toast/toast.h"

namespace {

// A stored compressed value: header word, raw-size word, stream; the buffer
// is exactly as long as the header says, as the record decoder guarantees.
std::vector<uint8_t> CompressedValue(bool is83, uint32_t rawSize, const std::vector<uint8_t>& stream) {
  const uint32_t total = static_cast<uint32_t>(8 + stream.size());
  const uint32_t header = is83 ? (total << 2) | 0x02u : total | 0x40000000u;
  std::vector<uint8_t> value(total);
  std::memcpy(value.data(), &header, 4);
  std::memcpy(value.data() + 4, &rawSize, 4);
  if (!stream.empty()) std::memcpy(value.data() + 8, stream.data(), stream.size());
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vesk::fuzz::FuzzInput in(data, size);
  const uint32_t rawSize = in.U16();
  const uint8_t mode = in.Byte();
  const std::vector<uint8_t> stream = in.Rest();
  if (stream.size() > (1u << 20)) return 0;

  if (mode % 3 == 0) {
    std::vector<uint8_t> value = CompressedValue(false, rawSize, stream);
    std::vector<uint8_t> out(rawSize);
    vesk::pglz_decompress(value.data(), static_cast<uint32_t>(value.size()), out.data());
    return 0;
  }
  const bool is83 = mode % 3 == 2;
  std::vector<uint8_t> value = CompressedValue(is83, rawSize, stream);
  vesk::ScratchMark();
  try {
    uint8_t* plain = is83 ? vesk::ExpandShortVarlena(value.data()) : vesk::pg_detoast_datum(value.data());
    if (plain != nullptr && plain != value.data()) vesk::ScratchFree(plain);
  } catch (const vesk::ScratchException&) {
  }
  vesk::ScratchReleaseToMark();
  return 0;
}
