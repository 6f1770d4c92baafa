#include "types/geometric/path_encode.h"

#include <cstdio>
#include <cstring>

#include "support/logger.h"
#include "support/scratch.h"
#include "types/toast/varlena.h"

namespace vesk {
namespace {

// Coordinates print with 15 significant digits (the servers' default of no
// extra float digits).
constexpr int kCoordinateDigits = 15;
// Room for "(" + two 15-digit numbers with sign, point and exponent + "),".
constexpr int64_t kBytesPerPoint = 52;

}  // namespace

void pair_encode(double x, double y, char* buffer) {
  std::snprintf(buffer, 64, "%.*g,%.*g", kCoordinateDigits, x, kCoordinateDigits, y);
}

char* path_encode(const uint8_t* points, int kind, int32_t count) {
  if (count <= 0) return nullptr;
  int64_t size = count * kBytesPerPoint + 2;
  if (size > kScratchMaxBlock) {
    LogFormat("path_encode: too many points requested");
    return nullptr;
  }
  char* text = static_cast<char*>(ScratchAlloc(static_cast<uint32_t>(size)));
  char* out = text;
  if (kind == kPathOpen) *out++ = '[';
  if (kind == kPathClosed) *out++ = '(';
  char pair[64];
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t* p = points + static_cast<size_t>(i) * 16;
    pair_encode(ReadF64(p), ReadF64(p + 8), pair);
    size_t n = std::strlen(pair);
    *out++ = '(';
    std::memcpy(out, pair, n);
    out += n;
    *out++ = ')';
    *out++ = ',';
  }
  --out;  // the last separator
  if (kind == kPathOpen) *out++ = ']';
  if (kind == kPathClosed) *out++ = ')';
  *out = '\0';
  return text;
}

}  // namespace vesk
