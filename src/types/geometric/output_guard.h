// Shared failure guard of the output routines: a refused scratch block or a
// failed check inside the body costs one value, never the run.
#pragma once

#include <new>

#include "support/logger.h"
#include "support/scratch.h"

namespace vesk {

// Runs `body` (returning char*); any failure raised inside is logged as a
// missed value and turns into null.
template <typename Body>
char* GuardedOutput(Body&& body) {
  try {
    return body();
  } catch (const ScratchException&) {
  } catch (const std::bad_alloc&) {
  }
  LogError("ERROR while out type, MISS value");
  return nullptr;
}

}  // namespace vesk
