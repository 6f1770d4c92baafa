// Shared failure guard of the output routines: a refused scratch block or a
// failed check inside the body costs one value, never the run.
#pragma once

#include "support/logger.h"
#include "support/scratch.h"

namespace vesk {

// Runs `body` (returning char*); any failure raised inside is logged as a
// missed value and turns into null.
template <typename Body>
char* GuardedOutput(Body&& body) {
  try {
    return body();
  } catch (...) {
    // Element routines called from an array walk may raise their own
    // refusals; none of them may leave the value's conversion.
  }
  LogError("ERROR while out type, MISS value");
  return nullptr;
}

}  // namespace vesk
