// Counts how deep the conversion of one value has nested into itself (an
// array of arrays, a row holding a row); a damaged catalog can make that
// endless, so each routine gives up past its own limit.
#pragma once

namespace vesk {

class NestingGuard {
 public:
  explicit NestingGuard(int& depth) : depth_(depth) { ++depth_; }
  ~NestingGuard() { --depth_; }
  NestingGuard(const NestingGuard&) = delete;
  NestingGuard& operator=(const NestingGuard&) = delete;

 private:
  int& depth_;
};

}  // namespace vesk
