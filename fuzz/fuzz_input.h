// Reading a fuzz input front to back: fixed fields first, the rest as bytes.
// Past the end every field reads as zero, so any input is a valid one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vesk::fuzz {

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint16_t U16() { return static_cast<uint16_t>(Byte() | (Byte() << 8)); }
  uint32_t U32() { return static_cast<uint32_t>(U16() | (static_cast<uint32_t>(U16()) << 16)); }
  std::vector<uint8_t> Bytes(size_t n) {
    std::vector<uint8_t> out;
    while (n-- > 0 && at_ < size_) out.push_back(data_[at_++]);
    return out;
  }
  std::vector<uint8_t> Rest() { return Bytes(size_ - at_); }
  bool Empty() const { return at_ >= size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

}  // namespace vesk::fuzz
