// Tracked scratch memory: every block handed out is remembered until it is
// freed, so one value's conversion can be undone as a whole (mark/release),
// the end of a run can report leaks, and a corrupt length turns into an
// orderly refusal instead of a huge allocation.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vesk {

// Raised when a block is refused (size 0, or above kScratchMaxBlock).
struct ScratchException {
  int code = 0;
};

inline constexpr uint32_t kScratchMaxBlock = 104857599;  // one byte less than 100 MiB

// A block of exactly `size` bytes, uninitialised. Throws ScratchException.
void* ScratchAlloc(uint32_t size);
// Frees a tracked block; ignores untracked pointers (null, constants, twice).
void ScratchFree(const void* block);
// Copy of a NUL-terminated text in a new tracked block.
char* ScratchDup(const char* text);
int32_t ScratchLiveCount();
// Remembers the newest tracked block; ScratchReleaseToMark frees everything
// newer. Marks do not nest.
void ScratchMark();
void ScratchReleaseToMark();

// Typed convenience: new zeroed record of type T in tracked memory.
template <typename T>
T* ScratchNew() {
  void* p = ScratchAlloc(static_cast<uint32_t>(sizeof(T)));
  return new (p) T{};
}

}  // namespace vesk
