// Little-endian loads from page bytes, without alignment requirements.
#pragma once

#include <cstdint>
#include <cstring>

namespace vesk {

inline uint16_t LoadU16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline uint32_t LoadU32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace vesk
