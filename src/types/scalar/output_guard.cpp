#include "types/scalar/output_guard.h"

#include <climits>

#include "support/logger.h"

namespace vesk::scalar {

void RejectLength(long long length) {
  // The log takes an int; clamp rather than wrap so the line stays truthful
  // about a huge length.
  int shown = length > INT_MAX ? INT_MAX : (length < INT_MIN ? INT_MIN : static_cast<int>(length));
  LogErrorNumber("Invalid length", shown);
  throw ValueRejected{};
}

char* MissedValue() {
  LogError("ERROR while out type, MISS value");
  return nullptr;
}

}  // namespace vesk::scalar
