// Reading the length header of a stored variable-length value.
//
// 8.2: a 4-byte word; bit 31 external, bit 30 compressed, low 30 bits the
// total length including the header.
// 8.3: first byte 0x01 = external pointer (second byte: its total size);
// other odd first byte = 1-byte header (byte >> 1 = total size); even first
// byte = 4-byte header (word >> 2 = total size; low bits 10 = compressed).
#pragma once

#include <cstdint>
#include <cstring>

namespace vesk {

inline uint32_t ReadU32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline int32_t ReadI32(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline uint16_t ReadU16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
inline int16_t ReadI16(const uint8_t* p) {
  int16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
inline double ReadF64(const uint8_t* p) {
  double v;
  std::memcpy(&v, p, 8);
  return v;
}
inline float ReadF32(const uint8_t* p) {
  float v;
  std::memcpy(&v, p, 4);
  return v;
}
inline int64_t ReadI64(const uint8_t* p) {
  int64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// Plain 4-byte-header value of the 8.2 layout.
inline uint32_t VarSize82(const uint8_t* v) { return ReadU32(v) & 0x3FFFFFFFu; }
// Plain 4-byte-header value of the 8.3 layout (after ExpandShortVarlena).
inline uint32_t VarSize83(const uint8_t* v) { return ReadU32(v) >> 2; }

// Payload length and start of a detoasted value (4-byte header) of either
// layout; 0 for a header shorter than itself.
inline uint32_t PayloadLength(const uint8_t* v, uint8_t version) {
  uint32_t size = version == 83 ? VarSize83(v) : VarSize82(v);
  return size >= 4 ? size - 4 : 0;
}
inline const uint8_t* Payload(const uint8_t* v) { return v + 4; }

}  // namespace vesk
