// Builds stored array values byte for byte as the servers lay them out, for
// the array tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace vesk::testing {

using Bytes = std::vector<uint8_t>;

struct ArraySpec {
  std::vector<int32_t> dims;
  std::vector<int32_t> lowerBounds;  // empty: all 1
  uint32_t elementType = 23;
  uint32_t alignment = 4;
  // One entry per element in row-major order; nullopt is a null element.
  std::vector<std::optional<Bytes>> elements;
  bool withBitmap = false;  // forced on when an element is null
  uint8_t version = 83;     // header of the array value itself
};

inline void Put32(Bytes& b, size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); }
inline void Append32(Bytes& b, uint32_t v) {
  b.resize(b.size() + 4);
  Put32(b, b.size() - 4, v);
}
inline size_t RoundUp(size_t n, size_t to) { return (n + to - 1) / to * to; }

inline Bytes BuildArray(const ArraySpec& s) {
  bool bitmap = s.withBitmap;
  for (const auto& e : s.elements) bitmap = bitmap || !e;
  Bytes b(4, 0);
  Append32(b, static_cast<uint32_t>(s.dims.size()));
  Append32(b, 0);  // data offset, patched below
  Append32(b, s.elementType);
  for (int32_t d : s.dims) Append32(b, static_cast<uint32_t>(d));
  for (size_t i = 0; i < s.dims.size(); ++i) {
    Append32(b, static_cast<uint32_t>(s.lowerBounds.empty() ? 1 : s.lowerBounds[i]));
  }
  if (bitmap) {
    Bytes bits((s.elements.size() + 7) / 8, 0);
    for (size_t i = 0; i < s.elements.size(); ++i) {
      if (s.elements[i]) bits[i / 8] = static_cast<uint8_t>(bits[i / 8] | 1u << (i % 8));
    }
    b.insert(b.end(), bits.begin(), bits.end());
    b.resize(RoundUp(b.size(), 8), 0);
    Put32(b, 8, static_cast<uint32_t>(b.size()));
  }
  for (const auto& e : s.elements) {
    if (!e) continue;
    b.insert(b.end(), e->begin(), e->end());
    b.resize(RoundUp(b.size(), s.alignment), 0);
  }
  uint32_t size = static_cast<uint32_t>(b.size());
  Put32(b, 0, s.version == 83 ? size << 2 : size);
  return b;
}

inline Bytes Int32(int32_t v) {
  Bytes b(4);
  std::memcpy(b.data(), &v, 4);
  return b;
}
inline Bytes Int16(int16_t v) {
  Bytes b(2);
  std::memcpy(b.data(), &v, 2);
  return b;
}
inline Bytes Float64(double v) {
  Bytes b(8);
  std::memcpy(b.data(), &v, 8);
  return b;
}
// A variable-length element with a 4-byte header of the given layout.
inline Bytes Text(const std::string& s, uint8_t version = 83) {
  Bytes b(4);
  uint32_t size = static_cast<uint32_t>(s.size() + 4);
  Put32(b, 0, version == 83 ? size << 2 : size);
  b.insert(b.end(), s.begin(), s.end());
  return b;
}
// An 8.3 variable-length element with a 1-byte header.
inline Bytes ShortText(const std::string& s) {
  Bytes b{static_cast<uint8_t>((s.size() + 1) << 1 | 1)};
  b.insert(b.end(), s.begin(), s.end());
  return b;
}

}  // namespace vesk::testing
