// Failure handling shared by the output routines: a value that cannot be
// printed is logged and becomes null, never an exception for the caller.
#pragma once

#include <utility>

#include "support/scratch.h"

namespace vesk::scalar {

// Raised inside a routine when the stored value is implausible.
struct ValueRejected {};

// Logs "Invalid length" with `length` and raises ValueRejected.
[[noreturn]] void RejectLength(long long length);
// Logs the missed value line; always null.
char* MissedValue();

// Runs `body`; a refused scratch block or a rejected value gives null.
template <typename Body>
char* GuardOutput(Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (const ScratchException&) {
    return MissedValue();
  } catch (const ValueRejected&) {
    return MissedValue();
  } catch (...) {
    return MissedValue();
  }
}

}  // namespace vesk::scalar
