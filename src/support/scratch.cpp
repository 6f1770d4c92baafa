#include "support/scratch.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_map>
#include <vector>

#include "support/logger.h"

namespace vesk {
namespace {

// Blocks in allocation order, oldest first. A run keeps thousands of catalog
// records alive while each value's blocks come and go at the tail, so every
// operation must cost the same whatever the number of live blocks: a freed
// block leaves a hole (null) that is squeezed out later, an index finds a
// block's slot directly, and the newest slot is always a live block.
struct Tracker {
  std::vector<void*> slots;
  std::unordered_map<const void*, size_t> slotOf;
  size_t live = 0;

  void DropTrailingHoles() {
    while (!slots.empty() && slots.back() == nullptr) slots.pop_back();
  }

  // Squeezes out the holes once they outnumber the live blocks (amortised
  // constant cost per free).
  void CompactIfSparse() {
    if (slots.size() < 64 || live * 2 >= slots.size()) return;
    size_t out = 0;
    for (void* p : slots) {
      if (!p) continue;
      slotOf[p] = out;
      slots[out++] = p;
    }
    slots.resize(out);
  }

  void Release(size_t slot) {
    void* p = slots[slot];
    slots[slot] = nullptr;
    slotOf.erase(p);
    --live;
    std::free(p);
  }
};

Tracker& TheTracker() {
  // Never destroyed: blocks stay tracked for the life of the process.
  static Tracker* tracker = new Tracker();
  return *tracker;
}

const void* markBlock = nullptr;

[[noreturn]] void Refuse() { throw ScratchException{0}; }

}  // namespace

void* ScratchAlloc(uint32_t size) {
  if (size > kScratchMaxBlock) {
    LogErrorNumber("Is too march size allocated", static_cast<int>(size));
    Refuse();
  }
  if (size == 0) Refuse();
  void* p = std::malloc(size);
  if (!p) Refuse();
  Tracker& t = TheTracker();
  try {
    t.slots.push_back(p);
    try {
      t.slotOf.emplace(p, t.slots.size() - 1);
    } catch (...) {
      t.slots.pop_back();
      throw;
    }
  } catch (const std::bad_alloc&) {
    std::free(p);
    Refuse();
  }
  ++t.live;
  return p;
}

void ScratchFree(const void* block) {
  if (!block) return;
  Tracker& t = TheTracker();
  auto it = t.slotOf.find(block);
  if (it == t.slotOf.end()) return;
  t.Release(it->second);
  t.DropTrailingHoles();
  t.CompactIfSparse();
}

char* ScratchDup(const char* text) {
  size_t n = std::strlen(text) + 1;
  if (n > kScratchMaxBlock) {
    LogErrorNumber("Is too march size allocated", static_cast<int>(n > 0x7fffffff ? 0x7fffffff : n));
    Refuse();
  }
  char* p = static_cast<char*>(ScratchAlloc(static_cast<uint32_t>(n)));
  std::memcpy(p, text, n);
  return p;
}

int32_t ScratchLiveCount() { return static_cast<int32_t>(TheTracker().live); }

void ScratchMark() {
  Tracker& t = TheTracker();
  markBlock = t.slots.empty() ? nullptr : t.slots.back();
}

void ScratchReleaseToMark() {
  Tracker& t = TheTracker();
  size_t keep = t.slots.size();  // a mark freed since keeps everything
  if (markBlock) {
    auto it = t.slotOf.find(markBlock);
    if (it != t.slotOf.end()) keep = it->second + 1;
  } else {
    // Nothing was tracked at the mark: the oldest block survives.
    keep = 0;
    while (keep < t.slots.size() && t.slots[keep] == nullptr) ++keep;
    if (keep < t.slots.size()) ++keep;
  }
  while (t.slots.size() > keep) {
    if (t.slots.back()) t.Release(t.slots.size() - 1);
    t.slots.pop_back();
  }
  t.DropTrailingHoles();
  t.CompactIfSparse();
  markBlock = nullptr;
}

}  // namespace vesk
