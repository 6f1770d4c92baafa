// The one row of a sequence relation: its parameters and where it stands.
#pragma once

#include <cstdint>

namespace vesk {

struct SequenceState {
  int64_t lastValue = 0;
  int64_t incrementBy = 0;
  int64_t maxValue = 0;
  int64_t minValue = 0;
  int64_t cacheValue = 0;
  bool isCycled = false;
  bool isCalled = false;  // false: the next nextval gives lastValue itself
};

// Reads the row of sequence `relid` through the catalogs of the current
// run. False, with the reason logged, when the file holds no row that is
// live and complete, or its values contradict each other (a damaged row
// would hand out numbers the application already used).
bool ReadSequenceState(uint32_t relid, const char* name, uint8_t version, SequenceState& state);

}  // namespace vesk
