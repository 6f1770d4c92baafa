#include "support/scratch.h"

#include <sanitizer/asan_interface.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_set>
#include <vector>

#include "support/logger.h"

// GCC says __SANITIZE_ADDRESS__, clang answers __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define VESK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VESK_ASAN 1
#endif
#endif

namespace vesk {
namespace {

// Every value of every row allocates and releases a few small blocks, so the
// common path must be a pointer move: blocks are carved from large chunks in
// allocation order, and releasing the newest blocks moves the top back.
// A block freed out of order leaves a hole whose bytes come back once
// everything above it is gone (per-value work is stack-like, so holes are
// short-lived). Large blocks (detoasted values) get memory of their own.
constexpr size_t kAlign = 16;
constexpr size_t kChunkSize = size_t{1} << 20;
constexpr size_t kLargeBlock = size_t{64} << 10;

// Stored just before each block: where its slot is, and its size (for the
// sanitizer's poisoning). Sanitized builds keep it poisoned, so a write
// before a block is caught like one past its end.
// Aligned so that a 32-bit build's header, two 4-byte words, also takes one
// alignment unit and keeps the block after it aligned.
struct alignas(kAlign) Header {
  size_t slot;
  size_t size;
};
static_assert(sizeof(Header) == kAlign);

// The arena's top: the next free byte of one chunk.
struct Top {
  uint32_t chunk = 0;
  uint32_t offset = 0;
};

// One block in allocation order; a null block is a hole. `before` is the top
// as it was before the block (or the holes just below it) was carved.
struct Slot {
  void* block;
  Top before;
};

struct Chunk {
  char* base;
};

size_t RoundUp(size_t n) { return (n + kAlign - 1) & ~(kAlign - 1); }

// Also asked of addresses that may lie inside a live block (a stranger
// handed to ScratchFree), so it reads without touching the sanitizer's marks.
#if defined(VESK_ASAN)
__attribute__((no_sanitize("address"))) Header ReadHeader(const void* block) {
  const volatile unsigned char* at = static_cast<const unsigned char*>(block) - sizeof(Header);
  unsigned char raw[sizeof(Header)];
  for (size_t i = 0; i < sizeof raw; ++i) raw[i] = at[i];
  Header h;
  std::memcpy(&h, raw, sizeof h);
  return h;
}
#else
Header ReadHeader(const void* block) {
  Header h;
  std::memcpy(&h, static_cast<const char*>(block) - sizeof(Header), sizeof h);
  return h;
}
#endif

void WriteHeader(void* block, const Header& h) {
  char* at = static_cast<char*>(block) - sizeof(Header);
  ASAN_UNPOISON_MEMORY_REGION(at, sizeof(Header));
  std::memcpy(at, &h, sizeof h);
  ASAN_POISON_MEMORY_REGION(at, sizeof(Header));
}

struct Tracker {
  std::vector<Slot> slots;
  std::vector<Chunk> chunks;
  std::unordered_set<const void*> large;  // blocks with memory of their own
  Top top;
  size_t live = 0;

  bool InChunk(const void* block) const {
    auto p = reinterpret_cast<uintptr_t>(block);
    // The newest chunk first: that is where nearly every free lands.
    for (size_t i = chunks.size(); i-- > 0;) {
      auto base = reinterpret_cast<uintptr_t>(chunks[i].base);
      if (p >= base + sizeof(Header) && p <= base + kChunkSize) return true;
    }
    return false;
  }

  // The slot of a tracked block, or slots.size() when `block` is not one.
  size_t SlotOf(const void* block) const {
    if (!block || !(InChunk(block) || (!large.empty() && large.count(block) != 0))) return slots.size();
    size_t slot = ReadHeader(block).slot;
    return slot < slots.size() && slots[slot].block == block ? slot : slots.size();
  }

  // Room for `size` bytes plus a header at the top, moving on to the next
  // chunk when this one is full. Null when no chunk can be had.
  char* Carve(size_t size) {
    size_t need = sizeof(Header) + RoundUp(size);
    if (chunks.empty() || top.offset + need > kChunkSize) {
      uint32_t next = chunks.empty() ? 0 : top.chunk + 1;
      if (next == chunks.size()) {
        auto* base = static_cast<char*>(std::malloc(kChunkSize));
        if (!base) return nullptr;
        ASAN_POISON_MEMORY_REGION(base, kChunkSize);
        try {
          chunks.push_back(Chunk{base});
        } catch (const std::bad_alloc&) {
          std::free(base);
          return nullptr;
        }
      }
      top = Top{next, 0};
    }
    char* at = chunks[top.chunk].base + top.offset;
    top.offset += static_cast<uint32_t>(need);
    return at + sizeof(Header);
  }

  // Moves the top back to `to`, keeping one empty chunk above it for the next
  // value and giving the rest back.
  void Lower(Top to) {
    top = to;
    while (chunks.size() > static_cast<size_t>(top.chunk) + 2) {
      ASAN_UNPOISON_MEMORY_REGION(chunks.back().base, kChunkSize);
      std::free(chunks.back().base);
      chunks.pop_back();
    }
  }

  void Release(size_t slot) {
    void* p = slots[slot].block;
    slots[slot].block = nullptr;
    --live;
    if (!large.empty() && large.erase(p) != 0) {
      char* at = static_cast<char*>(p) - sizeof(Header);
      ASAN_UNPOISON_MEMORY_REGION(at, sizeof(Header));
      std::free(at);
      return;
    }
#if defined(VESK_ASAN)
    ASAN_POISON_MEMORY_REGION(p, ReadHeader(p).size);
#endif
  }

  // Pops every slot from `keep` on (releasing live blocks, newest first) and
  // lowers the top to where the oldest of them began.
  void TruncateTo(size_t keep) {
    if (slots.size() <= keep) return;
    Top lowest = slots[keep].before;
    while (slots.size() > keep) {
      if (slots.back().block) Release(slots.size() - 1);
      slots.pop_back();
    }
    Lower(lowest);
  }

  void DropTrailingHoles() {
    size_t keep = slots.size();
    while (keep > 0 && slots[keep - 1].block == nullptr) --keep;
    TruncateTo(keep);
  }

  // Squeezes out the holes once they outnumber the live blocks (amortised
  // constant cost per free). A live block inherits the `before` of the holes
  // just below it, so their bytes come back with it.
  void CompactIfSparse() {
    if (slots.size() < 64 || live * 2 >= slots.size()) return;
    size_t out = 0;
    bool pending = false;
    Top pendingBefore;
    for (const Slot& s : slots) {
      if (!s.block) {
        if (!pending) pendingBefore = s.before;
        pending = true;
        continue;
      }
      Slot moved = s;
      if (pending) moved.before = pendingBefore;
      pending = false;
      Header h = ReadHeader(moved.block);
      h.slot = out;
      WriteHeader(moved.block, h);
      slots[out++] = moved;
    }
    slots.resize(out);
  }
};

Tracker& TheTracker() {
  // Never destroyed: blocks stay tracked for the life of the process.
  static Tracker* tracker = new Tracker();
  return *tracker;
}

const void* markBlock = nullptr;
size_t markSlot = 0;  // where the mark was when set; checked before use

[[noreturn]] void Refuse() { throw ScratchException{0}; }

// Memory of its own for a large block, its header in front.
char* AllocateLarge(Tracker& t, size_t size) {
  auto* at = static_cast<char*>(std::malloc(sizeof(Header) + size));
  if (!at) return nullptr;
  char* p = at + sizeof(Header);
  try {
    t.large.insert(p);
  } catch (const std::bad_alloc&) {
    std::free(at);
    return nullptr;
  }
  ASAN_POISON_MEMORY_REGION(at, sizeof(Header));
  return p;
}

}  // namespace

void* ScratchAlloc(uint32_t size) {
  if (size > kScratchMaxBlock) {
    LogErrorNumber("Is too march size allocated", static_cast<int>(size));
    Refuse();
  }
  if (size == 0) Refuse();
  Tracker& t = TheTracker();
  try {
    // Room for the slot first, so nothing is carved that cannot be tracked;
    // growing by half keeps appends amortised constant.
    if (t.slots.size() == t.slots.capacity()) t.slots.reserve(t.slots.capacity() + t.slots.capacity() / 2 + 16);
  } catch (const std::bad_alloc&) {
    Refuse();
  }
  Top before = t.top;
  char* p = size > kLargeBlock ? AllocateLarge(t, size) : t.Carve(size);
  if (!p) Refuse();
  WriteHeader(p, Header{t.slots.size(), size});
  ASAN_UNPOISON_MEMORY_REGION(p, size);
  t.slots.push_back(Slot{p, before});
  ++t.live;
  return p;
}

void ScratchFree(const void* block) {
  Tracker& t = TheTracker();
  // The newest block is the usual one: a value's text, freed as it is written.
  size_t slot = !t.slots.empty() && t.slots.back().block == block && block ? t.slots.size() - 1 : t.SlotOf(block);
  if (slot == t.slots.size()) return;
  t.Release(slot);
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
  markBlock = t.slots.empty() ? nullptr : t.slots.back().block;
  markSlot = t.slots.empty() ? 0 : t.slots.size() - 1;
}

void ScratchReleaseToMark() {
  Tracker& t = TheTracker();
  size_t keep = t.slots.size();  // a mark freed since keeps everything
  if (markBlock) {
    bool unmoved = markSlot < t.slots.size() && t.slots[markSlot].block == markBlock;
    size_t slot = unmoved ? markSlot : t.SlotOf(markBlock);
    if (slot != t.slots.size()) keep = slot + 1;
  } else {
    // Nothing was tracked at the mark: the oldest block survives.
    keep = 0;
    while (keep < t.slots.size() && t.slots[keep].block == nullptr) ++keep;
    if (keep < t.slots.size()) ++keep;
  }
  t.TruncateTo(keep);
  t.DropTrailingHoles();
  t.CompactIfSparse();
  markBlock = nullptr;
}

}  // namespace vesk
