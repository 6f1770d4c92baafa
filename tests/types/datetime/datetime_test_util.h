// Helpers for the date/time tests: stored values at deliberately unaligned
// addresses, results as optional strings, and a captured diagnostic log.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "common/log_capture.h"
#include "storage/datum.h"
#include "support/logger.h"
#include "support/scratch.h"

namespace vesk::testing {

// Stored bytes of one by-reference value, starting at an odd address.
class Stored {
 public:
  Stored& F64(double v) { return Put(&v, 8); }
  Stored& I32(int32_t v) { return Put(&v, 4); }
  Datum datum() const { return PointerDatum(bytes_.data() + 1); }

 private:
  Stored& Put(const void* v, size_t n) {
    std::memcpy(bytes_.data() + 1 + used_, v, n);
    used_ += n;
    return *this;
  }
  alignas(8) std::array<uint8_t, 40> bytes_{};
  size_t used_ = 0;
};

inline Datum ByValue(int32_t v) { return static_cast<uint32_t>(v); }

// Takes ownership of a routine's result.
inline std::optional<std::string> Text(char* s) {
  if (!s) return std::nullopt;
  std::string out = s;
  ScratchFree(s);
  return out;
}

}  // namespace vesk::testing
