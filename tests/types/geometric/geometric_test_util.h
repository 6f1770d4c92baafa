// Byte-buffer builders for the geometric and network tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "storage/datum.h"
#include "support/scratch.h"

namespace vesk::testing {

using Bytes = std::vector<uint8_t>;

inline void PutF64(Bytes& b, double v) {
  uint8_t raw[8];
  std::memcpy(raw, &v, 8);
  b.insert(b.end(), raw, raw + 8);
}
inline void PutI32(Bytes& b, int32_t v) {
  uint8_t raw[4];
  std::memcpy(raw, &v, 4);
  b.insert(b.end(), raw, raw + 4);
}
inline Bytes Doubles(std::initializer_list<double> values) {
  Bytes b;
  for (double v : values) PutF64(b, v);
  return b;
}

// Stored variable-length value: `payload` behind the header of the layout.
enum class Header { k82, k83Long, k83Short };
inline Bytes Varlena(Header h, const Bytes& payload) {
  Bytes b;
  uint32_t total = static_cast<uint32_t>(payload.size()) + (h == Header::k83Short ? 1u : 4u);
  if (h == Header::k83Short) {
    b.push_back(static_cast<uint8_t>(total << 1 | 1));
  } else {
    PutI32(b, static_cast<int32_t>(h == Header::k82 ? total : total << 2));
  }
  b.insert(b.end(), payload.begin(), payload.end());
  return b;
}

// Bytes placed at an odd address, as attributes often are in a page.
struct Misaligned {
  explicit Misaligned(const Bytes& b) : storage(b.size() + 1) { std::memcpy(storage.data() + 1, b.data(), b.size()); }
  Datum datum() const { return PointerDatum(storage.data() + 1); }
  Bytes storage;
};

// Runs an output routine on `bytes` and returns its text ("<null>" for
// null), releasing the scratch block.
template <typename Routine>
std::string TextOf(Routine routine, const Bytes& bytes) {
  Misaligned m(bytes);
  char* text = routine(m.datum());
  std::string s = text ? text : "<null>";
  ScratchFree(text);
  return s;
}

}  // namespace vesk::testing
