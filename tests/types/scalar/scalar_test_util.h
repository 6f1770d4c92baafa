// Test helpers for the output routines: stored values built byte by byte at
// deliberately unaligned addresses, and results taken back out of scratch
// memory.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "storage/datum.h"
#include "support/logger.h"
#include "support/scratch.h"
#include "common/log_capture.h"
#include "support/temp_dir.h"

namespace vesk::testing {

// Stored bytes placed one byte past an aligned start, as values often sit
// in a page.
class Stored {
 public:
  explicit Stored(std::vector<uint8_t> bytes) : buffer_(bytes.size() + 1) {
    std::memcpy(buffer_.data() + 1, bytes.data(), bytes.size());
  }
  Datum datum() const { return PointerDatum(buffer_.data() + 1); }

 private:
  std::vector<uint8_t> buffer_;
};

inline void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void PutU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

template <typename T>
std::vector<uint8_t> BytesOfValue(T value) {
  std::vector<uint8_t> out(sizeof(T));
  std::memcpy(out.data(), &value, sizeof(T));
  return out;
}

// Plain 4-byte-header forms of the two layouts, and the 8.3 1-byte form.
inline std::vector<uint8_t> Plain82(const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> out;
  PutU32(out, static_cast<uint32_t>(payload.size() + 4));
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}
inline std::vector<uint8_t> Plain83(const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> out;
  PutU32(out, static_cast<uint32_t>(payload.size() + 4) << 2);
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}
inline std::vector<uint8_t> Short83(const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> out{static_cast<uint8_t>(((payload.size() + 1) << 1) | 1)};
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}
inline std::vector<uint8_t> PlainOf(uint8_t version, const std::vector<uint8_t>& payload) {
  return version == 83 ? Plain83(payload) : Plain82(payload);
}

// The routine's text, released from scratch memory; nullopt for null.
inline std::optional<std::string> Take(char* text) {
  if (!text) return std::nullopt;
  std::string copy(text);
  ScratchFree(text);
  return copy;
}

}  // namespace vesk::testing
