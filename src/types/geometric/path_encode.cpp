#include "types/geometric/path_encode.h"

#include <cstdio>
#include <cstring>

#include <cmath>
#include <cstring>

#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/scratch.h"
#include "types/scalar/scalar_chars.h"
#include "types/toast/varlena.h"

namespace vesk {
namespace {

// The 8.x servers print coordinates with 15 significant digits (their
// default of no extra float digits).
constexpr int kCoordinateDigits = 15;
// Room for "(" + two numbers of up to 17 digits with sign, point and
// exponent (24 bytes each) + "),".
constexpr int64_t kBytesPerPoint = 52;

// Current servers print a coordinate as float8's own output does: the
// shortest exact digits, "NaN" and "Infinity".
size_t ShortestCoordinate(double value, char* out) {
  const char* word = std::isnan(value) ? "NaN" : value > 0 ? "Infinity" : "-Infinity";
  if (std::isfinite(value)) return ShortestFloatChars(value, out);
  std::memcpy(out, word, std::strlen(word) + 1);
  return std::strlen(word);
}

}  // namespace

size_t coordinate_encode(double value, char* buffer) {
  if (Run().options.floatText == VESK_FLOATS_EXACT) return ShortestCoordinate(value, buffer);
  const int n = std::snprintf(buffer, kCoordinateCapacity, "%.*g", kCoordinateDigits, value);
  return n > 0 ? static_cast<size_t>(n) : 0;
}

void pair_encode(double x, double y, char* buffer) {
  size_t n = coordinate_encode(x, buffer);
  buffer[n++] = ',';
  coordinate_encode(y, buffer + n);
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
