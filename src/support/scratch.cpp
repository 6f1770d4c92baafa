#include "support/scratch.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "support/logger.h"

namespace vesk {
namespace {

// Blocks in allocation order, oldest first. Lookups start at the newest end:
// a run keeps thousands of catalog records alive while each value's blocks
// come and go at the tail, so the blocks being freed are almost always there.
std::vector<void*>& Tracker() {
  static std::vector<void*>* tracker = new std::vector<void*>();
  return *tracker;
}

const void* markBlock = nullptr;
bool markSet = false;

// Position of `p` counted from the oldest entry, or -1.
long FindFromNewest(const void* p) {
  auto& t = Tracker();
  for (size_t i = t.size(); i-- > 0;) {
    if (t[i] == p) return static_cast<long>(i);
  }
  return -1;
}

}  // namespace

void* ScratchAlloc(uint32_t size) {
  if (size > kScratchMaxBlock) {
    LogErrorNumber("Is too march size allocated", static_cast<int>(size));
    throw ScratchException{0};
  }
  if (size == 0) throw ScratchException{0};
  void* p = std::malloc(size);
  if (!p) throw ScratchException{0};
  try {
    Tracker().push_back(p);
  } catch (const std::bad_alloc&) {
    std::free(p);
    throw ScratchException{0};
  }
  return p;
}

void ScratchFree(const void* block) {
  if (!block) return;
  long i = FindFromNewest(block);
  if (i < 0) return;
  auto& t = Tracker();
  std::free(t[static_cast<size_t>(i)]);
  t.erase(t.begin() + i);
}

char* ScratchDup(const char* text) {
  size_t n = std::strlen(text) + 1;
  if (n > kScratchMaxBlock) {
    LogErrorNumber("Is too march size allocated", static_cast<int>(n));
    throw ScratchException{0};
  }
  char* p = static_cast<char*>(ScratchAlloc(static_cast<uint32_t>(n)));
  std::memcpy(p, text, n);
  return p;
}

int32_t ScratchLiveCount() { return static_cast<int32_t>(Tracker().size()); }

void ScratchMark() {
  auto& t = Tracker();
  markBlock = t.empty() ? nullptr : t.back();
  markSet = true;
}

void ScratchReleaseToMark() {
  auto& t = Tracker();
  long k = markBlock ? FindFromNewest(markBlock) : -1;
  // A mark that was freed since counts as the end of the list, as does a null
  // mark on an empty list; a null mark with blocks present keeps the oldest.
  size_t keep = k >= 0 ? static_cast<size_t>(k) + 1 : (markBlock ? t.size() : (t.empty() ? 0 : 1));
  while (t.size() > keep) {
    std::free(t.back());
    t.pop_back();
  }
  markBlock = nullptr;
  markSet = false;
}

}  // namespace vesk
