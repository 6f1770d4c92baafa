// Text of a list of points in the server's geometric syntax.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vesk {

enum PathBrackets : int { kPathOpen = 0, kPathClosed = 1, kPathBare = 2 };

// Points are `count` pairs of little-endian doubles (x, y) at `points`, which
// need not be aligned. Bare gives "(x,y),(x,y)", open wraps it in "[...]",
// closed in "(...)". Returns a scratch text, or null when count is not
// positive or the text would be too long (logged). May raise ScratchException.
char* path_encode(const uint8_t* points, int kind, int32_t count);
// Writes one coordinate into `buffer` (kCoordinateCapacity bytes): 15
// significant digits as the 8.x servers print it, or the shortest exact text
// when the run asks for exact floats. Returns its length.
inline constexpr size_t kCoordinateCapacity = 32;
size_t coordinate_encode(double value, char* buffer);
// Writes "x,y" into `buffer` (at least 64 bytes).
void pair_encode(double x, double y, char* buffer);

}  // namespace vesk
