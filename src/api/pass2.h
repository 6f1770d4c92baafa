// Pass 2 of a recovery run and the end of the run: counts the user tables,
// writes each one's comment, definition and rows, logs the results summary
// and returns the run's status.
#pragma once

#include <cstdint>

#include "catalog/recovered_table.h"
#include "catalog/schema_rules.h"  // IsSystemTable

namespace vesk {

// Runs after Pass 1 has left the four catalog readers in Run().
// `scratchBaseline`: ScratchLiveCount() taken when Pass 1 ended, for the
// "pointers was not free" line. Returns 0 when a schema or a table was
// recovered, -3 when nothing was, -1000 when stopped.
int32_t RunPass2(int32_t scratchBaseline);


// The percentages of Pass 2: each finished table adds an equal share of 85
// to the 15 reached after Pass 1.
class TableProgress {
 public:
  explicit TableProgress(int32_t tables) : share_(tables > 0 ? 85.0 / tables : 0.0) {}
  // Percent to report after the next finished table.
  int32_t Next() {
    done_ += share_;
    return static_cast<int32_t>(done_ + 15);
  }

 private:
  double share_;
  double done_ = 0.0;
};

}  // namespace vesk
