// Character count of UTF-8 text: every byte that does not continue a
// multi-byte sequence starts a character.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vesk::scalar {

inline size_t Utf8Length(const uint8_t* data, size_t size) {
  size_t characters = 0;
  for (size_t i = 0; i < size; ++i) {
    if ((data[i] & 0xC0u) != 0x80u) ++characters;
  }
  return characters;
}

}  // namespace vesk::scalar
