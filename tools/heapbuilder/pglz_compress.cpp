// Greedy pglz compressor: hash chains over 3-byte prefixes, longest match
// within the 4095-byte window, literals otherwise.
#include <algorithm>

#include "heap_builder.h"

namespace vesk::heapbuilder {
namespace {

constexpr size_t kWindow = 4095;
constexpr size_t kMinMatch = 3;
constexpr size_t kMaxMatch = 273;
constexpr size_t kHashSize = 4096;
constexpr int kMaxChain = 256;

size_t Hash3(const uint8_t* p) {
  return ((static_cast<size_t>(p[0]) << 6) ^ (static_cast<size_t>(p[1]) << 3) ^ p[2]) & (kHashSize - 1);
}

// Emits control bytes lazily: one before every group of eight items.
class ItemWriter {
 public:
  explicit ItemWriter(std::vector<uint8_t>& out) : out_(out) {}
  void Literal(uint8_t b) {
    StartItem(false);
    out_.push_back(b);
  }
  void Tag(size_t offset, size_t length) {
    StartItem(true);
    uint8_t lenNibble = static_cast<uint8_t>(std::min<size_t>(length - 3, 15));
    out_.push_back(static_cast<uint8_t>(((offset >> 4) & 0xF0) | lenNibble));
    out_.push_back(static_cast<uint8_t>(offset & 0xFF));
    if (length >= 18) out_.push_back(static_cast<uint8_t>(length - 18));
  }

 private:
  void StartItem(bool tag) {
    if (bit_ == 8) {
      control_ = out_.size();
      out_.push_back(0);
      bit_ = 0;
    }
    if (tag) out_[control_] = static_cast<uint8_t>(out_[control_] | (1u << bit_));
    ++bit_;
  }
  std::vector<uint8_t>& out_;
  size_t control_ = 0;
  int bit_ = 8;
};

}  // namespace

std::vector<uint8_t> PglzCompress(std::span<const uint8_t> input) {
  std::vector<uint8_t> out;
  ItemWriter items(out);
  const size_t n = input.size();
  std::vector<int64_t> head(kHashSize, -1);
  std::vector<int64_t> prev(n, -1);
  auto insert = [&](size_t pos) {
    if (pos + kMinMatch > n) return;
    size_t h = Hash3(&input[pos]);
    prev[pos] = head[h];
    head[h] = static_cast<int64_t>(pos);
  };
  size_t i = 0;
  while (i < n) {
    size_t bestLen = 0;
    size_t bestOff = 0;
    if (i + kMinMatch <= n) {
      int chain = 0;
      for (int64_t j = head[Hash3(&input[i])]; j >= 0 && chain < kMaxChain; j = prev[j], ++chain) {
        size_t cand = static_cast<size_t>(j);
        if (i - cand > kWindow) break;
        size_t len = 0;
        size_t limit = std::min(kMaxMatch, n - i);
        while (len < limit && input[cand + len] == input[i + len]) ++len;
        if (len > bestLen) {
          bestLen = len;
          bestOff = i - cand;
        }
      }
    }
    if (bestLen >= kMinMatch) {
      items.Tag(bestOff, bestLen);
      for (size_t k = 0; k < bestLen; ++k) insert(i + k);
      i += bestLen;
    } else {
      items.Literal(input[i]);
      insert(i);
      ++i;
    }
  }
  return out;
}

}  // namespace vesk::heapbuilder
